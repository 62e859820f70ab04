// The command line: what each argument list asks for or why it is refused,
// the options put into effect on capture and the jobs (no window), and the
// program itself started with options, without a display, and ended from
// outside.
#include "capture_fixture.h"
#include "command_line.h"
#include "data_jobs.h"
#include "device_resolver.h"
#include "file_names.h"
#include "pty_helpers.h"
#include "pty_pair.h"
#include "scratch_dir.h"
#include "stream_builder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <iterator>
#include <optional>
#include <sys/stat.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct GoodCase {
    const char* name;
    QStringList arguments;
    TCommandLineOptions expected;
};

TCommandLineOptions Options(std::function<void(TCommandLineOptions&)> set)
{
    TCommandLineOptions o;
    set(o);
    return o;
}

void ExpectSame(const TCommandLineOptions& a, const TCommandLineOptions& b)
{
    EXPECT_EQ(a.Port, b.Port);
    EXPECT_EQ(a.BaudRate, b.BaudRate);
    EXPECT_EQ(a.Simulate, b.Simulate);
    EXPECT_EQ(a.Start, b.Start);
    EXPECT_EQ(a.Reconnect, b.Reconnect);
    EXPECT_EQ(a.RecordFile, b.RecordFile);
    EXPECT_EQ(a.Time, b.Time);
    EXPECT_EQ(a.Overwrite, b.Overwrite);
    EXPECT_EQ(a.OpenFiles, b.OpenFiles);
    EXPECT_EQ(a.Analysis, b.Analysis);
    EXPECT_EQ(a.Calibration, b.Calibration);
}

QString WriteText(const QTemporaryDir& dir, const QString& name, const QByteArray& text)
{
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return file.fileName();
}

TEST(CommandLine, GoodArgumentsBecomeOptions)
{
    QTemporaryDir dir;
    const QString record = dir.filePath("acelerometro-gravacao.csv");
    const QString existing = dir.filePath("existente.csv");
    QFile(existing).open(QIODevice::WriteOnly);
    const QString calibration = WriteText(dir, "calibracao.txt",
                                          "eixo zero_contagens contagens_por_g\nx 2048 400\ny 2050.5 -410\nz 2047 409\n");
    const GoodCase cases[] = {
        {"nothing", {}, {}},
        {"a calibration", {"--calibration", calibration}, Options([](auto& o) {
             o.Calibration = TCalibration{{{2048, 400}, {2050.5, -410}, {2047, 409}}};
         })},
        {"a device name", {"--port", "ttyUSB0"}, Options([](auto& o) { o.Port = "ttyUSB0"; })},
        {"a path, with =", {"--port=/dev/serial/by-id/usb-FTDI"},
         Options([](auto& o) { o.Port = "/dev/serial/by-id/usb-FTDI"; })},
        {"a single dash", {"-port", "COM3"}, Options([](auto& o) { o.Port = "COM3"; })},
        {"baud", {"--baud", "115200"}, Options([](auto& o) { o.BaudRate = 115200; })},
        {"an unusual baud", {"--baud", "250000"}, Options([](auto& o) { o.BaudRate = 250000; })},
        {"the lowest baud", {"--baud", "1"}, Options([](auto& o) { o.BaudRate = 1; })},
        {"the highest baud", {"--baud", "4000000"}, Options([](auto& o) { o.BaudRate = 4000000; })},
        {"the simulator, started, reconnecting", {"--simulate", "--start", "--reconnect"},
         Options([](auto& o) { o.Simulate = o.Start = o.Reconnect = true; })},
        {"record", {"--record", record}, Options([&](auto& o) { o.RecordFile = record; })},
        {"seconds", {"--time"}, Options([](auto& o) { o.Time = true; })},
        {"record into a pipe or a device", {"--record", "/dev/null"}, Options([](auto& o) { o.RecordFile = "/dev/null"; })},
        {"record to standard output", {"--record", "/dev/stdout"},
         Options([](auto& o) { o.RecordFile = "/dev/stdout"; })},
        {"record over a file, asked for", {"--record", existing, "--overwrite"}, Options([&](auto& o) {
             o.RecordFile = existing;
             o.Overwrite = true;
         })},
        {"a name starting with -, as a path", {"--record", "./-dados.csv"},
         Options([](auto& o) { o.RecordFile = "./-dados.csv"; })},
        {"all for a port", {"--port", "/tmp/acel", "--baud", "9600", "--start", "--reconnect"},
         Options([](auto& o) {
             o.Port = "/tmp/acel";
             o.BaudRate = 9600;
             o.Start = o.Reconnect = true;
         })},
        {"the analysis window", {"--analysis", "--simulate"},
         Options([](auto& o) { o.Analysis = o.Simulate = true; })},
        {"the last of a repeated option", {"--baud", "9600", "--baud", "19200"},
         Options([](auto& o) { o.BaudRate = 19200; })},
        {"Qt's own options pass", {"-platform", "offscreen", "-style=fusion", "-reverse", "--start"},
         Options([](auto& o) { o.Start = true; })},
    };
    for (const GoodCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TCommandLine line = ParseCommandLine(QStringList{"acelerometro"} + c.arguments);
        ASSERT_EQ(line.Action, TCommandLine::caRun) << line.Text.toStdString();
        EXPECT_EQ(line.ExitStatus(), 0);
        ExpectSame(line.Options, c.expected);
    }
}

TEST(CommandLine, OptionsChangeOnlyWhatTheyName)
{
    TSerialSettings start;
    start.Dtr = true;
    const TSerialSettings none = TCommandLineOptions{}.Apply(start);
    EXPECT_TRUE(none == start);
    const TSerialSettings some = Options([](auto& o) {
                                     o.Port = "ttyACM0";
                                     o.BaudRate = 57600;
                                     o.Reconnect = true;
                                 }).Apply(start);
    EXPECT_EQ(some.Port, "ttyACM0");
    EXPECT_EQ(some.BaudRate, 57600);
    EXPECT_TRUE(some.Reconnect);
    EXPECT_TRUE(some.Dtr);
    EXPECT_EQ(Options([](auto& o) { o.Simulate = true; }).Apply(start).Port, TDeviceResolver::SimulatedName());
}

struct BadCase {
    const char* name;
    QStringList arguments;
    QString says;
};

TEST(CommandLine, BadArgumentsAreRefusedWithAClearMessage)
{
    QTemporaryDir dir;
    const QString existing = dir.filePath("existente.csv");
    QFile(existing).open(QIODevice::WriteOnly);
    const QString scaleZero
        = WriteText(dir, "zero.txt", "eixo zero_contagens contagens_por_g\nx 2048 400\ny 2048 0\nz 2048 400\n");
    const QString noZ = WriteText(dir, "sem-z.txt", "eixo zero_contagens contagens_por_g\nx 2048 400\ny 2048 400\n");
    const BadCase cases[] = {
        {"calibration without a name", {"--calibration"}, "falta o valor de --calibration"},
        {"calibration followed by an option", {"--calibration", "--start"}, "--calibration: falta o nome do arquivo"},
        {"calibration that is not there", {"--calibration", dir.filePath("nada.txt")}, "--calibration: Não foi possível "
         "abrir a calibração"},
        {"calibration that is a folder", {"--calibration", dir.path()}, "é uma pasta"},
        {"calibration that is a recording", {"--calibration", existing}, "não é uma calibração válida"},
        {"calibration with a scale of 0", {"--calibration", scaleZero}, "linha 3: as contagens por g do eixo Y são 0"},
        {"calibration without an axis", {"--calibration", noZ}, "falta a linha do eixo Z"},
        {"unknown option", {"--bogus"}, "opção desconhecida: --bogus"},
        {"unknown short options", {"-x", "-y"}, "opções desconhecidas: -x, -y"},
        {"port without a value", {"--port"}, "falta o valor de --port"},
        {"port followed by an option", {"--port", "--start"}, "--port: falta o nome da porta"},
        {"empty port", {"--port", ""}, "--port: o nome da porta está vazio"},
        {"blank port", {"--port=  "}, "--port: o nome da porta está vazio"},
        {"baud not a number", {"--baud", "rapido"}, "--baud: esperado um número inteiro de 1 a 4000000, veio \"rapido\""},
        {"baud zero", {"--baud", "0"}, "--baud"},
        {"baud negative", {"--baud=-9600"}, "--baud"},
        {"baud too high", {"--baud", "4000001"}, "--baud"},
        {"baud with a fraction", {"--baud", "9600.5"}, "--baud"},
        {"a flag with a value", {"--start=sim"}, "--start não leva valor"},
        {"a stray argument", {"/dev/ttyUSB0"}, "argumento inesperado: \"/dev/ttyUSB0\""},
        {"port and simulator", {"--port", "COM3", "--simulate"}, "--port e --simulate não vão juntas"},
        {"record without a name", {"--record", ""}, "--record: falta o nome do arquivo"},
        {"record into a folder", {"--record", QDir::tempPath()}, "é uma pasta"},
        {"record where no folder is", {"--record", "/acelerometro-nao-existe/dados.csv"}, "não existe"},
        {"record followed by an option", {"--record", "--start"}, "--record: falta o nome do arquivo (veio \"--start\""},
        {"record over an existing file", {"--record", existing},
         "--record: o arquivo \"" + existing + "\" já existe e seria apagado; escolha outro nome, ou acrescente "
         "--overwrite"},
        {"overwrite alone", {"--overwrite"}, "--overwrite só vale com --record"},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TCommandLine line = ParseCommandLine(QStringList{"acelerometro"} + c.arguments);
        EXPECT_EQ(line.Action, TCommandLine::caError);
        EXPECT_EQ(line.ExitStatus(), 2);
        EXPECT_TRUE(line.Text.startsWith("acelerometro: ")) << line.Text.toStdString();
        EXPECT_TRUE(line.Text.contains(c.says)) << line.Text.toStdString();
        EXPECT_TRUE(line.Text.contains("--help")) << line.Text.toStdString();
    }
}

TEST(CommandLine, HelpAndVersionWinOverTheRest)
{
    for (const QStringList& arguments : {QStringList{"--help"}, {"-h"}, {"--port", "x", "--help"}}) {
        const TCommandLine line = ParseCommandLine(QStringList{"/usr/bin/acelerometro"} + arguments);
        EXPECT_EQ(line.Action, TCommandLine::caHelp);
        EXPECT_EQ(line.ExitStatus(), 0);
        for (const char* option :
             {"--port", "--baud", "--simulate", "--start", "--reconnect", "--record", "--overwrite", "--calibration", "--time",
              "--version"})
            EXPECT_TRUE(line.Text.contains(option)) << option;
        EXPECT_TRUE(line.Text.startsWith("Uso: acelerometro ")) << line.Text.toStdString();
    }
    for (const QStringList& arguments : {QStringList{"--version"}, {"-v"}}) {
        const TCommandLine line = ParseCommandLine(QStringList{"acelerometro"} + arguments);
        EXPECT_EQ(line.Action, TCommandLine::caVersion);
        EXPECT_EQ(line.Text, "acelerometro 1.0.0.0\n");
    }
}

// ---- the options put into effect, on capture and the jobs alone

class ApplyCommandLineTest : public TCaptureFixture {
protected:
    TCommandLine Parse(const QStringList& arguments)
    {
        const TCommandLine line = ParseCommandLine(QStringList{"acelerometro"} + arguments);
        EXPECT_EQ(line.Action, TCommandLine::caRun) << line.Text.toStdString();
        return line;
    }
    void Apply(const TCommandLine& line) { ApplyCommandLine(line.Options, capture, jobs, report); }

    TReporter report = [this](const std::string& m) { reported << QString::fromStdString(m); };
    TDataJobs jobs{capture.Session(), report};
    QTemporaryDir dir;
};

TEST_F(ApplyCommandLineTest, StartOnAPortGivesPoints)
{
    pty = std::make_unique<TPtyPair>(true);
    Apply(Parse({"--port", QString::fromStdString(pty->SlavePath()), "--baud", "115200", "--start", "--reconnect"}));
    ASSERT_EQ(capture.State(), TCapture::TState::Open) << Reported().toStdString();
    EXPECT_TRUE(capture.Settings().Reconnect);
    termios t{};
    ASSERT_EQ(tcgetattr(pty->Slave(), &t), 0);
    EXPECT_EQ(cfgetispeed(&t), speed_t(B115200));
    WriteAll(pty->Master(), BuildStream(300).Bytes);
    ASSERT_TRUE(WaitForFrames(300));
    EXPECT_TRUE(reported.isEmpty()) << Reported().toStdString();
}

// --record starts the recording before the port opens, so it holds every
// frame; shutting the jobs down finishes it.
TEST_F(ApplyCommandLineTest, RecordsFromTheStart)
{
    pty = std::make_unique<TPtyPair>(true);
    const QString file = dir.filePath("gravacao.csv");
    Apply(Parse({"--port", QString::fromStdString(pty->SlavePath()), "--start", "--record", file}));
    ASSERT_TRUE(jobs.IsRecording()) << Reported().toStdString();
    ASSERT_EQ(capture.State(), TCapture::TState::Open);
    WriteAll(pty->Master(), BuildStream(300).Bytes);
    ASSERT_TRUE(WaitForFrames(300));

    capture.Stop();
    jobs.Shutdown();
    QFile recorded(file);
    ASSERT_TRUE(recorded.open(QIODevice::ReadOnly));
    EXPECT_EQ(recorded.readAll().count('\n'), 301); // the header and every frame
    EXPECT_TRUE(reported.isEmpty()) << Reported().toStdString();
}

// What fails goes to the reporter, as a click's failure would, and the
// rest still happens: a recording that cannot start does not keep the
// port closed.
TEST_F(ApplyCommandLineTest, FailuresAreReportedAndTheRestGoesAhead)
{
    pty = std::make_unique<TPtyPair>(true);
    const QString unwritable = QStringLiteral("/proc/acelerometro.csv");
    Apply(Parse({"--port", QString::fromStdString(pty->SlavePath()), "--start", "--record", unwritable}));
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0].contains(unwritable)) << reported[0].toStdString();
    EXPECT_FALSE(jobs.IsRecording());
    EXPECT_EQ(capture.State(), TCapture::TState::Open);

    reported.clear();
    capture.Stop();
    Apply(Parse({"--port", "/dev/acelerometro-nao-existe", "--start"}));
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0].contains("acelerometro-nao-existe")) << reported[0].toStdString();
    EXPECT_EQ(capture.State(), TCapture::TState::Closed);
}

// Names as the shell passed them: a byte that is not valid UTF-8 (0xE9, "é"
// in Latin-1) stays that byte, so the recording goes to that very file and
// the port is that very device, not one named with U+FFFD.
TEST_F(ApplyCommandLineTest, NamesKeepTheirBytes)
{
    pty = std::make_unique<TPtyPair>(true);
    TScratchDir scratch; // removes names that Qt cannot
    const QByteArray folder = QByteArray::fromStdString(scratch.Path());
    const QByteArray file = folder + "/grava\xe7\xe3o.csv";
    const QByteArray link = folder + "/porta\xe9";
    ASSERT_EQ(::symlink(pty->SlavePath().c_str(), link.constData()), 0);
    std::vector<QByteArray> raw = {"acelerometro", "--port", link, "--start", "--record", file};
    std::vector<char*> argv;
    for (QByteArray& a : raw)
        argv.push_back(a.data());
    const TCommandLine line = ParseCommandLine(ArgumentsOf(int(argv.size()), argv.data()));
    ASSERT_EQ(line.Action, TCommandLine::caRun) << line.Text.toStdString();
    EXPECT_EQ(NameBytes(line.Options.RecordFile), file);
    EXPECT_EQ(NameBytes(line.Options.Port), link);

    Apply(line);
    ASSERT_EQ(capture.State(), TCapture::TState::Open) << Reported().toStdString();
    EXPECT_EQ(port.Device(), QString::fromStdString(pty->SlavePath()));
    WriteAll(pty->Master(), BuildStream(30).Bytes);
    ASSERT_TRUE(WaitForFrames(30));
    capture.Stop();
    jobs.Shutdown();
    EXPECT_TRUE(reported.isEmpty()) << Reported().toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(file.constData(), &st), 0) << "no file under the bytes given";
    EXPECT_EQ(scratch.Entries(), (std::vector<std::string>{"grava\xe7\xe3o.csv", "porta\xe9"}));
    std::ifstream in(file.toStdString());
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 31); // the header and every frame
}

TEST(FileNames, BytesComeBackAsTheyWere)
{
    const std::string names[] = {"dados.csv", "grava\xc3\xa7\xc3\xa3o.csv", "caf\xe9", "\xff\xfe",
                                 "meio\xc3", "\xed\xa0\x80surrogate", "\xf0\x9f\x93\x88.csv", "\xc0\xaf"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(EncodeFileName(DecodeFileName(name)), name);
    }
    EXPECT_EQ(QString::fromStdU16String(DecodeFileName("grava\xc3\xa7\xc3\xa3o")), QString::fromUtf8("gravação"));
    EXPECT_EQ(DecodeFileName("caf\xe9"), std::u16string(u"caf\xdce9"));
}

TEST_F(ApplyCommandLineTest, WithoutOptionsNothingChanges)
{
    Apply(Parse({}));
    EXPECT_TRUE(capture.Settings() == TSerialSettings{});
    EXPECT_EQ(capture.State(), TCapture::TState::Closed);
    EXPECT_FALSE(jobs.IsRecording());
    EXPECT_TRUE(reported.isEmpty());
}

// ---- the program itself

constexpr int HangGuardMs = 60000;

QProcessEnvironment Environment(bool display)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    environment.insert(QStringLiteral("HOME"), qEnvironmentVariable("HOME"));
    if (display)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

struct RunCase {
    const char* name;
    QStringList arguments;
    int status;
    QString out;
    QString err;
};

TEST(Program, AnswersHelpVersionAndMistakesWithoutADisplay)
{
    const RunCase cases[] = {
        {"help", {"--help"}, 0, "--reconnect", ""},
        {"version", {"--version"}, 0, "acelerometro 1.0.0.0\n", ""},
        {"unknown option", {"--porta", "COM3"}, 2, "", "opção desconhecida: --porta"},
        {"bad baud", {"--baud", "x"}, 2, "", "--baud"},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess program;
        program.setProcessEnvironment(Environment(false));
        program.start(QStringLiteral(ACELEROMETRO_BINARY), c.arguments);
        ASSERT_TRUE(program.waitForFinished(HangGuardMs));
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        const QString err = QString::fromUtf8(program.readAllStandardError());
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), c.status) << err.toStdString();
        EXPECT_TRUE(out.contains(c.out)) << out.toStdString();
        EXPECT_TRUE(err.contains(c.err)) << err.toStdString();
        EXPECT_EQ(out.isEmpty(), c.status != 0);
        EXPECT_EQ(err.isEmpty(), c.status == 0) << err.toStdString();
        EXPECT_FALSE(err.contains("nenhuma tela gráfica")); // answered before any display was needed
    }
}

// Whether the program has its termination handlers in place (the bits of
// SigCgt in /proc): a signal before that would simply kill it.
bool CatchesTermination(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            const quint64 mask = line.mid(7).trimmed().toULongLong(nullptr, 16);
            return (mask >> (SIGTERM - 1) & 1) && (mask >> (SIGINT - 1) & 1);
        }
    }
    return false;
}

// Which terminals the program has open, from /proc.
QStringList OpenTerminals(qint64 pid)
{
    QStringList terminals;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = fd.symLinkTarget();
        if (target.startsWith(QLatin1String("/dev/pts/")))
            terminals << target;
    }
    return terminals;
}

// A recording started with --record is finished by SIGTERM: the frames the
// program has read, and not yet written (rows go to the file every quarter
// second), are in the file once it has ended, with 0.
TEST(Program, SigtermFinishesTheRecording)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("gravacao.csv");
    TPtyPair pty(true); // the test's own hold on the line tells what is left unread
    const QString device = QString::fromStdString(pty.SlavePath());
    QProcess program;
    program.setProcessEnvironment(Environment(true));
    program.start(QStringLiteral(ACELEROMETRO_BINARY), {"--port", device, "--start", "--record", file});
    ASSERT_TRUE(program.waitForStarted(HangGuardMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return OpenTerminals(program.processId()).contains(device); }, HangGuardMs));
    ASSERT_TRUE(CatchesTermination(program.processId()));

    const auto lines = [&] {
        QFile recorded(file);
        return recorded.open(QIODevice::ReadOnly) ? recorded.readAll().count('\n') : 0;
    };
    const auto unread = [&] {
        int waiting = -1;
        return ::ioctl(pty.Slave(), TIOCINQ, &waiting) == 0 ? waiting : -1;
    };
    TStreamBuilder builder;
    std::vector<uint8_t> bytes;
    builder.Build(900, bytes);
    WriteAll(pty.Master(), bytes);
    // Rows reach the file: the program reads and records.
    ASSERT_TRUE(QTest::qWaitFor([&] { return lines() > 1; }, HangGuardMs));
    // More frames, read by the program (nothing left unread on the line for
    // a while) but likely not written yet when the signal comes.
    bytes.clear();
    builder.Build(900, bytes);
    WriteAll(pty.Master(), bytes);
    ASSERT_TRUE(QTest::qWaitFor([&] { return unread() == 0; }, HangGuardMs));
    QTest::qWait(100);
    ASSERT_EQ(unread(), 0);
    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(HangGuardMs));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();

    QFile recorded(file);
    ASSERT_TRUE(recorded.open(QIODevice::ReadOnly));
    const QByteArray text = recorded.readAll();
    EXPECT_TRUE(text.startsWith("tempo_s,eixo,indice,valor,valido\n"));
    EXPECT_EQ(text.count('\n'), 1801); // the header and every frame
}

// The program as a script starts it: on a pty with --start, then ended by
// a signal. It ends with 0 like a closed window, after closing the port in
// order (Qt's lock file for the port is gone, which a killed program would
// have left behind).
TEST(Program, EndsWithZeroOnSigtermAndSigint)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        TPtyPair pty(false);
        const QString device = QString::fromStdString(pty.SlavePath());
        const QString lock = QStringLiteral("/var/lock/LCK..") + device.mid(5).replace('/', '_');
        QProcess program;
        program.setProcessEnvironment(Environment(true));
        program.start(QStringLiteral(ACELEROMETRO_BINARY), {"--port", device, "--start"});
        ASSERT_TRUE(program.waitForStarted(HangGuardMs));
        ASSERT_TRUE(QTest::qWaitFor([&] { return pty.HasReader(); }, HangGuardMs)) << "the port did not open";
        ASSERT_TRUE(CatchesTermination(program.processId()));
        if (QFileInfo(QStringLiteral("/var/lock")).isWritable()) {
            EXPECT_TRUE(QFile::exists(lock)) << lock.toStdString();
        }
        ::kill(pid_t(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(HangGuardMs));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
        EXPECT_FALSE(pty.HasReader());
        EXPECT_FALSE(QFile::exists(lock));
    }
}

// A signal while a message box is up at start-up (the port of --start is
// not there): the box goes, and so does the program, with 0.
TEST(Program, EndsWithZeroOnSigtermWhileAMessageIsShown)
{
    QProcess program;
    program.setProcessEnvironment(Environment(true));
    program.start(QStringLiteral(ACELEROMETRO_BINARY), {"--port", "/dev/acelerometro-nao-existe", "--start"});
    ASSERT_TRUE(program.waitForStarted(HangGuardMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return CatchesTermination(program.processId()); }, HangGuardMs));
    QTest::qWait(1000); // the message box is up by now (it makes no difference if not)
    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(HangGuardMs));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
}

// accel-sim --link PATH on its own pty; its first line is the pty's path.
QString StartSimulator(QProcess& simulator, const QString& link)
{
    simulator.start(QStringLiteral(ACCEL_SIM_BINARY), {"--link", link});
    EXPECT_TRUE(simulator.waitForStarted(HangGuardMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return simulator.canReadLine(); }, HangGuardMs));
    return QString::fromUtf8(simulator.readLine()).trimmed();
}

void StopSimulator(QProcess& simulator)
{
    ::kill(pid_t(simulator.processId()), SIGINT);
    EXPECT_TRUE(simulator.waitForFinished(HangGuardMs));
    EXPECT_EQ(simulator.exitCode(), 0);
}

// acelerometro --port PATH --start --reconnect, with the simulator started
// after it, stopped, and started again on the same path: the program opens
// each new pty in turn, without a message box in the way.
TEST(Program, SurvivesTheSimulatorRestartedOnTheSameLink)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("acelerometro");
    QProcess program;
    program.setProcessEnvironment(Environment(true));
    program.start(QStringLiteral(ACELEROMETRO_BINARY), {"--port", link, "--start", "--reconnect"});
    ASSERT_TRUE(program.waitForStarted(HangGuardMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return CatchesTermination(program.processId()); }, HangGuardMs));

    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE(run);
        QProcess simulator;
        const QString pty = StartSimulator(simulator, link);
        ASSERT_TRUE(pty.startsWith("/dev/pts/")) << pty.toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return OpenTerminals(program.processId()).contains(pty); }, 10000))
            << OpenTerminals(program.processId()).join(", ").toStdString();
        StopSimulator(simulator);
        EXPECT_FALSE(QFileInfo::exists(link));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !OpenTerminals(program.processId()).contains(pty); }, 10000));
    }
    EXPECT_EQ(program.state(), QProcess::Running);
    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(HangGuardMs));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
}

} // namespace

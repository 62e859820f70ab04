// The program binary as a user starts it, in an environment of the test's
// own making: what it says and how it ends when there is no display, and
// when what it records into goes away.
#include "paused_reader.h"
#include "pty_pair.h"
#include "scratch_dir.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Long enough for any machine; only a program that hangs gets near it.
constexpr int HangGuardMs = 60000;

QProcessEnvironment Environment(const std::vector<std::pair<QString, QString>>& variables)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    environment.insert(QStringLiteral("HOME"), qEnvironmentVariable("HOME"));
    for (const auto& [name, value] : variables)
        environment.insert(name, value);
    return environment;
}

void Start(QProcess& program, const QProcessEnvironment& environment)
{
    program.setProcessEnvironment(environment);
    program.setProgram(QStringLiteral(ACELEROMETRO_BINARY));
    program.start();
    ASSERT_TRUE(program.waitForStarted(HangGuardMs)) << program.errorString().toStdString();
}

struct NoDisplayCase {
    const char* name;
    std::vector<std::pair<QString, QString>> variables;
    QString named; // what the message names as the display it could not use
};

TEST(ProgramWithoutDisplay, SaysSoOnStandardErrorAndEndsWithZero)
{
    const NoDisplayCase cases[] = {
        {"nothing set", {}, QStringLiteral("DISPLAY")},
        {"an X display that does not exist", {{"DISPLAY", ":4242"}}, QStringLiteral(":4242")},
        {"a Wayland display only", {{"WAYLAND_DISPLAY", "wayland-4242"}}, QStringLiteral("wayland-4242")},
        {"an empty platform choice", {{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ":4243"}}, QStringLiteral(":4243")},
    };
    for (const NoDisplayCase& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess program;
        Start(program, Environment(c.variables));
        ASSERT_TRUE(program.waitForFinished(HangGuardMs));
        const QString err = QString::fromUtf8(program.readAllStandardError());
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << err.toStdString();
        EXPECT_EQ(program.exitCode(), 0) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("nenhuma tela gráfica"))) << err.toStdString();
        EXPECT_TRUE(err.contains(c.named)) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("sessão gráfica"))) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("xvfb-run"))) << err.toStdString();
        EXPECT_TRUE(program.readAllStandardOutput().isEmpty());
    }
}

// A platform asked for that Qt does not have is a mistake, not a missing
// display: said so, with the platforms there are, and a status of 2.
TEST(ProgramWithoutDisplay, APlatformThatDoesNotExistIsAMistake)
{
    struct Case {
        const char* name;
        QStringList arguments;
        std::vector<std::pair<QString, QString>> variables;
        QString named;
    };
    const Case cases[] = {
        {"-platform over an offscreen choice", {"-platform", "nonexistent"}, {{"QT_QPA_PLATFORM", "offscreen"}},
         QStringLiteral("\"nonexistent\" não existe (pedida com -platform)")},
        {"the environment", {}, {{"QT_QPA_PLATFORM", "nada:opcao=1"}},
         QStringLiteral("\"nada\" não existe (QT_QPA_PLATFORM=nada:opcao=1)")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess program;
        program.setArguments(c.arguments);
        Start(program, Environment(c.variables));
        ASSERT_TRUE(program.waitForFinished(HangGuardMs));
        const QString err = QString::fromUtf8(program.readAllStandardError());
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << err.toStdString();
        EXPECT_EQ(program.exitCode(), 2) << err.toStdString();
        EXPECT_TRUE(err.contains(c.named)) << err.toStdString();
        EXPECT_TRUE(err.contains(QRegularExpression(QStringLiteral("Plataformas disponíveis: .*offscreen"))))
            << err.toStdString();
        EXPECT_FALSE(err.contains(QStringLiteral("nenhuma tela gráfica"))) << err.toStdString();
    }
}

TEST(ProgramWithoutDisplay, OffscreenPlatformStillRunsTheWindow)
{
    QProcess program;
    Start(program, Environment({{"QT_QPA_PLATFORM", "offscreen"}}));
    // Running its event loop: it does not end by itself.
    EXPECT_FALSE(program.waitForFinished(1500));
    EXPECT_EQ(program.state(), QProcess::Running);
    program.kill();
    program.waitForFinished(HangGuardMs);
    const QString err = QString::fromUtf8(program.readAllStandardError());
    EXPECT_FALSE(err.contains(QStringLiteral("nenhuma tela gráfica"))) << err.toStdString();
}

// Recording into a pipe (--record) whose reader ends: the next write finds
// no reader. The program must go on (capture continues, the failure is
// reported in the window) and end as usual on SIGTERM; by default that
// write's signal would kill it with every reading it held.
TEST(ProgramRecordingIntoAPipe, GoesOnWhenTheReaderEnds)
{
    TScratchDir dir;
    const std::string pipe = dir.File("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // A reader before the program opens the pipe, which it needs.
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    // Started as a shell starts it, with SIGPIPE at its default: QProcess
    // hands on the SIG_IGN that Qt sets in this process.
    QProcess program;
    program.setProcessEnvironment(Environment({{"QT_QPA_PLATFORM", "offscreen"}}));
    program.setProgram(QStringLiteral("/usr/bin/env"));
    program.setArguments({QStringLiteral("--default-signal=PIPE"), QStringLiteral(ACELEROMETRO_BINARY),
                          QStringLiteral("--simulate"), QStringLiteral("--start"), QStringLiteral("--record"),
                          QString::fromStdString(pipe)});
    program.start();
    ASSERT_TRUE(program.waitForStarted(HangGuardMs)) << program.errorString().toStdString();
    // Rows arrive: the recording runs.
    char bytes[4096];
    ssize_t got = 0;
    QElapsedTimer waited;
    waited.start();
    while (got <= 0 && waited.elapsed() < HangGuardMs && program.state() == QProcess::Running) {
        got = ::read(reader, bytes, sizeof bytes);
        if (got <= 0)
            program.waitForFinished(50);
    }
    ::close(reader);
    ASSERT_GT(got, 0) << QString::fromUtf8(program.readAllStandardError()).toStdString();
    // Several of the recording's flushes later, it still runs.
    EXPECT_FALSE(program.waitForFinished(2000));
    ASSERT_EQ(program.state(), QProcess::Running) << "exit status " << program.exitCode();
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(HangGuardMs));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

// The program as a shell starts it (SIGPIPE at its default), with options.
void StartAsAShellWould(QProcess& program, const QStringList& arguments)
{
    program.setProcessEnvironment(Environment({{"QT_QPA_PLATFORM", "offscreen"}}));
    program.setProgram(QStringLiteral("/usr/bin/env"));
    program.setArguments(QStringList{QStringLiteral("--default-signal=PIPE"), QStringLiteral(ACELEROMETRO_BINARY)}
                         + arguments);
    program.start();
    ASSERT_TRUE(program.waitForStarted(HangGuardMs)) << program.errorString().toStdString();
}

// Recording into a pipe whose reader is open but has stopped reading (a
// program stopped with Ctrl+Z, "| sleep 1000"): the pipe fills, and the
// program goes on; SIGTERM ends it with 0 after a bounded wait, saying on
// standard error how many frames did not reach the pipe.
TEST(ProgramRecordingIntoAPipe, AReaderThatStopsReadingHoldsNothingUp)
{
    TScratchDir dir;
    const std::string pipe = dir.File("pipe");
    TPausedReader reader(pipe, 3600);
    ASSERT_TRUE(reader.IsOpen());
    // A small pipe fills within a second.
    const int size = reader.SetPipeSize(4096);
    ASSERT_GT(size, 0);
    QProcess program;
    StartAsAShellWould(program, {"--simulate", "--start", "--record", QString::fromStdString(pipe)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return reader.Waiting() >= size / 2; }, HangGuardMs))
        << reader.Waiting() << " of " << size << " " << QString::fromUtf8(program.readAllStandardError()).toStdString();
    // The rows of two seconds (some 16 kB) do not fit: the pipe is full.
    EXPECT_FALSE(program.waitForFinished(2000));
    ASSERT_EQ(program.state(), QProcess::Running);

    QElapsedTimer took;
    took.start();
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(HangGuardMs)) << "SIGTERM did not end it";
    EXPECT_LT(took.elapsed(), 20000);
    const QString err = QString::fromUtf8(program.readAllStandardError());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << err.toStdString();
    EXPECT_EQ(program.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains(QRegularExpression(QStringLiteral(
        "não terminou a tempo: [1-9][0-9.]* quadros não chegaram ao arquivo"))))
        << err.toStdString();
}

// The program that reads the recording ends just before SIGTERM comes,
// with rows on their way: the last write, at the end, fails. That is said
// on standard error, no box holds the end up, and the status is 0.
TEST(ProgramRecordingIntoAPipe, ItsReaderEndingJustBeforeSigtermStillEndsWithZero)
{
    for (int attempt = 1; attempt <= 3; ++attempt) {
        SCOPED_TRACE(attempt);
        TScratchDir dir;
        const std::string pipe = dir.File("pipe");
        ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
        const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0);
        QProcess program;
        StartAsAShellWould(program, {"--simulate", "--start", "--record", QString::fromStdString(pipe)});
        // Read until the rows arrive; frames come meanwhile, which the
        // program writes at its next flush or at the end. Read what is
        // there, go, and SIGTERM right after: the end comes first.
        char bytes[65536];
        ASSERT_TRUE(QTest::qWaitFor([&] { return ::read(reader, bytes, sizeof bytes) > 100; }, HangGuardMs));
        ::usleep(100000);
        while (::read(reader, bytes, sizeof bytes) > 0) {
        }
        ::close(reader);
        ::kill(pid_t(program.processId()), SIGTERM);
        ASSERT_TRUE(program.waitForFinished(HangGuardMs)) << "it hangs at the end";
        const QString err = QString::fromUtf8(program.readAllStandardError());
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << err.toStdString();
        EXPECT_EQ(program.exitCode(), 0) << err.toStdString();
        EXPECT_TRUE(err.contains(QString::fromStdString("\"" + pipe + "\": o programa que lia do pipe terminou")))
            << err.toStdString();
    }
}

// A recording that cannot start (a full device; a folder the program may
// not write) does not keep the port closed: --start opens it at once, with
// the message on its way, and nobody needs to click OK.
TEST(ProgramRecordingThatCannotStart, DoesNotHoldBackCapture)
{
    for (const char* file : {"/dev/full", "/proc/acelerometro.csv"}) {
        SCOPED_TRACE(file);
        TPtyPair pty(false);
        QProcess program;
        StartAsAShellWould(program, {"--port", QString::fromStdString(pty.SlavePath()), "--start", "--record",
                                     QString::fromUtf8(file)});
        EXPECT_TRUE(QTest::qWaitFor([&] { return pty.HasReader(); }, 20000)) << "the port did not open";
        program.terminate();
        ASSERT_TRUE(program.waitForFinished(HangGuardMs));
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    }
}

} // namespace

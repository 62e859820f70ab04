#include "command_line.h"

#include "calibration_io.h"
#include "capture.h"
#include "data_jobs.h"
#include "device_resolver.h"
#include "file_names.h"
#include "tchart.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <sys/stat.h>

namespace {

// Options of QGuiApplication and QApplication, which Qt takes out of the
// arguments itself: accepted here so that they reach it.
const char* const QtOptionsWithValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                          "qwindowgeometry", "qwindowicon", "qwindowtitle", "session",
                                          "display", "geometry", "style", "stylesheet", "qmljsdebugger"};
const char* const QtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

QString Dashed(const QString& name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

TCommandLine Error(const QString& program, const QString& message)
{
    TCommandLine result;
    result.Action = TCommandLine::caError;
    result.Text = QStringLiteral("%1: %2\nUse %1 --help para ver as opções.\n").arg(program, message);
    return result;
}

// QCommandLineParser says what went wrong in English: the same in
// Portuguese, for the mistakes it can report.
QString ParserError(const QCommandLineParser& parser)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.size() == 1)
        return QStringLiteral("opção desconhecida: %1").arg(Dashed(unknown.first()));
    if (unknown.size() > 1) {
        QStringList dashed;
        for (const QString& name : unknown)
            dashed << Dashed(name);
        return QStringLiteral("opções desconhecidas: %1").arg(dashed.join(QStringLiteral(", ")));
    }
    static const QRegularExpression missing(QStringLiteral("^Missing value after '(.*)'\\.$"));
    static const QRegularExpression unexpected(QStringLiteral("^Unexpected value after '(.*)'\\.$"));
    const QString text = parser.errorText();
    if (const auto m = missing.match(text); m.hasMatch())
        return QStringLiteral("falta o valor de %1").arg(m.captured(1));
    if (const auto m = unexpected.match(text); m.hasMatch())
        return QStringLiteral("%1 não leva valor").arg(m.captured(1));
    return text;
}

// Names of a descriptor the program was started with, which the shell has
// opened (and, with '>', emptied) for it.
bool IsShellDescriptor(const QByteArray& name)
{
    for (const char* prefix : {"/dev/stdout", "/dev/stderr", "/dev/fd/", "/proc/self/fd/"})
        if (name.startsWith(prefix))
            return true;
    return false;
}

// Why name cannot be a recording to open, or nothing. Whether the file is
// a recording is for the window to say, with the rest of its reasons.
QString OpenFileProblem(const QString& name)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("falta o nome do arquivo");
    // "--open --start": the parser took the next option for the name.
    if (name.startsWith(QLatin1Char('-')))
        return QStringLiteral("falta o nome do arquivo (veio \"%1\"; um arquivo cujo nome começa com - "
                              "se escreve ./%1)")
            .arg(name);
    // The name's own bytes, as for --record.
    struct stat st {};
    if (::stat(NameBytes(name).constData(), &st) != 0)
        return QStringLiteral("o arquivo \"%1\" não existe").arg(name);
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("\"%1\" é uma pasta, não um arquivo").arg(name);
    return QString();
}

QString Help(const QString& program)
{
    return QStringLiteral(
               "Uso: %1 [opções]\n"
               "Mostra, ao vivo, as leituras de um acelerômetro de três eixos numa porta serial.\n"
               "\n"
               "Opções:\n"
               "  --port NOME|CAMINHO  a porta: um nome em /dev (COM10, ttyUSB0) ou um caminho\n"
               "                       (padrão: COM10)\n"
               "  --baud N             a velocidade, de 1 a %2 baud (padrão: 9600)\n"
               "  --simulate           usa o acelerômetro simulado em vez de uma porta\n"
               "  --start              abre a porta ao iniciar, como um clique em Inicia\n"
               "  --reconnect          reabre a porta sozinho quando o dispositivo volta\n"
               "                       (como \"Reconectar automaticamente\" em Config. Serial)\n"
               "  --record ARQUIVO     grava as leituras em ARQUIVO\n"
               "  --time               eixo X do gráfico em segundos: cada ponto no instante\n"
               "                       em que chegou (como \"Eixo X em segundos\" ou T)\n"
               "  --record ARQUIVO     grava as leituras em ARQUIVO (um arquivo que já existe\n"
               "                       só com --overwrite; um pipe ou /dev/stdout sempre)\n"
               "  --overwrite          deixa --record substituir um arquivo que já existe\n"
               "  --open ARQUIVO       mostra uma gravação feita antes numa janela própria\n"
               "                       (pode vir mais de uma vez)\n"
               "  --analysis           abre a janela Análise ao lado da principal\n"
               "  --calibration ARQUIVO\n"
               "                       mostra os valores em g pela calibração em ARQUIVO\n"
               "                       (salva com \"Salvar calibração…\" no menu do gráfico)\n"
               "  -h, --help           mostra este texto e termina\n"
               "  -v, --version        mostra a versão e termina\n"
               "\n"
               "Sem opções, o programa abre como sempre: porta COM10, 9600 baud, fechada.\n"
               "Uma opção repetida vale pelo último valor. As opções do Qt (-platform,\n"
               "-style, ...) também valem. SIGTERM e SIGINT (Ctrl+C) fecham a porta e a\n"
               "janela, como fechar a janela (a gravação tem até 5 s para terminar); um\n"
               "segundo sinal encerra o programa na hora. Status de saída: 0; 2 para\n"
               "opções inválidas.\n")
        .arg(program)
        .arg(MaxBaudRate);
}

} // namespace

QString ProgramVersion()
{
    return QStringLiteral(ACELEROMETRO_VERSION);
}

QStringList ArgumentsOf(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromStdU16String(DecodeFileName(argv[i]));
    return arguments;
}

QByteArray NameBytes(const QString& name)
{
    return QByteArray::fromStdString(EncodeFileName(name.toStdU16String()));
}

TSerialSettings TCommandLineOptions::Apply(TSerialSettings settings) const
{
    if (Simulate)
        settings.Port = TDeviceResolver::SimulatedName();
    else if (!Port.isEmpty())
        settings.Port = Port;
    if (BaudRate > 0)
        settings.BaudRate = BaudRate;
    if (Reconnect)
        settings.Reconnect = true;
    return settings;
}

TCommandLine ParseCommandLine(const QStringList& arguments)
{
    const QString program = arguments.isEmpty() ? QStringLiteral("acelerometro")
                                                : QFileInfo(arguments.first()).fileName();
    QCommandLineParser parser;
    // "-platform offscreen" is one option to Qt, not eight letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("NOME"));
    const QCommandLineOption baud(QStringLiteral("baud"), QString(), QStringLiteral("N"));
    const QCommandLineOption simulate(QStringLiteral("simulate"));
    const QCommandLineOption start(QStringLiteral("start"));
    const QCommandLineOption reconnect(QStringLiteral("reconnect"));
    const QCommandLineOption record(QStringLiteral("record"), QString(), QStringLiteral("ARQUIVO"));
    const QCommandLineOption time(QStringLiteral("time"));
    const QCommandLineOption overwrite(QStringLiteral("overwrite"));
    const QCommandLineOption open(QStringLiteral("open"), QString(), QStringLiteral("ARQUIVO"));
    const QCommandLineOption analysis(QStringLiteral("analysis"));
    const QCommandLineOption calibration(QStringLiteral("calibration"), QString(), QStringLiteral("ARQUIVO"));
    parser.addOptions(
        {help, version, port, baud, simulate, start, reconnect, record, overwrite, open, analysis, calibration, time});
    for (const char* name : QtOptionsWithValue)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("valor")));
    for (const char* name : QtFlags)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));

    if (!parser.parse(arguments))
        return Error(program, ParserError(parser));
    if (parser.isSet(help)) {
        TCommandLine result;
        result.Action = TCommandLine::caHelp;
        result.Text = Help(program);
        return result;
    }
    if (parser.isSet(version)) {
        TCommandLine result;
        result.Action = TCommandLine::caVersion;
        result.Text = QStringLiteral("%1 %2\n").arg(program, ProgramVersion());
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return Error(program, QStringLiteral("argumento inesperado: \"%1\" (as opções começam com --)")
                                  .arg(parser.positionalArguments().first()));

    TCommandLine result;
    TCommandLineOptions& o = result.Options;
    if (parser.isSet(port)) {
        o.Port = parser.value(port).trimmed();
        if (o.Port.isEmpty())
            return Error(program, QStringLiteral("--port: o nome da porta está vazio"));
        // "--port --start": the parser took the next option for the name.
        if (o.Port.startsWith(QLatin1Char('-')))
            return Error(program, QStringLiteral("--port: falta o nome da porta (veio \"%1\")").arg(o.Port));
    }
    if (parser.isSet(baud)) {
        const QString text = parser.value(baud);
        bool ok = false;
        const qint64 rate = text.trimmed().toLongLong(&ok);
        if (!ok || rate < 1 || rate > MaxBaudRate)
            return Error(program,
                         QStringLiteral("--baud: esperado um número inteiro de 1 a %1, veio \"%2\"").arg(MaxBaudRate).arg(text));
        o.BaudRate = qint32(rate);
    }
    o.Simulate = parser.isSet(simulate);
    if (o.Simulate && !o.Port.isEmpty())
        return Error(program, QStringLiteral("--port e --simulate não vão juntas: escolha uma porta ou o simulado"));
    o.Start = parser.isSet(start);
    o.Reconnect = parser.isSet(reconnect);
    o.Time = parser.isSet(time);
    o.Analysis = parser.isSet(analysis);
    o.Overwrite = parser.isSet(overwrite);
    if (parser.isSet(record)) {
        o.RecordFile = parser.value(record);
        if (o.RecordFile.trimmed().isEmpty())
            return Error(program, QStringLiteral("--record: falta o nome do arquivo"));
        // "--record --start": the parser took the next option for the name.
        if (o.RecordFile.startsWith(QLatin1Char('-')))
            return Error(program, QStringLiteral("--record: falta o nome do arquivo (veio \"%1\"; um arquivo cujo nome "
                                                 "começa com - se escreve ./%1)")
                                      .arg(o.RecordFile));
        // The name's own bytes: QFileInfo would look for another file when
        // they are not valid UTF-8.
        const QByteArray bytes = NameBytes(o.RecordFile);
        struct stat st {};
        if (::stat(bytes.constData(), &st) == 0) {
            if (S_ISDIR(st.st_mode))
                return Error(program, QStringLiteral("--record: \"%1\" é uma pasta, não um arquivo").arg(o.RecordFile));
            // A pipe or a device is written as it is, and /dev/stdout (or
            // /dev/fd/N) is where the shell sent the output: only a regular
            // file named as such would be destroyed.
            if (S_ISREG(st.st_mode) && !o.Overwrite && !IsShellDescriptor(bytes))
                return Error(program, QStringLiteral("--record: o arquivo \"%1\" já existe e seria apagado; escolha "
                                                     "outro nome, ou acrescente --overwrite para substituí-lo")
                                          .arg(o.RecordFile));
        } else {
            const int slash = bytes.lastIndexOf('/');
            const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : bytes.left(slash);
            if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
                return Error(program, QStringLiteral("--record: a pasta \"%1\" não existe")
                                          .arg(QFileInfo(o.RecordFile).absolutePath()));
        }
    } else if (o.Overwrite) {
        return Error(program, QStringLiteral("--overwrite só vale com --record"));
    }
    if (parser.isSet(calibration)) {
        const QString name = parser.value(calibration);
        if (name.trimmed().isEmpty() || name.startsWith(QLatin1Char('-')))
            return Error(program, QStringLiteral("--calibration: ") + OpenFileProblem(name));
        try {
            o.Calibration = ReadCalibrationFile(name);
        } catch (const Exception& e) {
            return Error(program, QStringLiteral("--calibration: ") + QString::fromStdString(e.Message()));
        }
    }
    for (const QString& name : parser.values(open)) {
        if (const QString why = OpenFileProblem(name); !why.isEmpty())
            return Error(program, QStringLiteral("--open: ") + why);
        o.OpenFiles << name;
    }
    return result;
}

void ApplyCommandLine(const TCommandLineOptions& options, TCapture& capture, TDataJobs& jobs,
                      const TReporter& report, const TOpenRecording& open)
{
    // The port is closed yet: new settings cannot fail.
    capture.SetSettings(options.Apply(capture.Settings()));
    if (!options.RecordFile.isEmpty())
        RunReported(report, [&] { jobs.StartRecording(options.RecordFile); });
    if (options.Start)
        RunReported(report, [&] { capture.Start(); });
    if (open)
        for (const QString& path : options.OpenFiles)
            open(path);
}

void ApplyChartOptions(const TCommandLineOptions& options, TChart& chart)
{
    if (options.Time)
        chart.SetSecondsAxis(true);
}

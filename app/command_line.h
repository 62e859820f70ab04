#pragma once
// The program's command line (QCommandLineParser):
//
//   --port NAME|PATH   the port, as in Config. Serial
//   --baud N           the baud rate
//   --simulate         the simulated accelerometer
//   --start            open the port at start-up, as a click on Inicia
//   --reconnect        reopen the port by itself when the device comes back
//   --record FILE      record the readings to FILE
//   --time             the chart's X in seconds (each point at its arrival)
//   --overwrite        let --record replace an existing file
//   --open FILE        show a recording in a window of its own (repeatable)
//   --analysis         the analysis window beside the main one
//   --calibration FILE values in g through the calibration in FILE
//   -h, --help         -v, --version
//
// Parsing needs neither a display nor the application object, so help,
// version and mistakes are answered before either exists. The options Qt
// takes for every program (-platform, -style, ...) are let through to Qt.
// A repeated option takes its last value, but --open, which opens each.
// Without options the program starts as it always has.
//
// Names of files and ports are taken as the bytes the shell passed
// (file_names.h): one that is not valid UTF-8 still names the same file.

#include "calibration.h"
#include "reporter.h"
#include "serial_settings.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class TCapture;
class TChart;
class TDataJobs;

// What the options ask for; the defaults are "nothing asked".
struct TCommandLineOptions {
    QString Port;          // empty: the start-up port
    qint32 BaudRate = 0;   // 0: the start-up rate
    bool Simulate = false;
    bool Start = false;
    bool Reconnect = false;
    QString RecordFile;    // empty: no recording
    bool Time = false;     // X in seconds
    bool Overwrite = false;
    QStringList OpenFiles; // recordings to show, in the order given
    bool Analysis = false; // the analysis window beside the main one
    // Read and checked while parsing: values in g from the start.
    std::optional<TCalibration> Calibration;

    // `settings` with what the options change.
    TSerialSettings Apply(TSerialSettings settings) const;
};

struct TCommandLine {
    enum TAction { caRun, caHelp, caVersion, caError };
    TAction Action = caRun;
    TCommandLineOptions Options;
    // What to print: the help (standard output), the version (standard
    // output) or the error (standard error), each ending in a newline.
    QString Text;

    // The status to end with when not running: 0, or 2 after a mistake.
    int ExitStatus() const { return Action == caError ? 2 : 0; }
};

// `arguments` as the program received them, the program's name first.
TCommandLine ParseCommandLine(const QStringList& arguments);
// The arguments as text that gives back their bytes (file_names.h).
QStringList ArgumentsOf(int argc, char** argv);
// The bytes a name taken from the arguments stands for.
QByteArray NameBytes(const QString& name);

QString ProgramVersion();

// Puts the options into effect as the program starts: the settings, then
// the recording, so that it holds every frame, then the start of capture,
// as Inicia would. The errors of the last two go to report, as a click's
// would, and the rest goes ahead: the port opens whatever happens to the
// recording. Then the recordings to show, each handed to open, which
// reports its own errors.
using TOpenRecording = std::function<void(const QString& path)>;
void ApplyCommandLine(const TCommandLineOptions& options, TCapture& capture, TDataJobs& jobs,
                      const TReporter& report, const TOpenRecording& open = {});
// What the options ask of the chart.
void ApplyChartOptions(const TCommandLineOptions& options, TChart& chart);

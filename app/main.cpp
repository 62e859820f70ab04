// Acelerômetro: live plot of a three-axis accelerometer on a serial port.
#include "calibration_actions.h"
#include "command_line.h"
#include "display_check.h"
#include "qt_translations.h"
#include "recording_viewers.h"
#include "signal_handling.h"
#include "tapplication.h"
#include "tform2.h"

#include <csignal>
#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    // A recording or an export may go to a pipe. When the program reading
    // it ends, the next write must fail (EPIPE) and be reported, with
    // capture going on; by default the signal would end the program and
    // lose every reading it holds.
    std::signal(SIGPIPE, SIG_IGN);
    // The command line first: help, version and mistakes need no display.
    const TCommandLine commandLine = ParseCommandLine(ArgumentsOf(argc, argv));
    if (commandLine.Action != TCommandLine::caRun) {
        std::fputs(commandLine.Text.toLocal8Bit().constData(),
                   commandLine.Action == TCommandLine::caError ? stderr : stdout);
        return commandLine.ExitStatus();
    }

    // Without a display Qt cannot start: say so and end with 0 (with 2 for
    // a platform that does not exist).
    auto displayCheck = std::make_unique<TDisplayCheck>(argc, argv);
    TApplication application(argc, argv);
    displayCheck.reset();
    InstallQtTranslations(*QCoreApplication::instance());
    // SIGTERM and SIGINT end the program as closing the window does.
    TTerminationSignals termination;
    const int status = RunProgram(application, [&] {
        Application->Initialize();
        Application->SetMainFormOnTaskBar(true);
        Application->CreateForm(Form2);
        ApplyChartOptions(commandLine.Options, *Form2->Chart1);
        ApplyCommandLine(commandLine.Options, Form2->Capture(), Form2->DataJobs(), Form2->Reporter(),
                         [](const QString& path) { Form2->Viewers().Open(path); });
        if (commandLine.Options.Calibration)
            Form2->Calibration().Apply(*commandLine.Options.Calibration);
        if (commandLine.Options.Analysis)
            Form2->AnalysisAction()->trigger();
        Application->Run();
    });
    Form2 = nullptr;
    return status;
}

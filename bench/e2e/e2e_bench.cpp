// End to end: the real window reads, through the port layer, what the
// simulator writes to a pseudo-terminal as fast as it can, and every plotted
// value is checked against the simulator's own sequence.
//
// Prints: frames_sent, frames_plotted, frames_lost, values_wrong,
// frames_per_second, max_event_loop_stall_ms.
#include "bench_support.h"
#include "capture.h"
#include "paced_writer.h"
#include "pty_pair.h"
#include "stream_builder.h"
#include "tapplication.h"
#include "tchart.h"
#include "tcomport.h"
#include "tform2.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const size_t frames = argc > 1 ? size_t(std::atoll(argv[1])) : 3'000'000;

    TApplication application(argc, argv);
    application.Initialize();
    QStringList reported;
    application.SetReporter([&](const QString& m) { reported << m; });
    application.CreateForm(Form2);

    TStreamOptions options;
    options.FailureRate = 0.01;
    options.JunkRate = 0.01;
    TBuiltStream stream = BuildStream(frames, options);

    TPtyPair pty(false);
    TSerialSettings settings = Form2->Capture().Settings();
    settings.Port = QString::fromStdString(pty.SlavePath());
    Form2->Capture().SetSettings(settings);
    Form2->Button2->click();
    if (!Form2->ComPort1->Connected()) {
        std::fprintf(stderr, "could not open %s: %s\n", pty.SlavePath().c_str(),
                     qPrintable(reported.join("; ")));
        return 1;
    }

    auto plotted = [] {
        return Form2->Series1->Count() + Form2->Series2->Count() + Form2->Series3->Count();
    };

    qint64 lastProgressAt = 0;
    qint64 lastCount = 0;
    qint64 doneAt = -1;
    TStallWatch watch([&](qint64 now) {
        const qint64 count = plotted();
        if (count != lastCount) {
            lastCount = count;
            lastProgressAt = now;
        }
        if (count >= qint64(frames) || now - lastProgressAt > 5'000'000'000LL || !Form2->ComPort1->Connected())
            QCoreApplication::quit();
    });
    // The moment the last point is appended, to within the decoder's call.
    Form2->ComPort1->OnRxChar = [&](QObject* sender, int count) {
        Form2->ComPort1RxChar(sender, count);
        if (doneAt < 0 && plotted() >= qint64(frames))
            doneAt = watch.ElapsedNs();
    };

    TPacedWriter writer;
    writer.Start(pty.Master(), stream.Bytes, 0);
    application.Run();
    if (doneAt < 0)
        doneAt = watch.ElapsedNs();
    writer.Stop();

    const long long wrong = WrongValues(*Form2, stream.Expected);
    const long long got = plotted();
    std::printf("frames_sent %zu\n", frames);
    std::printf("frames_plotted %lld\n", got);
    std::printf("frames_lost %lld\n", std::max(0LL, (long long)frames - got));
    std::printf("values_wrong %lld\n", wrong);
    std::printf("frames_per_second %.0f\n", double(got) / (double(doneAt) / 1e9));
    std::printf("max_event_loop_stall_ms %.1f\n", watch.MaxStallMs());
    if (!reported.isEmpty())
        std::fprintf(stderr, "reported: %s\n", qPrintable(reported.join("; ")));
    Form2->Button3->click();
    return 0;
}

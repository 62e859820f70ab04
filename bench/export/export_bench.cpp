// Benchmark of recording and export. Prints one "name value" line per
// figure:
//   export_rows_per_second   the export of 10 million frames held in memory
//       to a file, as "Exportar dados…" runs it (slices on the event loop,
//       the temporary file synced and renamed at the end)
//   export_max_event_loop_stall_ms   the longest the event loop waited
//       meanwhile, beyond a 5 ms timer's period
//   record_overhead_frames_per_second   what e2e_bench's frames_per_second
//       becomes with a recording running: the simulator through a
//       pseudo-terminal into the real window, every frame also written to
//       a CSV file
//   frames_lost, values_wrong, record_rows_missing   of that run: frames
//       sent but not received, received values other than the simulator's,
//       frames received but not in the file once the recording stopped
//   record_max_event_loop_stall_ms
//
// Usage: export_bench [EXPORT_FRAMES [E2E_FRAMES [DIRECTORY]]]; files go to
// a new directory under DIRECTORY (default: the temporary directory) and
// are removed at the end. Runs offscreen unless a platform is set.
#include "bench_support.h"
#include "capture.h"
#include "data_jobs.h"
#include "paced_writer.h"
#include "pty_pair.h"
#include "session.h"
#include "session_export.h"
#include "stream_builder.h"
#include "tapplication.h"
#include "tchart.h"
#include "tcomport.h"
#include "tform2.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

namespace {

// A session as the receiver fills it from the real device: reads of one to
// eight frames, X, Y, Z in turn, one frame in a hundred failing its check.
void FillSession(TSession& session, std::uint64_t frames)
{
    std::mt19937 random(1);
    std::int64_t timeNs = 1'000'000'000;
    session.MarkStart(timeNs);
    int axis = 0;
    for (std::uint64_t n = 0; n < frames;) {
        timeNs += 3'125'000 + std::int64_t(random() % 2'000'000);
        session.BeginRead(timeNs);
        for (std::uint64_t k = 1 + random() % 8; k > 0 && n < frames; --k, ++n) {
            session.AppendReading(TAxis(axis), double(2048 + int(random() % 1024) - 512), random() % 100 != 0);
            axis = axis == 2 ? 0 : axis + 1;
        }
    }
}

void BenchExport(std::uint64_t frames, const std::string& directory)
{
    TSession session;
    FillSession(session, frames);
    const QString path = QString::fromStdString(directory + "/exportado.csv");

    QEventLoop loop;
    bool ok = false;
    TStallWatch watch;
    const qint64 start = watch.ElapsedNs();
    TSessionExport job(session, path);
    QObject::connect(&job, &TSessionExport::succeeded, &loop, [&] {
        ok = true;
        loop.quit();
    });
    QObject::connect(&job, &TSessionExport::failed, &loop, [&](const QString& message) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(message));
        loop.quit();
    });
    job.Start();
    loop.exec();
    const double seconds = double(watch.ElapsedNs() - start) / 1e9;
    if (!ok)
        std::exit(1);
    std::printf("export_rows %llu\n", (unsigned long long)frames);
    std::printf("export_bytes %llu\n", (unsigned long long)std::filesystem::file_size(path.toStdString()));
    std::printf("export_rows_per_second %.0f\n", double(frames) / seconds);
    std::printf("export_max_event_loop_stall_ms %.1f\n", watch.MaxStallMs());
    std::filesystem::remove(path.toStdString());
}

std::uint64_t CountLines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    std::uint64_t lines = 0;
    while (in) {
        in.read(buffer.data(), std::streamsize(buffer.size()));
        lines += std::uint64_t(std::count(buffer.data(), buffer.data() + in.gcount(), '\n'));
    }
    return lines;
}

// As e2e_bench, with a recording running from before the first frame.
void BenchRecording(std::size_t frames, const std::string& directory)
{
    TStreamOptions options;
    options.FailureRate = 0.01;
    options.JunkRate = 0.01;
    TBuiltStream stream = BuildStream(frames, options);
    const std::string path = directory + "/gravacao.csv";

    TForm2 form;
    form.show();
    TPtyPair pty(false);
    TSerialSettings settings = form.Capture().Settings();
    settings.Port = QString::fromStdString(pty.SlavePath());
    form.Capture().SetSettings(settings);
    form.DataJobs().StartRecording(QString::fromStdString(path));
    form.Button2->click();
    if (!form.ComPort1->Connected()) {
        std::fprintf(stderr, "could not open %s\n", pty.SlavePath().c_str());
        std::exit(1);
    }
    auto received = [&] { return form.Capture().Session().FrameCount(); };

    QEventLoop loop;
    qint64 lastProgressAt = 0;
    std::uint64_t lastCount = 0;
    qint64 doneAt = -1;
    TStallWatch watch([&](qint64 now) {
        const std::uint64_t count = received();
        if (count != lastCount) {
            lastCount = count;
            lastProgressAt = now;
        }
        if (count >= frames || now - lastProgressAt > 5'000'000'000LL || !form.ComPort1->Connected())
            loop.quit();
    });
    const qint64 start = watch.ElapsedNs();
    // The moment the last frame is appended, to within the decoder's call.
    form.ComPort1->OnRxChar = [&](QObject* sender, int count) {
        form.ComPort1RxChar(sender, count);
        if (doneAt < 0 && received() >= frames)
            doneAt = watch.ElapsedNs();
    };
    TPacedWriter writer;
    writer.Start(pty.Master(), stream.Bytes, 0);
    loop.exec();
    if (doneAt < 0)
        doneAt = watch.ElapsedNs();
    writer.Stop();
    form.DataJobs().StopRecording();
    // The file gets its last rows and is closed on its own thread.
    {
        QEventLoop wait;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, &wait, [&] {
            if (!form.DataJobs().Writing())
                wait.quit();
        });
        look.start(1);
        wait.exec();
    }

    const long long wrong = WrongValues(form, stream.Expected);
    const long long got = (long long)received();
    const long long rows = (long long)CountLines(path) - 1;
    std::printf("record_frames_sent %zu\n", frames);
    std::printf("record_overhead_frames_per_second %.0f\n", double(got) / (double(doneAt - start) / 1e9));
    std::printf("frames_lost %lld\n", std::max(0LL, (long long)frames - got));
    std::printf("values_wrong %lld\n", wrong);
    std::printf("record_rows_written %lld\n", rows);
    std::printf("record_rows_missing %lld\n", got - rows);
    std::printf("record_max_event_loop_stall_ms %.1f\n", watch.MaxStallMs());
    form.Button3->click();
    std::filesystem::remove(path);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::uint64_t exportFrames = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10'000'000;
    const std::size_t e2eFrames = argc > 2 ? std::size_t(std::strtoull(argv[2], nullptr, 10)) : 3'000'000;
    const std::filesystem::path base = argc > 3 ? std::filesystem::path(argv[3]) : std::filesystem::temp_directory_path();
    std::string directory = (base / "export-bench-XXXXXX").string();
    if (::mkdtemp(directory.data()) == nullptr) {
        std::perror(directory.c_str());
        return 1;
    }

    TApplication application(argc, argv);
    application.Initialize();
    QStringList reported;
    application.SetReporter([&](const QString& m) { reported << m; });

    BenchExport(exportFrames, directory);
    BenchRecording(e2eFrames, directory);

    std::filesystem::remove_all(directory);
    if (!reported.isEmpty()) {
        std::fprintf(stderr, "reported: %s\n", qPrintable(reported.join("; ")));
        return 1;
    }
    return 0;
}

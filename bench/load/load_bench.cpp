// Benchmark of reading a recording back. A recording of 30 million rows is
// written with the program's own writer, then loaded as a window loads it
// (TRecordingLoad: parsed on worker threads, appended on the event loop's
// thread in slices). Prints one "name value" line per figure:
//   load_rows_per_second       rows loaded over the time from the open to
//                              the last row appended
//   first_picture_ms           from the open to the first rows appended to
//                              the session (when a chart could show them)
//   session_bytes_per_point    resident memory the session takes per point,
//                              built from the port's appends
//   load_peak_bytes_per_point  the process' peak resident memory during the
//                              load, above what it was before, per point
//                              (the file's pages it has mapped included)
//   load_peak_over_session     the ratio of the two
//   roundtrip_identical        1 when the loaded session, exported again,
//                              gives the file byte for byte
//   load_cpu_seconds, append_cpu_seconds   processor time of the load in
//                              all threads, and of the appends alone (the
//                              event loop's thread): on a busy machine the
//                              rate is bounded by the processor time left
//
// Usage: load_bench [ROWS [DIRECTORY]]; the files go to a new directory
// under DIRECTORY (default: the temporary directory) and are removed.
#include "csv_rows.h"
#include "file_writer.h"
#include "recording_load.h"
#include "session.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;

double CpuSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A field of /proc/self/status, in bytes.
std::uint64_t StatusBytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::strtoull(line.c_str() + length + 1, nullptr, 10) * 1024;
    return 0;
}

// A session as the receiver fills it from the device at 9600 baud: reads
// of one to eight frames, each a little after its last byte, X, Y, Z in
// turn, one frame in a hundred failing its check, the port closed for a
// few seconds now and then, and a frame lost on the line once in a while
// (the axes out of turn).
void FillSession(TSession& session, std::uint64_t frames)
{
    std::mt19937 random(1);
    std::int64_t timeNs = 1'000'000'000;
    const TLineTiming line{20, 9600};
    session.MarkOpening(timeNs, line);
    int axis = 0;
    for (std::uint64_t n = 0; n < frames;) {
        const int read = 1 + int(random() % 8);
        timeNs += std::int64_t(read) * 3'125'000 + std::int64_t(random() % 2'000'000);
        if (random() % 100'000 == 0) {
            timeNs += 5'000'000'000;
            session.MarkOpening(timeNs - 10'000'000, line);
        }
        session.BeginRead(timeNs);
        for (int k = 0; k < read && n < frames; ++k, ++n) {
            session.AppendFrame(TAxis(axis), double(2048 + int(random() % 1024) - 512), random() % 100 != 0,
                                3 * (read - 1 - k));
            axis = axis == 2 ? 0 : axis + 1;
            if (random() % 1'000'000 == 0)
                axis = axis == 2 ? 0 : axis + 1;
        }
    }
}

void WriteRecording(const TSession& session, const std::string& path)
{
    TFileWriter out(path, TFileWriter::TMode::Direct);
    out.Write(CsvHeader);
    for (std::uint64_t from = 0; from < session.FrameCount(); from += 1'000'000)
        WriteSessionRows(session, from, from + 1'000'000, out);
    out.Close();
}

// Builds the session and writes it in a process of its own, so that the
// load starts from a heap that never held a session. Returns the session's
// resident bytes per point.
double WriteRecordingApart(std::uint64_t rows, const std::string& path)
{
    int channel[2];
    if (::pipe(channel) != 0)
        std::exit(1);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const std::uint64_t before = StatusBytes("RssAnon");
        double perPoint = 0;
        {
            TSession session;
            FillSession(session, rows);
            perPoint = double(StatusBytes("RssAnon") - before) / double(rows);
            WriteRecording(session, path);
        }
        if (::write(channel[1], &perPoint, sizeof perPoint) != sizeof perPoint)
            ::_exit(1);
        ::_exit(0);
    }
    ::close(channel[1]);
    double perPoint = 0;
    const bool got = ::read(channel[0], &perPoint, sizeof perPoint) == sizeof perPoint;
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "could not write the recording %s\n", path.c_str());
        std::exit(1);
    }
    return perPoint;
}

bool SameFiles(const std::string& a, const std::string& b)
{
    const auto size = std::filesystem::file_size(a);
    if (size != std::filesystem::file_size(b))
        return false;
    if (size == 0)
        return true;
    const int fa = ::open(a.c_str(), O_RDONLY);
    const int fb = ::open(b.c_str(), O_RDONLY);
    void* ma = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fa, 0);
    void* mb = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fb, 0);
    const bool same = ma != MAP_FAILED && mb != MAP_FAILED && std::memcmp(ma, mb, size) == 0;
    ::munmap(ma, size);
    ::munmap(mb, size);
    ::close(fa);
    ::close(fb);
    return same;
}

// Told of the session's first append.
class TFirstAppend final : public ISessionListener {
public:
    void SessionGrew() override { At = TClock::now(); }
    TClock::time_point At{};
};

}  // namespace

int main(int argc, char** argv)
{
    const std::uint64_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 30'000'000;
    std::string directory = (argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path())
                                .string()
        + "/load-bench-XXXXXX";
    if (::mkdtemp(directory.data()) == nullptr) {
        std::fprintf(stderr, "could not create a directory under %s\n", directory.c_str());
        return 1;
    }
    const std::string path = directory + "/gravacao.csv";
    const std::string again = directory + "/exportado.csv";
    const double sessionPerPoint = WriteRecordingApart(rows, path);

    QCoreApplication app(argc, argv);
    int result = 0;
    {
        TSession session;
        TFirstAppend first;
        session.NotifyOnGrowth(first);
        // The peak from here on.
        { std::ofstream("/proc/self/clear_refs") << "5"; }
        const std::uint64_t before = StatusBytes("VmRSS");

        const double cpuBefore = CpuSeconds(RUSAGE_SELF);
        const double threadBefore = CpuSeconds(RUSAGE_THREAD);
        const TClock::time_point open = TClock::now();
        TRecordingLoad load(QString::fromStdString(path), session);
        QEventLoop loop;
        QObject::connect(&load, &TRecordingLoad::finished, &loop, &QEventLoop::quit);
        load.Start();
        loop.exec();
        const TClock::time_point done = TClock::now();
        const double cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
        const double appendCpu = CpuSeconds(RUSAGE_THREAD) - threadBefore;
        const std::uint64_t peak = StatusBytes("VmHWM");

        const TLoadResult& loaded = load.Result();
        if (loaded.Status != TLoadStatus::Complete || loaded.Rows != rows) {
            std::fprintf(stderr, "load ended with %llu rows: %s\n", (unsigned long long)loaded.Rows,
                         loaded.Message.c_str());
            result = 1;
        }
        const double seconds = std::chrono::duration<double>(done - open).count();
        const double peakPerPoint = double(peak - before) / double(rows);
        std::printf("load_rows %llu\n", (unsigned long long)rows);
        std::printf("load_bytes %llu\n", (unsigned long long)std::filesystem::file_size(path));
        std::printf("load_rows_per_second %.0f\n", double(loaded.Rows) / seconds);
        std::printf("first_picture_ms %.1f\n", std::chrono::duration<double, std::milli>(first.At - open).count());
        std::printf("session_bytes_per_point %.2f\n", sessionPerPoint);
        std::printf("load_peak_bytes_per_point %.2f\n", peakPerPoint);
        std::printf("load_peak_over_session %.3f\n", peakPerPoint / sessionPerPoint);
        std::printf("load_cpu_seconds %.3f\n", cpu);
        std::printf("append_cpu_seconds %.3f\n", appendCpu);

        WriteRecording(session, again);
        const bool same = SameFiles(path, again);
        std::printf("roundtrip_identical %d\n", same ? 1 : 0);
        if (!same)
            result = 1;
    }
    std::filesystem::remove_all(directory);
    return result;
}

// accel-sim: plays the accelerometer on a pseudo-terminal or a serial device.
#include "exception.h"
#include "paced_writer.h"
#include "pose_input.h"
#include "pty_link.h"
#include "pty_pair.h"
#include "sim_options.h"
#include "stream_builder.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <termios.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_interrupted{false};

void OnSignal(int)
{
    g_interrupted = true;
}

// Every write and the close are checked: a full disk (or /dev/full) shows
// only there, and an expected file cut short would pass for a wrong run.
void WriteExpected(const std::string& path, const TExpectedPoints& expected)
{
    auto failed = [&path](int error) {
        return Exception("cannot write " + path + ": " + std::strerror(error));
    };
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr)
        throw failed(errno);
    static const char names[AxisCount] = {'X', 'Y', 'Z'};
    for (const TExpectedPoint& p : expected.InOrder) {
        if (std::fprintf(out, "%c %g\n", names[p.Axis], p.Value) < 0) {
            const int error = errno;
            std::fclose(out);
            throw failed(error);
        }
    }
    if (std::fflush(out) != 0 || std::ferror(out)) {
        const int error = errno;
        std::fclose(out);
        throw failed(error);
    }
    if (std::fclose(out) != 0)
        throw failed(errno);
}

int Run(const TSimOptions& o)
{
    TStreamOptions stream;
    stream.FailureRate = o.FailureRate;
    stream.JunkRate = o.JunkRate;
    stream.Seed = o.Seed;
    stream.Signal.FrameRate = o.MaxRate ? 320.0 : o.FrameRate;
    stream.Signal.Pose = o.Pose;

    std::unique_ptr<TPtyPair> pty;
    std::unique_ptr<TPtyLink> link;
    int fd = -1;
    if (o.Device.empty()) {
        pty = std::make_unique<TPtyPair>(false);
        fd = pty->Master();
        if (!o.Link.empty())
            link = std::make_unique<TPtyLink>(o.Link, pty->SlavePath());
        std::printf("%s\n", pty->SlavePath().c_str());
        std::fflush(stdout);
        if (o.WaitReader) {
            while (!g_interrupted && !pty->WaitForReader(100)) {
            }
            if (g_interrupted)
                return 0;
        }
    } else {
        fd = ::open(o.Device.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            throw Exception("cannot open " + o.Device + ": " + std::strerror(errno));
        if (::isatty(fd))
            MakeRawTty(fd, o.Device, o.Baud);
    }

    auto builder = std::make_shared<TStreamBuilder>(stream);
    auto expected = std::make_shared<TExpectedPoints>();
    const bool keepExpected = !o.ExpectedFile.empty();
    uint64_t left = o.Frames;
    const bool endless = o.Endless;
    TPacedWriter writer;
    writer.Start(
        fd,
        [=](std::vector<uint8_t>& out) mutable {
            if (!endless && left == 0)
                return false;
            const uint64_t n = endless ? 256 : std::min<uint64_t>(left, 4096);
            builder->Build(size_t(n), out, keepExpected ? expected.get() : nullptr);
            left -= endless ? 0 : n;
            return true;
        },
        o.MaxRate ? 0.0 : o.FrameRate * 3.0);

    // Poses typed on standard input, only when asked for: a tool in the
    // background that read its terminal would be stopped.
    TPoseInput poses(STDIN_FILENO);
    if (o.ReadPoses)
        std::fprintf(stderr, "accel-sim: pose %s; type +x, -x, +y, -y, +z, -z or none and Enter to change it\n",
                     PoseName(o.Pose).c_str());
    while (!g_interrupted) {
        if (o.ReadPoses && !poses.Ended()) {
            poses.Poll(
                100,
                [&builder](TPose pose) {
                    builder->SetPose(pose);
                    std::fprintf(stderr, "accel-sim: pose %s\n", PoseName(pose).c_str());
                },
                [](const std::string& line) {
                    std::fprintf(stderr, "accel-sim: not a pose: '%s' (+x, -x, +y, -y, +z, -z or none)\n",
                                 line.c_str());
                });
            if (writer.WaitFinished(0))
                break;
        } else if (writer.WaitFinished(100)) {
            break;
        }
    }
    writer.Stop();
    const std::string error = writer.Error();

    if (!g_interrupted && error.empty()) {
        if (pty) {
            while (!g_interrupted && pty->HasReader())
                ::usleep(20 * 1000);
        } else {
            ::tcdrain(fd);
        }
    }
    if (!pty)
        ::close(fd);

    std::string expectedError;
    if (keepExpected) {
        try {
            WriteExpected(o.ExpectedFile, *expected);
        } catch (const Exception& e) {
            expectedError = e.what();
        }
    }
    std::fprintf(stderr, "accel-sim: frames %llu failing %llu junk_bytes %llu bytes %llu\n",
                 (unsigned long long)builder->FramesBuilt(), (unsigned long long)builder->FailingFrames(),
                 (unsigned long long)builder->JunkBytes(), (unsigned long long)writer.BytesWritten());
    for (const std::string& e : {error, expectedError})
        if (!e.empty())
            std::fprintf(stderr, "accel-sim: %s\n", e.c_str());
    return error.empty() && expectedError.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    try {
        const TSimOptions o = ParseSimOptions(argc, argv);
        if (o.Help) {
            std::fputs(SimUsage(argv[0]).c_str(), stdout);
            return 0;
        }
        return Run(o);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "accel-sim: %s\n", e.what());
        return 2;
    }
}

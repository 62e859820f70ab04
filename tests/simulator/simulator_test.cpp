#include "exception.h"
#include "frame_decoder.h"
#include "frame_encoder.h"
#include "paced_writer.h"
#include "pty_link.h"
#include "pty_pair.h"
#include "signal_generator.h"
#include "sim_options.h"
#include "simulated_device.h"
#include "pose_input.h"
#include "stream_builder.h"
#include "test_sinks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

// Feeds bytes to the real decoder in reads of random sizes, as a port
// would deliver them.
TCollectingSink DecodeInPieces(const Bytes& bytes, uint32_t seed)
{
    TReceiveState state{};
    TCollectingSink sink;
    std::mt19937 rng(seed);
    std::uniform_int_distribution<size_t> piece(1, 17);
    for (size_t pos = 0; pos < bytes.size();) {
        const size_t n = std::min(piece(rng), bytes.size() - pos);
        DecodeBytes(state, bytes.data() + pos, int(n), sink);
        pos += n;
    }
    return sink;
}

void ExpectSamePoints(const TCollectingSink& actual, const TExpectedPoints& expected)
{
    ASSERT_EQ(actual.Points.size(), expected.Size());
    for (size_t i = 0; i < actual.Points.size(); ++i) {
        ASSERT_EQ(actual.Points[i].first, expected.InOrder[i].Axis) << "point " << i;
        ASSERT_EQ(actual.Points[i].second, expected.InOrder[i].Value) << "point " << i;
        ASSERT_EQ(actual.Validity[i], expected.InOrder[i].Valid) << "point " << i;
    }
}

// ---- frame encoding

struct EncodeCase {
    TAxis axis;
    int value;
    int check;
    TFrameBytes bytes;
};

TEST(FrameEncoder, EncodesTagCheckAndValue)
{
    const EncodeCase cases[] = {
        {axX, 2048, 8, {0x78, 0x88, 0x00}},
        {axY, 2048, 0, {0x79, 0x08, 0x00}},
        {axZ, 4095, 0, {0x7A, 0x0F, 0xFF}},
        {axZ, 15, 15, {0x7A, 0xF0, 0x0F}},
        {axX, 5000, 3, {0x78, 0x3F, 0xFF}},  // value clamped to 4095
        {axY, -7, 17, {0x79, 0x10, 0x00}},   // clamped to 0, check taken mod 16
    };
    for (const EncodeCase& c : cases)
        EXPECT_EQ(EncodeFrame(c.axis, c.value, c.check), c.bytes) << c.value << "/" << c.check;
}

TEST(FrameEncoder, ValidFramesDecodeToTheirValueOnEveryAxis)
{
    for (int v = 0; v <= MaxReading; v += 7) {
        for (TAxis axis : {axX, axY, axZ}) {
            const TFrameBytes f = EncodeValidFrame(axis, v);
            TReceiveState state{};
            TCollectingSink sink;
            DecodeBytes(state, f.data(), 3, sink);
            ASSERT_EQ(sink.Points.size(), 1u);
            EXPECT_EQ(sink.Points[0], TPoint(axis, double(v)));
        }
    }
}

// ---- signal

TEST(SignalGenerator, StaysInRangeAndPutsGravityOnItsAxis)
{
    TSignalParams p;
    p.VibrationAmplitude = 3000; // drives the signal past both rails
    p.NoiseSigma = 50;
    TSignalGenerator clipped(p);
    for (int i = 0; i < 3000; ++i) {
        const int v = clipped.Next(TAxis(i % 3));
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 4095);
    }

    TSignalParams calm;
    calm.GravityAxis = axY;
    calm.VibrationAmplitude = 0;
    calm.NoiseSigma = 0;
    TSignalGenerator g(calm);
    EXPECT_EQ(g.Next(axX), 2048);
    EXPECT_EQ(g.Next(axY), 2448);
    EXPECT_EQ(g.Next(axZ), 2048);
}

// The default signal, without a pose, is the one the simulator always
// sent: the same bytes for the same seed.
TEST(SignalGenerator, WithoutAPoseSendsTheStreamItAlwaysSent)
{
    TStreamOptions o;
    o.FailureRate = 0.01;
    o.JunkRate = 0.02;
    o.Seed = 7;
    const TBuiltStream s = BuildStream(30000, o);
    unsigned long long hash = 1469598103934665603ull;  // FNV-1a
    for (const uint8_t b : s.Bytes) {
        hash ^= b;
        hash *= 1099511628211ull;
    }
    EXPECT_EQ(s.Bytes.size(), 91169u);
    EXPECT_EQ(hash, 4240506070182448631ull);
}

TEST(SignalGenerator, PosesAreReadAsTyped)
{
    const std::pair<const char*, TPose> good[] = {{"+x", TPose::XUp}, {"-x", TPose::XDown}, {"+Y", TPose::YUp},
                                                  {"-y", TPose::YDown}, {"+z", TPose::ZUp}, {"-Z", TPose::ZDown},
                                                  {"none", TPose::Moving}};
    for (const auto& [text, pose] : good) {
        TPose read = TPose::Moving;
        EXPECT_TRUE(ParsePose(text, read)) << text;
        EXPECT_EQ(read, pose) << text;
    }
    for (const char* text : {"", "x", "+w", "z+", "++x", "up"}) {
        TPose read = TPose::ZUp;
        EXPECT_FALSE(ParsePose(text, read)) << text;
        EXPECT_EQ(read, TPose::ZUp);
    }
    EXPECT_EQ(PoseName(TPose::YDown), "-y");
}

// At rest, the axis up reads its zero plus its counts per g, the one down
// its zero minus them, the others their zero: each a part of its own, with
// a little noise and no vibration. The pose changes from the next reading.
TEST(SignalGenerator, AtRestEachAxisReadsItsOwnGravity)
{
    TSignalParams p;
    p.Pose = TPose::XUp;
    TSignalGenerator g(p);
    const TRestModel& part = p.Rest;
    for (int pose = int(TPose::XUp); pose <= int(TPose::ZDown); ++pose) {
        SCOPED_TRACE(PoseName(TPose(pose)));
        g.SetPose(TPose(pose));
        const int vertical = (pose - 1) / 2;
        const double sign = (pose - 1) % 2 == 0 ? 1 : -1;
        double sum[AxisCount] = {};
        double squares[AxisCount] = {};
        constexpr int N = 3000;
        for (int i = 0; i < N; ++i) {
            for (int axis = 0; axis < AxisCount; ++axis) {
                const double v = g.Next(TAxis(axis));
                sum[axis] += v;
                squares[axis] += v * v;
            }
        }
        for (int axis = 0; axis < AxisCount; ++axis) {
            const double mean = sum[axis] / N;
            const double expected = part.Zero[axis] + (axis == vertical ? sign * part.CountsPerG[axis] : 0);
            EXPECT_NEAR(mean, expected, 0.2) << axis;
            EXPECT_NEAR(std::sqrt(squares[axis] / N - mean * mean), part.NoiseSigma, 0.3) << axis;
        }
    }
    // Parts of their own: no two axes alike.
    EXPECT_NE(part.Zero[0], part.Zero[1]);
    EXPECT_NE(part.CountsPerG[1], part.CountsPerG[2]);
    g.SetPose(TPose::Moving);
    int lowest = 4095, highest = 0;
    for (int i = 0; i < 300; ++i) {
        lowest = std::min(lowest, g.Next(axX));
        highest = std::max(highest, g.Next(axX));
    }
    EXPECT_GT(highest - lowest, 200);  // the vibration is back
}

// Poses typed one a line, split anyhow by the reads, with rubbish said.
TEST(PoseInput, ReadsOnePoseALine)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    TPoseInput input(fds[0]);
    std::vector<TPose> poses;
    std::vector<std::string> bad;
    auto poll = [&] {
        input.Poll(
            0, [&](TPose pose) { poses.push_back(pose); }, [&](const std::string& line) { bad.push_back(line); });
    };
    poll();  // nothing yet
    EXPECT_TRUE(poses.empty());
    for (const char* piece : {"+x\n-", "z\r\n\n  +y  \nsobe\n", "none"}) {
        ASSERT_GT(::write(fds[1], piece, std::strlen(piece)), 0);
        poll();
    }
    EXPECT_EQ(poses, (std::vector<TPose>{TPose::XUp, TPose::ZDown, TPose::YUp}));
    EXPECT_EQ(bad, std::vector<std::string>{"sobe"});
    EXPECT_FALSE(input.Ended());
    ::close(fds[1]);
    poll();
    EXPECT_TRUE(input.Ended());
    EXPECT_EQ(poses.back(), TPose::Moving);  // the last line, without its newline
    ::close(fds[0]);
}

// ---- stream builder

TEST(StreamBuilder, ExpectedPointsAreWhatTheDecoderPlots)
{
    struct Case {
        double failure, junk;
        uint32_t seed;
    };
    const Case cases[] = {{0, 0, 1}, {0.1, 0, 2}, {0, 0.3, 3}, {0.25, 0.25, 4}, {1.0, 0.5, 5}};
    for (const Case& c : cases) {
        TStreamOptions o;
        o.FailureRate = c.failure;
        o.JunkRate = c.junk;
        o.Seed = c.seed;
        const TBuiltStream s = BuildStream(3000, o);
        SCOPED_TRACE(testing::Message() << "failure " << c.failure << " junk " << c.junk);
        ExpectSamePoints(DecodeInPieces(s.Bytes, c.seed), s.Expected);
        for (int axis = 0; axis < AxisCount; ++axis)
            EXPECT_EQ(s.Expected.PerAxis[axis].size(), 1000u);
    }
}

TEST(StreamBuilder, FailingFramesHoldTheLastAcceptedValue)
{
    TStreamOptions o;
    o.FailureRate = 1.0; // every frame fails: nothing is ever accepted
    const TBuiltStream s = BuildStream(30, o);
    for (const TExpectedPoint& p : s.Expected.InOrder)
        EXPECT_EQ(p.Value, 0.0);

    TStreamOptions half;
    half.FailureRate = 0.5;
    half.Seed = 9;
    TStreamBuilder b(half);
    Bytes bytes;
    TExpectedPoints expected;
    b.Build(3000, bytes, &expected);
    EXPECT_NEAR(double(b.FailingFrames()) / 3000.0, 0.5, 0.05);
    // A failing frame carries a check nibble other than value mod 15.
    size_t failing = 0;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const int value = ((bytes[i + 1] & 0x0F) << 8) | bytes[i + 2];
        failing += (value % 15) != (bytes[i + 1] >> 4);
    }
    EXPECT_EQ(failing, b.FailingFrames());
}

TEST(StreamBuilder, JunkIsNeverATagAndSuccessiveCallsContinue)
{
    TStreamOptions o;
    o.JunkRate = 1.0;
    o.FailureRate = 0.2;
    o.Seed = 11;
    TStreamBuilder b(o);
    Bytes first, second;
    TExpectedPoints expected;
    b.Build(500, first, &expected);
    b.Build(500, second, &expected);
    EXPECT_GE(b.JunkBytes(), 500u);
    EXPECT_EQ(first.size() + second.size(), 3000 + b.JunkBytes());

    // Every tag in the stream starts a frame: junk holds none.
    size_t tags = 0;
    Bytes all = first;
    all.insert(all.end(), second.begin(), second.end());
    for (size_t i = 0; i < all.size(); ++i) {
        if (IsAxisTag(all[i])) {
            ++tags;
            i += 2;
        }
    }
    EXPECT_EQ(tags, 1000u);
    ExpectSamePoints(DecodeInPieces(all, 3), expected);
}

// ---- pty and writer

TEST(PtyPair, PassesEveryByteValueUntranslated)
{
    TPtyPair pty;
    Bytes bytes(256 * 4);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i);
    ASSERT_EQ(::write(pty.Master(), bytes.data(), bytes.size()), ssize_t(bytes.size()));

    Bytes got;
    uint8_t buf[512];
    while (got.size() < bytes.size()) {
        pollfd p{pty.Slave(), POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 2000), 0) << "got only " << got.size() << " bytes";
        const ssize_t n = ::read(pty.Slave(), buf, sizeof buf);
        ASSERT_GT(n, 0);
        got.insert(got.end(), buf, buf + n);
    }
    EXPECT_EQ(got, bytes);
}

// The in-process device takes a pose while it sends: Z pointing down.
TEST(SimulatedDevice, TakesAPoseWhileItSends)
{
    TStreamOptions stream;
    stream.FailureRate = 0;
    TSimulatedDevice device(stream, 30000);
    const std::string path = device.Start();
    device.SetPose(TPose::ZDown);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    Bytes got;
    uint8_t buf[512];
    while (got.size() < 6000) {
        pollfd p{fd, POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 5000), 0) << "got only " << got.size() << " bytes";
        const ssize_t n = ::read(fd, buf, sizeof buf);
        ASSERT_GT(n, 0);
        got.insert(got.end(), buf, buf + n);
    }
    ::close(fd);
    device.Stop();
    const TCollectingSink sink = DecodeInPieces(got, 1);
    const TRestModel part;
    double sum = 0;
    int count = 0;
    for (std::size_t i = sink.Points.size() - 900; i < sink.Points.size(); ++i) {
        if (sink.Points[i].first == axZ) {
            sum += sink.Points[i].second;
            ++count;
        }
    }
    EXPECT_NEAR(sum / count, part.Zero[axZ] - part.CountsPerG[axZ], 1);
}

TEST(PtyPair, WaitForReaderSeesTheSlaveOpened)
{
    TPtyPair pty(false);
    EXPECT_FALSE(pty.WaitForReader(0));
    const int reader = ::open(pty.SlavePath().c_str(), O_RDONLY | O_NOCTTY);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(pty.WaitForReader(1000));
    ::close(reader);
}

Bytes ReadFromSlave(int fd, size_t n, int timeoutMs)
{
    Bytes got;
    uint8_t buf[4096];
    while (got.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            break;
        const ssize_t r = ::read(fd, buf, sizeof buf);
        if (r <= 0)
            break;
        got.insert(got.end(), buf, buf + r);
    }
    return got;
}

TEST(PacedWriter, WritesTheWholeStreamPacedOrAtFullSpeed)
{
    for (double rate : {0.0, 3000.0}) {
        SCOPED_TRACE(rate);
        TPtyPair pty;
        const TBuiltStream s = BuildStream(100, {});
        TPacedWriter w;
        w.Start(pty.Master(), s.Bytes, rate);
        EXPECT_EQ(ReadFromSlave(pty.Slave(), s.Bytes.size(), 3000), s.Bytes);
        EXPECT_TRUE(w.WaitFinished(3000));
        EXPECT_EQ(w.BytesWritten(), s.Bytes.size());
        EXPECT_EQ(w.Error(), "");
    }
}

// Paced in packets, as a USB-serial adapter delivers: the reader gets the
// stream in pieces of a packet's worth at least, the last one excepted.
TEST(PacedWriter, WritesInPacketsOfLineTime)
{
    TPtyPair pty;
    const TBuiltStream s = BuildStream(100, {});
    TPacedWriter w;
    const double rate = 3000.0;
    const double packetSeconds = 0.02;  // 60 bytes
    w.Start(pty.Master(), s.Bytes, rate, packetSeconds);
    Bytes got;
    std::vector<size_t> pieces;
    uint8_t buf[4096];
    while (got.size() < s.Bytes.size()) {
        pollfd p{pty.Slave(), POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 3000), 0) << "got only " << got.size() << " bytes";
        const ssize_t r = ::read(pty.Slave(), buf, sizeof buf);
        ASSERT_GT(r, 0);
        got.insert(got.end(), buf, buf + r);
        pieces.push_back(size_t(r));
    }
    EXPECT_EQ(got, s.Bytes);
    ASSERT_GE(pieces.size(), 2u);
    for (size_t i = 0; i + 1 < pieces.size(); ++i)
        EXPECT_GE(pieces[i], 60u) << "piece " << i;
    EXPECT_TRUE(w.WaitFinished(3000));
}

TEST(PacedWriter, StopsAnEndlessStreamPromptly)
{
    TPtyPair pty;
    TPacedWriter w;
    TStreamBuilder builder;
    w.Start(
        pty.Master(),
        [&builder](Bytes& out) {
            builder.Build(8, out);
            return true;
        },
        960.0);
    // Bytes arrive...
    EXPECT_FALSE(ReadFromSlave(pty.Slave(), 30, 2000).empty());
    EXPECT_TRUE(w.Running());
    // ...until the writer is stopped, which returns without waiting for a
    // stream that has no end.
    w.Stop();
    EXPECT_FALSE(w.Running());
    const uint64_t written = w.BytesWritten();
    ::usleep(50 * 1000);
    EXPECT_EQ(w.BytesWritten(), written);
}

// ---- the link to the pty

// A fresh folder for links, removed with what is in it.
class PtyLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/accel-link-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir = name;
        path = dir + "/acelerometro";
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    std::string Target() const
    {
        char buffer[4096];
        const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
        return n < 0 ? std::string() : std::string(buffer, size_t(n));
    }

    std::string dir;
    std::string path;
};

TEST_F(PtyLinkTest, LeadsToThePtyAndGoesWithIt)
{
    TPtyPair pty(false);
    {
        TPtyLink link(path, pty.SlavePath());
        EXPECT_EQ(Target(), pty.SlavePath());
        // The path opens the pty's slave.
        const int reader = ::open(path.c_str(), O_RDONLY | O_NOCTTY);
        ASSERT_GE(reader, 0);
        EXPECT_TRUE(pty.WaitForReader(1000));
        ::close(reader);
    }
    struct stat st {};
    EXPECT_NE(::lstat(path.c_str(), &st), 0);
}

TEST_F(PtyLinkTest, ARestartTakesTheLinkOverAndTheOlderRunLeavesItAlone)
{
    TPtyPair first(false);
    TPtyPair second(false);
    auto older = std::make_unique<TPtyLink>(path, first.SlavePath());
    // A link left behind (or a run still going) is replaced...
    TPtyLink newer(path, second.SlavePath());
    EXPECT_EQ(Target(), second.SlavePath());
    // ...and the older run, ending, keeps its hands off it.
    EXPECT_FALSE(older->StillOurs());
    older.reset();
    EXPECT_EQ(Target(), second.SlavePath());
    // Nothing of the replacement is left beside it.
    EXPECT_EQ(std::system(("test $(ls -A '" + dir + "' | wc -l) -eq 1").c_str()), 0);
}

TEST_F(PtyLinkTest, RefusesToReplaceAnythingButALink)
{
    TPtyPair pty(false);
    ASSERT_EQ(::mkdir((dir + "/pasta").c_str(), 0700), 0);
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(file, 0);
    ::close(file);
    for (const std::string& taken : {path, dir + "/pasta"}) {
        SCOPED_TRACE(taken);
        EXPECT_THROW(TPtyLink(taken, pty.SlavePath()), Exception);
        struct stat st {};
        ASSERT_EQ(::lstat(taken.c_str(), &st), 0);
        EXPECT_FALSE(S_ISLNK(st.st_mode));
    }
    EXPECT_THROW(TPtyLink(dir + "/no-such-folder/link", pty.SlavePath()), Exception);
}

// ---- accel-sim options

TEST(SimOptions, ParsesTheToolsOptions)
{
    const char* argv[] = {"accel-sim", "--rate", "max", "--failure-rate", "0.2", "--junk-rate", "0.1",
                          "--frames", "1000", "--device", "/dev/pts/9", "--seed", "42", "--expected", "e.txt"};
    const char* linked[] = {"accel-sim", "--link", "/tmp/acelerometro"};
    EXPECT_EQ(ParseSimOptions(int(std::size(linked)), linked).Link, "/tmp/acelerometro");
    const TSimOptions o = ParseSimOptions(int(std::size(argv)), argv);
    EXPECT_TRUE(o.MaxRate);
    EXPECT_DOUBLE_EQ(o.FailureRate, 0.2);
    EXPECT_DOUBLE_EQ(o.JunkRate, 0.1);
    EXPECT_EQ(o.Frames, 1000u);
    EXPECT_FALSE(o.Endless);
    EXPECT_EQ(o.Device, "/dev/pts/9");
    EXPECT_EQ(o.Seed, 42u);
    EXPECT_EQ(o.ExpectedFile, "e.txt");

    const char* defaults[] = {"accel-sim"};
    const TSimOptions d = ParseSimOptions(1, defaults);
    EXPECT_FALSE(d.MaxRate);
    EXPECT_DOUBLE_EQ(d.FrameRate, 320.0);
    EXPECT_TRUE(d.Endless);
    EXPECT_TRUE(d.Device.empty());
    EXPECT_FALSE(d.ReadPoses);
    EXPECT_EQ(d.Pose, TPose::Moving);
    const char* posed[] = {"accel-sim", "--pose", "-y"};
    const TSimOptions p = ParseSimOptions(int(std::size(posed)), posed);
    EXPECT_TRUE(p.ReadPoses);
    EXPECT_EQ(p.Pose, TPose::YDown);

    const char* none[] = {"accel-sim", "--frames", "0", "--expected", "e.txt"};
    const TSimOptions n = ParseSimOptions(int(std::size(none)), none);
    EXPECT_FALSE(n.Endless);
    EXPECT_EQ(n.Frames, 0u);
    const char* endless[] = {"accel-sim", "--frames", "5", "--endless"};
    EXPECT_TRUE(ParseSimOptions(int(std::size(endless)), endless).Endless);
}

TEST(SimOptions, RejectsBadValues)
{
    const std::vector<std::vector<const char*>> bad = {
        {"accel-sim", "--rate", "fast"},     {"accel-sim", "--rate", "0"},
        {"accel-sim", "--failure-rate", "2"}, {"accel-sim", "--frames", "-3"},
        {"accel-sim", "--frames"},           {"accel-sim", "--bogus"},
        {"accel-sim", "--expected", "e.txt"}, // endless stream
        {"accel-sim", "--link"},             {"accel-sim", "--link", ""},
        {"accel-sim", "--link", "/tmp/a", "--device", "/dev/ttyS0"}, // a link goes with a new pty
        {"accel-sim", "--pose"},             {"accel-sim", "--pose", "up"},
    };
    for (const auto& argv : bad)
        EXPECT_THROW(ParseSimOptions(int(argv.size()), argv.data()), Exception) << argv.back();
}

} // namespace

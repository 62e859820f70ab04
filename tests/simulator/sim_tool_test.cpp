// The accel-sim tool as a script runs it: its exit status, what it says on
// standard error, and the files it leaves.
#include "frame_decoder.h"
#include "scratch_dir.h"
#include "signal_generator.h"
#include "test_sinks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct TRun {
    bool Ended = false;  // false: still running at the deadline, then killed
    int Status = -1;
    std::string Errors;
};

// Runs the tool with args, standard error to a file; kills it if it has
// not ended within seconds.
TRun RunTool(const std::vector<std::string>& args, const TScratchDir& dir, int seconds = 20)
{
    const std::string errors = dir.File("stderr.txt");
    std::vector<char*> argv;
    std::string program = ACCEL_SIM_BINARY;
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(err, 2);
        ::dup2(null, 1);
        ::dup2(null, 0);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    TRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            run.Errors = ReadFile(errors);
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    run.Ended = true;
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.Errors = ReadFile(errors);
    return run;
}

TEST(SimTool, FramesZeroSendsNothingAndEnds)
{
    TScratchDir dir;
    const std::string expected = dir.File("esperado.txt");
    const TRun run = RunTool({"--device", "/dev/null", "--rate", "max", "--frames", "0", "--expected", expected}, dir);
    ASSERT_TRUE(run.Ended) << "still sending after 20 s";
    EXPECT_EQ(run.Status, 0) << run.Errors;
    EXPECT_NE(run.Errors.find("frames 0 "), std::string::npos) << run.Errors;
    EXPECT_NE(run.Errors.find("bytes 0"), std::string::npos) << run.Errors;
    EXPECT_EQ(ReadFile(expected), "");
}

// The points the program should plot, into a file that cannot hold them:
// said on standard error and in the status, never an exit 0 with an empty
// or cut file.
TEST(SimTool, AnExpectedFileThatCannotBeWrittenFailsTheRun)
{
    TScratchDir dir;
    struct Case { std::string path; const char* reason; };
    const Case cases[] = {
        {"/dev/full", "No space left on device"},
        {dir.File("pasta-que-nao-existe/esperado.txt"), "No such file or directory"},
        {dir.Path(), "Is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        // Few points: they fit the file's buffer, so only its close can fail.
        const TRun run = RunTool({"--device", "/dev/null", "--rate", "max", "--frames", "100", "--expected", c.path}, dir);
        ASSERT_TRUE(run.Ended);
        EXPECT_EQ(run.Status, 1) << run.Errors;
        EXPECT_NE(run.Errors.find("accel-sim: cannot write " + c.path + ": " + c.reason), std::string::npos)
            << run.Errors;
    }
    const std::string good = dir.File("esperado.txt");
    const TRun run = RunTool({"--device", "/dev/null", "--rate", "max", "--frames", "3000", "--expected", good}, dir);
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(run.Status, 0) << run.Errors;
    const std::string text = ReadFile(good);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3000);
}

// With --pose, the poses typed on standard input change what the device
// reads while it runs: the points after "-y" show Y pointing down.
TEST(SimTool, PosesTypedWhileItRunsChangeTheReadings)
{
    TScratchDir dir;
    const std::string device = dir.File("linha.bin");
    const std::string errors = dir.File("stderr.txt");
    { std::ofstream create(device); }
    int input[2];
    ASSERT_EQ(::pipe(input), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(err, 2);
        ::dup2(input[0], 0);
        ::close(input[1]);
        ::execl(ACCEL_SIM_BINARY, ACCEL_SIM_BINARY, "--pose", "+x", "--device", device.c_str(), "--rate", "3000",
                "--failure-rate", "0", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(input[0]);
    auto waitFor = [](const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return done();
    };
    EXPECT_TRUE(waitFor([&] { return ReadFile(device).size() > 3000; }));
    const char typed[] = "nada\n-y\n";
    ASSERT_EQ(::write(input[1], typed, sizeof typed - 1), ssize_t(sizeof typed - 1));
    EXPECT_TRUE(waitFor([&] { return ReadFile(errors).find("accel-sim: pose -y") != std::string::npos; }));
    // Frames made before the pose changed may still be on their way (the
    // writer takes them a few hundred at a time): well past them.
    const std::size_t changed = ReadFile(device).size();
    EXPECT_TRUE(waitFor([&] { return ReadFile(device).size() > changed + 12000; }));
    ::close(input[1]);  // the end of the input: the device goes on sending
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string said = ReadFile(errors);
    EXPECT_NE(said.find("accel-sim: pose +x"), std::string::npos) << said;
    EXPECT_NE(said.find("not a pose: 'nada'"), std::string::npos) << said;

    const std::string bytes = ReadFile(device);
    TReceiveState state{};
    TCollectingSink sink;
    DecodeBytes(state, reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()), sink);
    ASSERT_GT(sink.Points.size(), 2000u);
    const TRestModel part;
    // The first readings: X up. The last: Y down.
    auto meanOf = [&](TAxis axis, bool last) {
        double sum = 0;
        int count = 0;
        const std::size_t n = sink.Points.size();
        for (std::size_t i = last ? n - 900 : 0; i < (last ? n : 900); ++i) {
            if (sink.Points[i].first == axis) {
                sum += sink.Points[i].second;
                ++count;
            }
        }
        return sum / count;
    };
    EXPECT_NEAR(meanOf(axX, false), part.Zero[axX] + part.CountsPerG[axX], 1);
    EXPECT_NEAR(meanOf(axY, false), part.Zero[axY], 1);
    EXPECT_NEAR(meanOf(axX, true), part.Zero[axX], 1);
    EXPECT_NEAR(meanOf(axY, true), part.Zero[axY] - part.CountsPerG[axY], 1);
    EXPECT_NEAR(meanOf(axZ, true), part.Zero[axZ], 1);
}

}  // namespace

// The accel-sim tool as a script runs it: its exit status, what it says on
// standard error, and the files it leaves.
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
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

}  // namespace

// The recording format and the files it goes to: rows formatted by hand
// against the C library's own formatting, the rows of a session in arrival
// order, and a file writer that never leaves a half file under a name it
// replaces and names the file and the reason of every failure.
#include "csv_rows.h"
#include "exception.h"
#include "file_writer.h"
#include "paused_reader.h"
#include "same_lines.h"
#include "scratch_dir.h"
#include "session.h"
#include "text_buffer.h"
#include "writer_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <string>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string Row(const TFrameRecord& frame)
{
    char buffer[MaxCsvRowBytes];
    return std::string(buffer, FormatCsvRow(buffer, frame));
}

// The same row through printf.
std::string PrintfRow(const TFrameRecord& f)
{
    char buffer[128];
    const int n = std::snprintf(buffer, sizeof buffer, "%lld.%06lld,%c,%lld,%lld,%d\n",
                                (long long)(f.TimeUs / 1000000), (long long)(f.TimeUs % 1000000),
                                "XYZ"[f.Axis], (long long)f.Index, (long long)f.Value, f.Valid ? 1 : 0);
    return std::string(buffer, std::size_t(n));
}

TEST(CsvRow, EachFieldAtItsDigitBoundaries)
{
    struct Case { TFrameRecord frame; const char* row; };
    const Case cases[] = {
        {{0, axX, 0, 2048, true}, "0.000000,X,0,2048,1\n"},
        {{3125, axZ, 0, 2457, false}, "0.003125,Z,0,2457,0\n"},
        {{10, axY, 9, 9, true}, "0.000010,Y,9,9,1\n"},
        {{999999, axX, 10, 10, true}, "0.999999,X,10,10,1\n"},
        {{1000000, axY, 99, 99, true}, "1.000000,Y,99,99,1\n"},
        {{59000001, axZ, 100, 100, true}, "59.000001,Z,100,100,1\n"},
        {{86400123456, axY, 27647999, 999, false}, "86400.123456,Y,27647999,999,0\n"},
        {{3600000000, axX, 1000, 1000, true}, "3600.000000,X,1000,1000,1\n"},
        {{12345678, axZ, 123456789012, 4095, true}, "12.345678,Z,123456789012,4095,1\n"},
        {{INT64_MAX, axZ, INT64_MAX, 0, false}, "9223372036854.775807,Z,9223372036854775807,0,0\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Row(c.frame), c.row);
}

TEST(CsvRow, MatchesPrintfOverRandomFrames)
{
    std::mt19937_64 random(7);
    for (int i = 0; i < 200000; ++i) {
        const TFrameRecord frame{std::int64_t(random() % 100'000'000'000'000ULL), TAxis(random() % 3),
                                 std::int64_t(random() >> (random() % 64)), float(random() % 4096),
                                 bool(random() & 1)};
        ASSERT_EQ(Row(frame), PrintfRow(frame)) << i;
    }
}

// A session of several reads, with frames out of step (a lost frame, a
// device reset) and failed checks, as the decoder hands them on.
void Fill(TSession& session, std::uint64_t frames, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::int64_t timeNs = 5'000'000'000;
    session.MarkStart(timeNs);
    int axis = 0;
    for (std::uint64_t n = 0; n < frames;) {
        timeNs += std::int64_t(random() % 2'000'000);
        session.BeginRead(timeNs);
        for (std::uint64_t k = 1 + random() % 40; k > 0 && n < frames; --k, ++n) {
            if (random() % 500 == 0)
                axis = int(random() % 3);
            session.AppendReading(TAxis(axis), double(random() % 4096), random() % 20 != 0);
            axis = (axis + 1) % 3;
        }
    }
}

std::string ExpectedRows(const TSession& session, std::uint64_t from, std::uint64_t to)
{
    std::string rows;
    for (std::uint64_t n = from; n < to; ++n)
        rows += PrintfRow(session.Record(n));
    return rows;
}

class SessionRows : public ::testing::Test {
protected:
    std::string Write(const std::vector<std::uint64_t>& cuts)
    {
        const std::string path = dir.File("rows.csv");
        TFileWriter file(path, TFileWriter::TMode::Direct);
        for (std::size_t i = 0; i + 1 < cuts.size(); ++i)
            WriteSessionRows(session, cuts[i], cuts[i + 1], file);
        file.Close();
        return ReadFile(path);
    }

    TScratchDir dir;
    TSession session;
};

// Enough rows to cross the writer's buffer several times.
TEST_F(SessionRows, AreTheFramesInArrivalOrderHoweverTheRangeIsCut)
{
    constexpr std::uint64_t frames = 150000;
    Fill(session, frames, 3);
    const std::string whole = ExpectedRows(session, 0, frames);
    ASSERT_GT(whole.size(), 2 * TFileWriter::BufferBytes);
    EXPECT_TRUE(SameLines(Write({0, frames}), whole));
    EXPECT_TRUE(SameLines(Write({0, 1, 4096, 4097, 77777, frames - 1, frames}), whole));
    EXPECT_TRUE(SameLines(Write({100, 100, 5000}), ExpectedRows(session, 100, 5000)));
}

TEST_F(SessionRows, StopAtTheFramesHeld)
{
    Fill(session, 1000, 4);
    EXPECT_EQ(Write({990, 5000}), ExpectedRows(session, 990, 1000));
    EXPECT_EQ(Write({1000, 1000}), "");
}

// Frames of the session's first read have time 0, as have frames that
// came before any read; their rows carry it like any other time, whether
// the range starts with them or inside them.
TEST_F(SessionRows, FramesReceivedAtTimeZero)
{
    session.Append(axZ, 7);  // before any read
    session.MarkStart(5'000'000'000);
    session.BeginRead(5'000'000'000);
    session.Append(axX, 1);
    session.AppendReading(axY, 2, false);
    session.Append(axZ, 3);
    session.BeginRead(5'001'000'000);
    session.Append(axX, 4);
    EXPECT_EQ(Write({0, 5}), "0.000000,Z,0,7,1\n"
                             "0.000000,X,0,1,1\n"
                             "0.000000,Y,0,2,0\n"
                             "0.000000,Z,1,3,1\n"
                             "0.001000,X,1,4,1\n");
    EXPECT_EQ(Write({2, 3, 4}), "0.000000,Y,0,2,0\n"
                                "0.000000,Z,1,3,1\n");
}

// The comparison of whole files reports where they part, not a diff of
// every line.
TEST(SameLines, NamesTheFirstLineThatDiffers)
{
    struct Case { std::string actual, expected; const char* says; };
    const Case cases[] = {
        {"a\nb\nc\n", "a\nb\nc\n", nullptr},
        {"a\nb\nc\n", "a\nB\nc\n", "line 2 differs\n  expected: \"B\\n\"\n    actual: \"b\\n\""},
        {"a\nbb", "a\nbbb\n", "line 2 differs\n  expected: \"bbb\\n\"\n    actual: \"bb\" (no line end)"},
        {"a\n", "a\nb\n", "line 2 differs\n  expected: \"b\\n\"\n    actual: (end of text)"},
        {"x", "", "line 1 differs\n  expected: (end of text)\n    actual: \"x\" (no line end)"},
    };
    for (const Case& c : cases) {
        const ::testing::AssertionResult result = SameLines(c.actual, c.expected);
        EXPECT_EQ(bool(result), c.says == nullptr);
        if (c.says) {
            EXPECT_NE(std::string(result.message()).find(c.says), std::string::npos) << result.message();
        }
    }
}

// Failures, each with a message that names the file and the reason. Tests
// run as root, so every path here fails for root too.
TEST(FileWriter, FailuresNameTheFileAndTheReason)
{
    TScratchDir dir;
    struct Case { std::string path; const char* reason; };
    const Case cases[] = {
        {"/acelerometro-pasta-que-nao-existe/dados.csv", "o caminho não existe"},
        {dir.Path(), "o nome é de uma pasta"},
        {"/proc/acelerometro.csv", "(No such file or directory)"},
        {"/dev/full", "não há espaço livre no disco"},
    };
    for (const auto mode : {TFileWriter::TMode::Direct, TFileWriter::TMode::Replace}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.path + (mode == TFileWriter::TMode::Direct ? " direct" : " replace"));
            std::string message;
            try {
                TFileWriter file(c.path, mode);
                file.Write(CsvHeader);
                file.Close();
            } catch (const Exception& e) {
                message = e.Message();
            }
            EXPECT_NE(message.find("Não foi possível"), std::string::npos) << message;
            EXPECT_NE(message.find("\"" + c.path + "\""), std::string::npos) << message;
            EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        }
    }
    // Nothing was put in place of the device or next to it.
    struct stat st {};
    ASSERT_EQ(::stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_TRUE(dir.Entries().empty());
}

// A named pipe that no program reads: opening it for writing used to wait
// for a reader, freezing the window with no way to end it but SIGKILL. It
// must fail at once and say why. Should it wait after all, a reader comes
// after a while, so that the test fails instead of hanging.
TEST(FileWriter, PipeNobodyReadsFailsAtOnce)
{
    TScratchDir dir;
    const std::string pipe = dir.File("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::thread lateReader([&] {
        std::unique_lock<std::mutex> hold(lock);
        if (!finished.wait_for(hold, std::chrono::seconds(10), [&] { return done; })) {
            const int fd = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
            ::sleep(1);
            ::close(fd);
        }
    });
    for (const auto mode : {TFileWriter::TMode::Direct, TFileWriter::TMode::Replace}) {
        SCOPED_TRACE(mode == TFileWriter::TMode::Direct ? "direct" : "replace");
        std::string message;
        try {
            TFileWriter file(pipe, mode);
        } catch (const Exception& e) {
            message = e.Message();
        }
        EXPECT_NE(message.find("nenhum programa está lendo do pipe"), std::string::npos) << message;
    }
    {
        std::lock_guard<std::mutex> hold(lock);
        done = true;
    }
    finished.notify_one();
    lateReader.join();
}

TEST(FileWriter, ReplaceTakesTheNameOnlyWhenClosed)
{
    TScratchDir dir;
    const std::string path = dir.File("dados.csv");
    for (const bool existed : {false, true}) {
        SCOPED_TRACE(existed ? "over an old file" : "new file");
        if (existed) {
            std::ofstream(path) << "antigo\n";
            ::chmod(path.c_str(), 0640);
        }
        for (const bool close : {false, true}) {
            {
                TFileWriter file(path, TFileWriter::TMode::Replace);
                file.Write("novo\n");
                file.Flush();
                EXPECT_EQ(dir.Entries().size(), existed ? 2u : 1u);  // the name and the temporary
                EXPECT_EQ(ReadFile(path), existed ? "antigo\n" : "");
                if (close)
                    file.Close();
            }
            EXPECT_EQ(dir.Entries(), close || existed ? std::vector<std::string>{"dados.csv"}
                                                      : std::vector<std::string>{});
            EXPECT_EQ(ReadFile(path), close ? "novo\n" : existed ? "antigo\n" : "");
            if (close && existed) {
                struct stat st {};
                ASSERT_EQ(::stat(path.c_str(), &st), 0);
                EXPECT_EQ(st.st_mode & 07777, 0640u);
            }
            if (close)
                std::ofstream(path) << "antigo\n";
        }
        std::filesystem::remove(path);
    }
}

TEST(FileWriter, ReplaceWritesThroughLinksAndIntoDevices)
{
    TScratchDir dir;
    const std::string target = dir.File("alvo.csv");
    const std::string link = dir.File("atalho.csv");
    std::ofstream(target) << "antigo\n";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    TFileWriter file(link, TFileWriter::TMode::Replace);
    file.Write("novo\n");
    file.Close();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(target), "novo\n");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"alvo.csv", "atalho.csv"}));

    TFileWriter null("/dev/null", TFileWriter::TMode::Replace);
    null.Write("nada\n");
    null.Close();
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

// The temporary name must fit where the chosen one does.
TEST(FileWriter, ReplaceTakesTheLongestName)
{
    TScratchDir dir;
    const std::string path = dir.File(std::string(NAME_MAX - 4, 'a') + ".csv");
    TFileWriter file(path, TFileWriter::TMode::Replace);
    file.Write(CsvHeader);
    file.Close();
    EXPECT_EQ(ReadFile(path), CsvHeader);
}

// A direct file has what was flushed, synced or not, while it is written.
TEST(FileWriter, DirectFileHoldsWhatWasFlushed)
{
    TScratchDir dir;
    const std::string path = dir.File("gravacao.csv");
    std::ofstream(path) << "uma gravação antiga, mais longa\n";
    TFileWriter file(path, TFileWriter::TMode::Direct);
    EXPECT_EQ(ReadFile(path), "");
    file.Write(CsvHeader);
    EXPECT_EQ(ReadFile(path), "");  // still in the buffer
    file.Flush();
    EXPECT_EQ(ReadFile(path), CsvHeader);
    file.SyncInBackground();
    file.Write("0.000000,X,0,1,1\n");
    file.Flush();
    file.SyncInBackground();  // the first may still run: no second one
    file.Close();
    EXPECT_EQ(ReadFile(path), std::string(CsvHeader) + "0.000000,X,0,1,1\n");
    EXPECT_EQ(file.BytesWritten(), CsvHeader.size() + 17);
}

// A write that fails half way (the file may not grow) ends the file: a
// direct file keeps the whole lines that got there, never a piece of one,
// which a reader would take for a row with wrong values; a replacement
// leaves nothing.
TEST(FileWriter, WriteErrorHalfWayKeepsOnlyWholeLines)
{
    TScratchDir dir;
    const std::string path = dir.File("dados.csv");
    const std::string row = "9.870396,Z,1,2048,1\n";  // 20 bytes: 4096 falls inside a row
    std::string rows;
    for (int i = 0; i < 150; ++i)
        rows += row;
    struct Case {
        const char* name;
        std::vector<std::string> flushes;  // each handed to the kernel in one Flush
        std::string kept;                   // what a direct file holds after the failure
    };
    const std::string wholeRowsThatFit = (rows + rows).substr(0, 4096 / row.size() * row.size());
    const Case cases[] = {
        {"the first flush fails", {rows + rows}, wholeRowsThatFit},
        {"the second fails", {rows, rows}, wholeRowsThatFit},
        {"no line end got there", {std::string(3000, 'a'), std::string(3000, 'b')}, ""},
        {"a line end, then a long line", {"cabecalho\n" + std::string(5000, 'c')}, "cabecalho\n"},
    };
    for (const Case& c : cases) {
        for (const auto mode : {TFileWriter::TMode::Direct, TFileWriter::TMode::Replace}) {
            const bool direct = mode == TFileWriter::TMode::Direct;
            SCOPED_TRACE(std::string(c.name) + (direct ? ", direct" : ", replace"));
            std::string message;
            {
                TFileSizeLimit limit(4096);
                TFileWriter file(path, mode);
                try {
                    for (const std::string& text : c.flushes) {
                        file.Write(text);
                        file.Flush();
                    }
                } catch (const Exception& e) {
                    message = e.Message();
                }
            }
            EXPECT_NE(message.find("gravar no arquivo \"" + path + "\": o arquivo passou do tamanho máximo"),
                      std::string::npos)
                << message;
            if (direct) {
                EXPECT_TRUE(SameLines(ReadFile(path), c.kept));
                std::filesystem::remove(path);
            }
            EXPECT_TRUE(dir.Entries().empty());
        }
    }
}

// A recording into a file system that fills up, as a small tmpfs of its
// own in a mount namespace of a child process (where the system allows
// one): the failure is a full disk, and the file ends with a whole row.
TEST(FileWriter, RecordingIntoAFullFileSystemEndsWithAWholeRow)
{
    TSession session;
    Fill(session, 20000, 9);
    const std::string all = std::string(CsvHeader) + ExpectedRows(session, 0, session.FrameCount());
    TScratchDir dir;
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(out[0]);
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("tmpfs", dir.Path().c_str(), "tmpfs", 0, "size=64k") != 0)
            ::_exit(77);
        const std::string path = dir.File("gravacao.csv");
        std::string result;
        try {
            TFileWriter file(path, TFileWriter::TMode::Direct);
            file.Write(CsvHeader);
            // As the recording does: a few rows at a time, each flushed.
            for (std::uint64_t from = 0; from < session.FrameCount(); from += 777) {
                WriteSessionRows(session, from, from + 777, file);
                file.Flush();
            }
            file.Close();
            result = "no failure\n";
        } catch (const Exception& e) {
            result = e.Message() + "\n";
        }
        result += ReadFile(path);
        for (std::size_t done = 0; done < result.size();) {
            const ssize_t n = ::write(out[1], result.data() + done, result.size() - done);
            if (n <= 0)
                ::_exit(1);
            done += std::size_t(n);
        }
        ::_exit(0);
    }
    ::close(out[1]);
    std::string result;
    char buffer[65536];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        ASSERT_GT(n, 0);
        result.append(buffer, std::size_t(n));
    }
    ::close(out[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no mount namespace with a tmpfs of its own here";
    ASSERT_EQ(WEXITSTATUS(status), 0);
    const std::size_t lineEnd = result.find('\n');
    ASSERT_NE(lineEnd, std::string::npos);
    const std::string message = result.substr(0, lineEnd);
    const std::string file = result.substr(lineEnd + 1);
    EXPECT_NE(message.find("não há espaço livre no disco"), std::string::npos) << message;
    ASSERT_GT(file.size(), CsvHeader.size());
    EXPECT_LT(file.size(), all.size());
    EXPECT_EQ(file.back(), '\n');
    EXPECT_TRUE(SameLines(file, all.substr(0, file.size())));
}

// Polls done() for a few seconds.
template <class F>
bool WaitUntil(F done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

// The writer on its thread, into a pipe whose reader has stopped reading:
// the slice it holds waits there, no second one is taken (memory stays
// bounded), the handing thread never waits, and Interrupt ends the wait at
// once. Once the reader reads again, a writer left alone finishes.
TEST(WriterThread, AStalledReaderHoldsOneSliceAndInterruptEndsTheWait)
{
    using TClock = TWriterThread::TClock;
    TScratchDir dir;
    for (const bool interrupt : {true, false}) {
        SCOPED_TRACE(interrupt ? "interrupted" : "reader back");
        const std::string fifo = dir.File(interrupt ? "a" : "b");
        TPausedReader reader(fifo);
        const std::string rows(200000, 'x');
        TWriterThread writer(std::make_unique<TFileWriter>(fifo, TFileWriter::TMode::Direct), {}, nullptr);
        for (int slice = 0; slice < 2; ++slice) {
            ASSERT_TRUE(writer.WaitToHand(TClock::now() + std::chrono::seconds(5)));
            TTextBuffer text = writer.TakeSpare();
            text.Append(rows + "\n");
            writer.Hand(std::move(text), 1);
        }
        // The first is being written, the second waits: no third.
        EXPECT_FALSE(writer.WaitToHand(TClock::now() + std::chrono::milliseconds(300)));
        EXPECT_FALSE(writer.CanHand());
        EXPECT_EQ(writer.Status().Written, 0u);
        EXPECT_EQ(writer.Status().Handed, 2u);
        if (interrupt) {
            writer.Interrupt();
            ASSERT_TRUE(writer.WaitEnded(TClock::now() + std::chrono::seconds(5)));
            EXPECT_TRUE(writer.Status().Interrupted);
            EXPECT_TRUE(writer.Status().Error.empty()) << writer.Status().Error;
        } else {
            writer.Close();
            reader.Resume();
            ASSERT_TRUE(writer.WaitEnded(TClock::now() + std::chrono::seconds(10)));
            EXPECT_TRUE(writer.Status().Closed) << writer.Status().Error;
            EXPECT_EQ(writer.Status().Written, 2u);
            ASSERT_TRUE(WaitUntil([&] { return reader.Ended(); }));
            EXPECT_EQ(reader.Text(), rows + "\n" + rows + "\n");
        }
        EXPECT_FALSE(reader.WatchdogFired());
    }
}

}  // namespace

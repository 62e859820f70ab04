// The file writer's syncs, watched and failed at the system call: this
// binary is linked with fdatasync and rename wrapped (-Wl,--wrap), so the
// writer's own calls come here first. An export's data must be on the
// disk before the file takes its name, and a sync that fails must be
// reported, never taken for success.
#include "exception.h"
#include "file_writer.h"
#include "same_lines.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int __real_fdatasync(int fd);
extern "C" int __real_rename(const char* from, const char* to);

namespace {

struct TCall {
    std::string Name;   // "fdatasync" or "rename"
    ino_t File;         // the file synced, or renamed
    off_t Size;         // its size at the call
};

std::mutex g_lock;
std::vector<TCall> g_calls;
int g_failSyncWith = 0;  // errno for the syncs, 0 to let them through

}  // namespace

extern "C" int __wrap_fdatasync(int fd)
{
    struct stat st {};
    ::fstat(fd, &st);
    int error;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_calls.push_back({"fdatasync", st.st_ino, st.st_size});
        error = g_failSyncWith;
    }
    if (error != 0) {
        errno = error;
        return -1;
    }
    return __real_fdatasync(fd);
}

extern "C" int __wrap_rename(const char* from, const char* to)
{
    struct stat st {};
    ::stat(from, &st);
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_calls.push_back({"rename", st.st_ino, st.st_size});
    }
    return __real_rename(from, to);
}

namespace {

class FileSync : public ::testing::Test {
protected:
    void SetUp() override { Reset(0); }
    void TearDown() override { Reset(0); }
    static void Reset(int failWith)
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_calls.clear();
        g_failSyncWith = failWith;
    }
    static std::vector<TCall> Calls()
    {
        std::lock_guard<std::mutex> hold(g_lock);
        return g_calls;
    }

    TScratchDir dir;
};

// More than the writer's buffer, so that part of it was handed to the
// kernel long before the end.
const std::string Data = std::string(3 * TFileWriter::BufferBytes + 123, 'x') + "\n";

TEST_F(FileSync, AnExportIsOnTheDiskWholeBeforeItTakesItsName)
{
    const std::string path = dir.File("exportado.csv");
    TFileWriter file(path, TFileWriter::TMode::Replace);
    file.Write(Data.substr(0, TFileWriter::BufferBytes + 1));
    file.Flush();
    file.SyncInBackground();
    file.Write(Data.substr(TFileWriter::BufferBytes + 1));
    file.Close();
    EXPECT_TRUE(SameLines(ReadFile(path), Data));

    const std::vector<TCall> calls = Calls();
    std::size_t rename = calls.size();
    for (std::size_t i = 0; i < calls.size(); ++i)
        if (calls[i].Name == "rename")
            rename = i;
    ASSERT_LT(rename, calls.size()) << "never renamed";
    EXPECT_EQ(calls[rename].Size, off_t(Data.size()));
    bool syncedWhole = false;
    for (std::size_t i = 0; i < rename; ++i)
        syncedWhole = syncedWhole
            || (calls[i].Name == "fdatasync" && calls[i].File == calls[rename].File && calls[i].Size == off_t(Data.size()));
    EXPECT_TRUE(syncedWhole) << "the file took its name before all of it was synced";
}

// A sync that fails, where the writer learns of it: it is reported with
// the file's name and the reason, an export leaves the old file as it was
// and nothing beside it, and a recording keeps what it wrote.
TEST_F(FileSync, AFailedSyncIsReported)
{
    enum class TWhen { AtClose, ByTheNextFlush, ByClose };
    struct Case { const char* name; TWhen when; };
    const Case cases[] = {
        {"the sync of Close fails", TWhen::AtClose},
        {"a background sync fails, the next flush says so", TWhen::ByTheNextFlush},
        {"a background sync fails, Close says so", TWhen::ByClose},
    };
    const std::string path = dir.File("dados.csv");
    for (const Case& c : cases) {
        for (const auto mode : {TFileWriter::TMode::Direct, TFileWriter::TMode::Replace}) {
            const bool direct = mode == TFileWriter::TMode::Direct;
            SCOPED_TRACE(std::string(c.name) + (direct ? ", direct" : ", replace"));
            std::ofstream(path) << "antigo\n";
            Reset(0);
            std::string message;
            bool closing = false;
            try {
                TFileWriter file(path, mode);
                file.Write(Data);
                file.Flush();
                Reset(EIO);
                if (c.when != TWhen::AtClose)
                    file.SyncInBackground();
                if (c.when == TWhen::ByTheNextFlush) {
                    // The sync may still run: a flush after it ends says so.
                    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                    while (std::chrono::steady_clock::now() < deadline) {
                        file.Write("mais\n");
                        file.Flush();
                    }
                }
                closing = true;
                file.Close();
            } catch (const Exception& e) {
                message = e.Message();
            }
            EXPECT_EQ(closing, c.when != TWhen::ByTheNextFlush);
            Reset(0);
            EXPECT_NE(message.find("Não foi possível gravar no arquivo \"" + path + "\": erro de entrada e saída"),
                      std::string::npos)
                << message;
            EXPECT_EQ(dir.Entries(), std::vector<std::string>{"dados.csv"});
            if (direct) {
                EXPECT_TRUE(SameLines(ReadFile(path).substr(0, Data.size()), Data));
            } else {
                EXPECT_EQ(ReadFile(path), "antigo\n");
            }
        }
    }
}

}  // namespace

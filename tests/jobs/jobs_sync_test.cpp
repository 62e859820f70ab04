// The jobs when the disk refuses to sync: this binary is linked with
// fdatasync wrapped (-Wl,--wrap), so the file writer's syncs, which run on
// the file's own thread, fail here on demand. The failure must reach the
// reporter, naming the file, and an export must leave nothing in place.
#include "data_jobs.h"
#include "scratch_dir.h"
#include "session.h"

#include <QSignalSpy>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <fstream>

extern "C" int __real_fdatasync(int fd);

namespace {

std::atomic<int> g_failSyncWith{0};

}  // namespace

extern "C" int __wrap_fdatasync(int fd)
{
    if (const int error = g_failSyncWith.load()) {
        errno = error;
        return -1;
    }
    return __real_fdatasync(fd);
}

namespace {

TEST(JobsSync, AnExportWhoseSyncFailsIsReportedAndLeavesTheOldFile)
{
    TSession session;
    session.MarkStart(0);
    for (int i = 0; i < 3000; ++i) {
        session.BeginRead(std::int64_t(i) * 3125000);
        session.AppendReading(TAxis(i % AxisCount), double(i % 4096), true);
    }
    QStringList reported;
    TDataJobs jobs(session, [&](const std::string& m) { reported << QString::fromStdString(m); });
    TScratchDir dir;
    const std::string path = dir.File("exportado.csv");
    std::ofstream(path) << "antigo\n";

    g_failSyncWith = EIO;
    QSignalSpy ended(&jobs, &TDataJobs::exportEnded);
    QSignalSpy saved(&jobs, &TDataJobs::exportSaved);
    jobs.StartExport(QString::fromStdString(path));
    ASSERT_TRUE(ended.wait(20000));
    g_failSyncWith = 0;

    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0].contains(QString::fromStdString("\"" + path + "\""))) << reported[0].toStdString();
    EXPECT_TRUE(reported[0].contains("erro de entrada e saída")) << reported[0].toStdString();
    EXPECT_EQ(saved.count(), 0);
    EXPECT_EQ(ReadFile(path), "antigo\n");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"exportado.csv"});
}

}  // namespace

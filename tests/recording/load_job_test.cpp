// A recording read back from the event loop: the rows reach the session in
// slices between other events, with progress, one finished signal at the
// end, none after a cancel, and a job dropped half way stops cleanly.
#include "csv_rows.h"
#include "exception.h"
#include "file_writer.h"
#include "recording_load.h"
#include "scratch_dir.h"
#include "session.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <vector>

namespace {

constexpr std::uint64_t Rows = 300'000;

class RecordingLoadJob : public ::testing::Test {
protected:
    void SetUp() override
    {
        TSession session;
        for (std::uint64_t n = 0; n < Rows; ++n) {
            if (n % 4 == 0)
                session.BeginRead(std::int64_t(n) * 1'000'000);
            session.AppendReading(TAxis(n % 3), double(n % 4096), n % 9 != 0);
        }
        TFileWriter out(Path, TFileWriter::TMode::Direct);
        out.Write(CsvHeader);
        WriteSessionRows(session, 0, session.FrameCount(), out);
        out.Close();
        Options.Parsing.SliceBytes = 16 * 1024;
    }

    // Runs the event loop until done() or a generous deadline.
    template <typename F>
    bool RunUntil(F done)
    {
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (done())
                loop.quit();
        });
        check.start(1);
        QTimer::singleShot(60'000, &loop, &QEventLoop::quit);
        if (!done())
            loop.exec();
        return done();
    }

    TScratchDir Dir;
    std::string Path = Dir.File("gravacao.csv");
    TLoadOptions Options;
};

TEST_F(RecordingLoadJob, RowsReachTheSessionInSlicesBetweenOtherEvents)
{
    TSession session;
    TRecordingLoad job(QString::fromStdString(Path), session, Options);
    std::vector<std::pair<qint64, int>> progress;
    int finished = 0;
    QObject::connect(&job, &TRecordingLoad::progress, &job,
                     [&](qint64 rows, int permille) { progress.emplace_back(rows, permille); });
    QObject::connect(&job, &TRecordingLoad::finished, &job, [&] { ++finished; });
    // What another event of the window would see meanwhile.
    std::vector<std::uint64_t> seen;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, &other, [&] { seen.push_back(session.FrameCount()); });
    other.start(0);
    job.Start();
    ASSERT_TRUE(RunUntil([&] { return finished > 0; }));
    other.stop();

    EXPECT_EQ(finished, 1);
    EXPECT_EQ(job.Result().Status, TLoadStatus::Complete);
    EXPECT_EQ(job.Result().Rows, Rows);
    EXPECT_EQ(session.FrameCount(), Rows);
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](std::uint64_t n) { return n > 0 && n < Rows; }));
    ASSERT_FALSE(progress.empty());
    for (std::size_t i = 1; i < progress.size(); ++i) {
        EXPECT_GE(progress[i].first, progress[i - 1].first);
        EXPECT_GE(progress[i].second, progress[i - 1].second);
    }
    EXPECT_EQ(progress.back(), std::make_pair(qint64(Rows), 1000));
    EXPECT_EQ(ReadFile(Path).size(), job.Progress().TotalBytes);
}

TEST_F(RecordingLoadJob, CancelledFromItsProgressItSaysNoMore)
{
    TSession session;
    TRecordingLoad job(QString::fromStdString(Path), session, Options);
    int finished = 0;
    bool cancelled = false;
    QObject::connect(&job, &TRecordingLoad::progress, &job, [&](qint64 rows, int) {
        if (rows > 0 && !cancelled) {
            job.Cancel();
            cancelled = true;
        }
    });
    QObject::connect(&job, &TRecordingLoad::finished, &job, [&] { ++finished; });
    job.Start();
    ASSERT_TRUE(RunUntil([&] { return cancelled; }));
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(job.Result().Status, TLoadStatus::Cancelled);
    EXPECT_EQ(job.Result().Rows, session.FrameCount());
    EXPECT_LT(session.FrameCount(), Rows);
}

TEST_F(RecordingLoadJob, ABadRowEndsItWithTheMessage)
{
    std::string text = ReadFile(Path);
    text.insert(text.find('\n', text.size() / 2) + 1, "0.5,X,1,1,1\n");
    std::ofstream(Path, std::ios::binary | std::ios::trunc) << text;
    TSession session;
    TRecordingLoad job(QString::fromStdString(Path), session, Options);
    int finished = 0;
    QObject::connect(&job, &TRecordingLoad::finished, &job, [&] { ++finished; });
    job.Start();
    ASSERT_TRUE(RunUntil([&] { return finished > 0; }));
    EXPECT_EQ(job.Result().Status, TLoadStatus::BadRow);
    EXPECT_EQ(job.Result().Line, job.Result().Rows + 2);
    EXPECT_NE(job.Result().Message.find("tempo_s \"0.5\""), std::string::npos) << job.Result().Message;
    EXPECT_EQ(session.FrameCount(), job.Result().Rows);
}

TEST_F(RecordingLoadJob, AJobDroppedHalfWayStopsItsWorkers)
{
    TSession session;
    auto job = std::make_unique<TRecordingLoad>(QString::fromStdString(Path), session, Options);
    job->Start();
    ASSERT_TRUE(RunUntil([&] { return session.FrameCount() > 0; }));
    job.reset();
    const std::uint64_t held = session.FrameCount();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(session.FrameCount(), held);
}

TEST_F(RecordingLoadJob, AFileThatIsNotARecordingIsRefusedAtOnce)
{
    std::ofstream(Path, std::ios::binary | std::ios::trunc) << "a;b;c\n";
    TSession session;
    EXPECT_THROW(TRecordingLoad(QString::fromStdString(Path), session), Exception);
}

}  // namespace

// The recording and the export as jobs, with no window and no port: a
// session filled by hand, as a viewer of a recording would hold one, and
// the files read back. Failures go to the reporter the jobs are given.
#include "csv_rows.h"
#include "data_jobs.h"
#include "exception.h"
#include "paused_reader.h"
#include "scratch_dir.h"
#include "session.h"
#include "same_lines.h"
#include "session_export.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

class JobsTest : public ::testing::Test {
protected:
    JobsTest() : jobs(session, [this](const std::string& m) { reported << QString::fromStdString(m); })
    {
        session.MarkStart(0);
    }

    // frames readings, X, Y, Z in turn, one read per frame, every seventh
    // failing its check.
    void Append(int frames)
    {
        for (int i = 0; i < frames; ++i, ++m_next) {
            session.BeginRead(std::int64_t(m_next) * 3125000);
            session.AppendReading(TAxis(m_next % AxisCount), double(m_next % 4096), m_next % 7 != 0);
        }
    }
    // The file a recording or an export of the frames [from, to) must be.
    std::string Rows(std::uint64_t from, std::uint64_t to) const
    {
        std::string text(CsvHeader);
        char row[MaxCsvRowBytes];
        for (std::uint64_t n = from; n < to; ++n)
            text.append(row, FormatCsvRow(row, session.Record(n)));
        return text;
    }
    // Stops the recording and waits until its file is complete.
    void StopAndWait()
    {
        QSignalSpy saved(&jobs, &TDataJobs::recordingSaved);
        jobs.StopRecording();
        EXPECT_FALSE(jobs.IsRecording());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !jobs.Writing(); }, 20000));
        EXPECT_EQ(saved.count(), 1);
    }
    void ExportAndWait(const std::string& file)
    {
        QSignalSpy ended(&jobs, &TDataJobs::exportEnded);
        jobs.StartExport(QString::fromStdString(file));
        ASSERT_NE(jobs.Export(), nullptr);
        ASSERT_TRUE(ended.wait(20000));
        EXPECT_EQ(jobs.Export(), nullptr);
    }

    TSession session;
    QStringList reported;
    TDataJobs jobs;
    TScratchDir dir;

private:
    int m_next = 0;
};

// A recording holds what came after it started, the export what was held
// when it started: the same rows where they meet.
TEST_F(JobsTest, RecordingAndExportOfAGivenSessionHoldTheSameRows)
{
    Append(100);
    QSignalSpy states(&jobs, &TDataJobs::recordingStateChanged);
    jobs.StartRecording(QString::fromStdString(dir.File("gravacao.csv")));
    EXPECT_TRUE(jobs.IsRecording());
    Append(5000);
    // Rows reach the file from the event loop, without a stop.
    ASSERT_TRUE(QTest::qWaitFor([&] { return jobs.RecordingState().Rows == 5000; }, 5000));
    EXPECT_EQ(ReadFile(dir.File("gravacao.csv")), Rows(100, 5100));
    Append(50);
    QSignalSpy saved(&jobs, &TDataJobs::recordingSaved);
    StopAndWait();
    ASSERT_EQ(saved.count(), 1);
    EXPECT_EQ(saved[0][0].toString(), QString::fromStdString(dir.File("gravacao.csv")));
    EXPECT_EQ(saved[0][1].value<std::uint64_t>(), 5050u);
    EXPECT_EQ(jobs.RecordingState().Rows, 5050u);
    EXPECT_EQ(ReadFile(dir.File("gravacao.csv")), Rows(100, 5150));
    ASSERT_GE(states.count(), 3); // started, rows, stopped
    EXPECT_TRUE(states.first()[0].value<TRecordingState>().Active);
    EXPECT_FALSE(states.last()[0].value<TRecordingState>().Active);

    QSignalSpy exported(&jobs, &TDataJobs::exportSaved);
    ExportAndWait(dir.File("exportado.csv"));
    EXPECT_EQ(ReadFile(dir.File("exportado.csv")), Rows(0, 5150));
    ASSERT_EQ(exported.count(), 1);
    EXPECT_EQ(exported[0][1].value<std::uint64_t>(), 5150u);
    EXPECT_TRUE(reported.isEmpty()) << reported.join("; ").toStdString();
}

// A file one job writes is refused to the other, whatever the name it is
// given by; the job that has it goes on.
TEST_F(JobsTest, AFileBeingWrittenIsNotTakenByTheOtherJob)
{
    Append(1000);
    const QString recording = QString::fromStdString(dir.File("gravacao.csv"));
    jobs.StartRecording(recording);
    for (const QString& same : {recording, QString::fromStdString(dir.Path() + "/./gravacao.csv")}) {
        EXPECT_THROW(jobs.StartExport(same), Exception);
        EXPECT_EQ(jobs.Export(), nullptr);
        EXPECT_THROW(jobs.CheckNotInUse(same), Exception);
    }
    const QString exported = QString::fromStdString(dir.File("exportado.csv"));
    StopAndWait();
    jobs.StartExport(exported);
    ASSERT_NE(jobs.Export(), nullptr);
    try {
        jobs.StartRecording(exported);
        ADD_FAILURE() << "the file being exported was taken";
    } catch (const Exception& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains("uma exportação está sendo feita nele")) << e.what();
    }
    EXPECT_FALSE(jobs.IsRecording());
    jobs.CancelExport();
    // Gone once its file's thread has removed what it wrote.
    ASSERT_TRUE(QTest::qWaitFor([&] { return jobs.Export() == nullptr; }, 5000));
    jobs.CheckNotInUse(exported);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"gravacao.csv"});
    EXPECT_TRUE(reported.isEmpty()) << reported.join("; ").toStdString();
}

// Failures met while a job runs by itself go to the reporter, once, naming
// the file; the job ends and what a recording wrote stays.
TEST_F(JobsTest, AFailureWhileAJobRunsIsReportedOnceAndEndsIt)
{
    const std::string recording = dir.File("gravacao.csv");
    {
        TFileSizeLimit limit(4096);
        jobs.StartRecording(QString::fromStdString(recording));
        Append(3000);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !reported.isEmpty(); }, 5000));
        EXPECT_FALSE(jobs.IsRecording());
        // The write that met the limit is cut back to the last whole row.
        const std::string rows = Rows(0, 3000);
        EXPECT_TRUE(SameLines(ReadFile(recording), rows.substr(0, rows.rfind('\n', 4095) + 1)));

        reported.clear();
        ExportAndWait(dir.File("exportado.csv"));
    }
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0].contains(QString::fromStdString("\"" + dir.File("exportado.csv") + "\"")))
        << reported[0].toStdString();
    EXPECT_TRUE(reported[0].contains("tamanho máximo")) << reported[0].toStdString();
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"gravacao.csv"});
    // Nothing more comes of either: a second report would show by now.
    EXPECT_FALSE(QTest::qWaitFor([&] { return reported.size() > 1; }, 3 * TRecorder::FlushIntervalMs));
}

TEST_F(JobsTest, ShutdownCancelsTheExportAndFinishesTheRecording)
{
    Append(1000);
    jobs.StartRecording(QString::fromStdString(dir.File("gravacao.csv")));
    jobs.StartExport(QString::fromStdString(dir.File("exportado.csv")));
    Append(10);
    jobs.Shutdown();
    EXPECT_FALSE(jobs.IsRecording());
    EXPECT_EQ(jobs.Export(), nullptr);
    EXPECT_EQ(ReadFile(dir.File("gravacao.csv")), Rows(1000, 1010));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"gravacao.csv"});
}

// A reader that stops reading the recording's pipe (a program stopped, or
// one that reads in bursts): the event loop goes on as frames arrive, the
// state says how far the file lags, and once the reader reads again every
// row arrives, in order. Memory stays bounded meanwhile: rows wait in the
// session, not in a queue.
TEST_F(JobsTest, AReaderThatStopsReadingOnlyMakesTheRecordingLag)
{
    const std::string fifo = dir.File("pipe");
    TPausedReader reader(fifo);
    ASSERT_TRUE(reader.IsOpen());
    jobs.StartRecording(QString::fromStdString(fifo));
    // Frames keep coming from the event loop, as from the port: 1000 every
    // few milliseconds, far more than a pipe holds.
    QTimer port;
    QObject::connect(&port, &QTimer::timeout, &port, [&] { Append(1000); });
    port.start(5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.FrameCount() >= 100000 && jobs.RecordingState().Behind > 0; },
                                8000))
        << session.FrameCount() << " frames, " << jobs.RecordingState().Behind << " behind";
    EXPECT_FALSE(reader.WatchdogFired()) << "the event loop waited for the reader";
    port.stop();
    const TRecordingState lagging = jobs.RecordingState();
    EXPECT_TRUE(lagging.Active);
    EXPECT_EQ(lagging.Behind, session.FrameCount() - lagging.Rows);
    EXPECT_LT(lagging.Rows, 20000u);  // what a pipe and two slices hold

    const std::uint64_t frames = session.FrameCount();
    QSignalSpy saved(&jobs, &TDataJobs::recordingSaved);
    jobs.StopRecording();
    EXPECT_TRUE(jobs.Writing());
    reader.Resume();
    ASSERT_TRUE(QTest::qWaitFor([&] { return saved.count() == 1; }, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return reader.Ended(); }, 5000));
    EXPECT_EQ(reader.Text(), Rows(0, frames));
    EXPECT_EQ(jobs.RecordingState().Behind, 0u);
    EXPECT_TRUE(reported.isEmpty()) << reported.join("; ").toStdString();
}

// An export into a pipe nobody reads any more: the event loop goes on, and
// Cancelar ends it at once, without waiting for the reader.
TEST_F(JobsTest, AnExportIntoAStalledPipeCanBeCancelled)
{
    Append(200000);
    const std::string fifo = dir.File("pipe");
    TPausedReader reader(fifo);
    jobs.StartExport(QString::fromStdString(fifo));
    ASSERT_TRUE(QTest::qWaitFor([&] { return reader.Waiting() > 0; }, 8000));
    int turns = 0;
    QTimer loop;
    QObject::connect(&loop, &QTimer::timeout, &loop, [&] { ++turns; });
    loop.start(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return turns >= 20; }, 8000));
    EXPECT_FALSE(reader.WatchdogFired()) << "the event loop waited for the reader";
    ASSERT_NE(jobs.Export(), nullptr);
    jobs.CancelExport();
    EXPECT_TRUE(QTest::qWaitFor([&] { return jobs.Export() == nullptr; }, 5000));
    EXPECT_FALSE(reader.WatchdogFired());
    EXPECT_TRUE(reported.isEmpty()) << reported.join("; ").toStdString();
}

// The program's end with a reader that never reads again: the wait is
// bounded, and what did not reach the file is reported with its count.
TEST_F(JobsTest, ShutdownWaitsForAStalledReaderOnlySoLong)
{
    const std::string fifo = dir.File("pipe");
    TPausedReader reader(fifo);
    jobs.StartRecording(QString::fromStdString(fifo));
    Append(50000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return jobs.RecordingState().Behind > 0; }, 8000));
    QElapsedTimer took;
    took.start();
    jobs.Shutdown(std::chrono::milliseconds(300));
    EXPECT_LT(took.elapsed(), 5000);
    EXPECT_FALSE(jobs.IsRecording());
    EXPECT_FALSE(reader.WatchdogFired());
    ASSERT_EQ(reported.size(), 1) << reported.join("; ").toStdString();
    EXPECT_TRUE(reported[0].contains(QString::fromStdString("\"" + fifo + "\" não terminou a tempo")))
        << reported[0].toStdString();
    EXPECT_TRUE(reported[0].contains(QRegularExpression(" [1-9][0-9.]* quadros não chegaram ao arquivo")))
        << reported[0].toStdString();
}

} // namespace

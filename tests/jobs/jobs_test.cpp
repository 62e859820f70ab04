// The recording and the export as jobs, with no window and no port: a
// session filled by hand, as a viewer of a recording would hold one, and
// the files read back. Failures go to the reporter the jobs are given.
#include "csv_rows.h"
#include "data_jobs.h"
#include "exception.h"
#include "scratch_dir.h"
#include "session.h"
#include "same_lines.h"
#include "session_export.h"

#include <QSignalSpy>
#include <QStringList>
#include <QTest>

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
    jobs.StopRecording();
    EXPECT_FALSE(jobs.IsRecording());
    EXPECT_EQ(jobs.RecordingState().Rows, 5050u);
    EXPECT_EQ(ReadFile(dir.File("gravacao.csv")), Rows(100, 5150));
    ASSERT_GE(states.count(), 3); // started, rows, stopped
    EXPECT_TRUE(states.first()[0].value<TRecordingState>().Active);
    EXPECT_FALSE(states.last()[0].value<TRecordingState>().Active);

    ExportAndWait(dir.File("exportado.csv"));
    EXPECT_EQ(ReadFile(dir.File("exportado.csv")), Rows(0, 5150));
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
    jobs.StopRecording();
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
    EXPECT_EQ(jobs.Export(), nullptr);
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
    QTest::qWait(2 * TRecorder::FlushIntervalMs);
    EXPECT_EQ(reported.size(), 1);
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

} // namespace

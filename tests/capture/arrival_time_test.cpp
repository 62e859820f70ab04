// The time each frame arrived, from capture on a pseudo-terminal: the line
// settings in force at each opening, the openings kept, and a recording's
// tempo_s for a stream paced as a 9600-baud device through a USB adapter.
#include "capture_fixture.h"
#include "csv_rows.h"
#include "data_jobs.h"
#include "scratch_dir.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

TEST(LineTiming, ABytesTimeCountsEveryBitOfIt)
{
    struct TCase {
        qint32 Baud;
        QSerialPort::DataBits Data;
        QSerialPort::Parity Parity;
        QSerialPort::StopBits Stop;
        std::int64_t HalfBits;
    };
    const TCase cases[] = {
        {9600, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop, 20},
        {115200, QSerialPort::Data8, QSerialPort::EvenParity, QSerialPort::TwoStop, 24},
        {1200, QSerialPort::Data7, QSerialPort::OddParity, QSerialPort::OneAndHalfStop, 21},
        {300, QSerialPort::Data5, QSerialPort::MarkParity, QSerialPort::OneStop, 16},
        {4000000, QSerialPort::Data6, QSerialPort::SpaceParity, QSerialPort::TwoStop, 20},
    };
    for (const TCase& c : cases) {
        TSerialSettings settings;
        settings.BaudRate = c.Baud;
        settings.DataBits = c.Data;
        settings.Parity = c.Parity;
        settings.StopBits = c.Stop;
        const TLineTiming line = LineTimingOf(settings);
        EXPECT_EQ(line.HalfBits, c.HalfBits) << c.Baud;
        EXPECT_EQ(line.Baud, c.Baud);
    }
    EXPECT_EQ(LineTimingOf(TSerialSettings{}).UsFor(3), 3125);
}

class ArrivalTimeTest : public TCaptureFixture {};

TEST_F(ArrivalTimeTest, EveryOpeningIsKeptWithItsLine)
{
    UseNewPty();
    capture.Start();
    TStreamBuilder builder(TStreamOptions{});
    std::vector<uint8_t> bytes;
    builder.Build(30, bytes, nullptr);
    Send(bytes);
    ASSERT_TRUE(WaitForFrames(30));
    capture.Stop();
    writer.Stop();
    TSerialSettings faster = capture.Settings();
    faster.BaudRate = 115200;
    capture.SetSettings(faster);
    capture.Start();

    const std::vector<TOpening>& openings = capture.Session().Openings();
    ASSERT_EQ(openings.size(), 2u);
    EXPECT_EQ(openings[0].Frame, 0u);
    EXPECT_EQ(openings[0].TimeUs, 0);
    EXPECT_EQ(openings[1].Frame, 30u);
    EXPECT_EQ(openings[1].Points[axX] + openings[1].Points[axY] + openings[1].Points[axZ], 30);
    EXPECT_GE(openings[1].TimeUs, capture.Session().TimeUs(axX, 9));
    EXPECT_EQ(capture.Session().Log().Times().LineAt(0), (TLineTiming{20, 9600}));
    EXPECT_EQ(capture.Session().Log().Times().LineAt(30), (TLineTiming{20, 115200}));
}

// Microseconds of a row's tempo_s.
std::int64_t RowTimeUs(const std::string& row)
{
    const std::size_t point = row.find('.');
    return std::stoll(row.substr(0, point)) * 1000000 + std::stoll(row.substr(point + 1, 6));
}

TEST_F(ArrivalTimeTest, ARecordingOfAPacedStreamHasEvenlySpacedTimes)
{
    // 320 frames a second, as the device at 9600 baud, handed over every
    // 16 ms in one piece as a USB adapter does: about five frames a read.
    TScratchDir dir;
    TDataJobs jobs(capture.Session(), [this](const std::string& m) { reported << QString::fromStdString(m); });
    UseNewPty();
    capture.Start();
    const std::string file = dir.File("paced.csv");
    jobs.StartRecording(QString::fromStdString(file));
    TStreamBuilder builder(TStreamOptions{});
    std::vector<uint8_t> bytes;
    constexpr int Frames = 480;
    builder.Build(Frames, bytes, nullptr);
    writer.Start(pty->Master(), bytes, 960, 0.016);
    ASSERT_TRUE(WaitForFrames(Frames, 20000));
    jobs.StopRecording();
    // The file's own thread writes the last rows and renames it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !jobs.Writing(); }, 20000));

    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    ASSERT_EQ(line + "\n", std::string(CsvHeader));
    std::vector<std::int64_t> times;
    while (std::getline(in, line))
        times.push_back(RowTimeUs(line));
    ASSERT_EQ(times.size(), std::size_t(Frames));
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    std::vector<std::int64_t> gaps;
    for (std::size_t k = 1; k < times.size(); ++k)
        gaps.push_back(times[k] - times[k - 1]);
    // Within a read exactly a frame's line time; between reads about it,
    // as late as the read came after its last byte.
    std::vector<std::int64_t> sorted = gaps;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    EXPECT_EQ(sorted[sorted.size() / 2], 3125);
    const double mean = double(times.back() - times.front()) / double(times.size() - 1);
    EXPECT_NEAR(mean, 3125, 3125 * 0.15);
    const long exact = std::count(gaps.begin(), gaps.end(), 3125);
    EXPECT_GT(exact, long(gaps.size()) / 2);
    EXPECT_TRUE(reported.isEmpty()) << Reported().toStdString();
}

}  // namespace

#pragma once
#include "capture.h"
#include "capture_fixture.h"
#include "data_jobs.h"
#include "paced_writer.h"
#include "pty_pair.h"
#include "stream_builder.h"
#include "tchart.h"
#include "tform2.h"

#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// Messages that the application object would have shown, in order.
extern QStringList g_reported;

// Has the window's serial settings name the pseudo-terminal's device, as
// choosing it in "Config. Serial" would.
inline void UsePty(TForm2& form, const TPtyPair& pty)
{
    TSerialSettings settings = form.Capture().Settings();
    settings.Port = QString::fromStdString(pty.SlavePath());
    form.Capture().SetSettings(settings);
}

// The window, shown, with a pseudo-terminal to play the device on.
class TWindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_reported.clear();
        form = std::make_unique<TForm2>();
        form->show();
    }
    void TearDown() override
    {
        writer.Stop();
        form.reset();
    }

    qint64 TotalPoints() const
    {
        return form->Series1->Count() + form->Series2->Count() + form->Series3->Count();
    }

    void Send(std::vector<uint8_t> bytes) { writer.Start(pty->Master(), std::move(bytes), 0); }

    bool WaitForPoints(qint64 total, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return TotalPoints() >= total; }, timeoutMs);
    }

    std::unique_ptr<TForm2> form;
    std::unique_ptr<TPtyPair> pty;
    TPacedWriter writer;
};

// The values of a series, from index from on.
inline std::vector<double> Values(const TFastLineSeries& series, qint64 from = 0)
{
    std::vector<double> out;
    for (qint64 i = from; i < series.Count(); ++i)
        out.push_back(series.YValue(i));
    return out;
}

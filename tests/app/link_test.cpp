// What the window shows of the link: the status line, the lamp's tooltip
// and blinking while capture waits for a device that went away (on real
// pseudo-terminals behind a symbolic link, the way accel-sim --link brings
// it back), and the termination signals' way to the window. Capture's own
// behaviour is checked without a window in tests/capture.
#include "app_test_support.h"
#include "pty_link.h"
#include "device_resolver.h"
#include "link_status.h"
#include "paced_writer.h"
#include "pty_helpers.h"
#include "pty_pair.h"
#include "reconnector.h"
#include "serial_setup_dialog.h"
#include "signal_handling.h"
#include "stream_builder.h"
#include "tchart.h"
#include "tcomled.h"
#include "tcomport.h"
#include "tform2.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <termios.h>
#include <unistd.h>

namespace {

class LinkTest : public TWindowFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        link = dir.filePath(QStringLiteral("acelerometro"));
        TWindowFixture::SetUp();
    }

    // A device on a new pty, at the same path as the one before, linked as
    // accel-sim --link links it: the link is re-pointed in one step.
    void DeviceAppears()
    {
        pty = std::make_unique<TPtyPair>(false);
        deviceLink = std::make_unique<TPtyLink>(QFile::encodeName(link).toStdString(), pty->SlavePath());
    }

    // The device goes away: its pty closes, and (as accel-sim does on exit)
    // the link with it.
    void DeviceGoesAway()
    {
        writer.Stop();
        pty->CloseMaster();
        deviceLink.reset();
    }

    bool Waiting() const { return form->Capture().State() == TCapture::TState::Waiting; }

    void UseLink(bool reconnect)
    {
        TSerialSettings s = form->Capture().Settings();
        s.Port = link;
        s.Reconnect = reconnect;
        form->Capture().SetSettings(s);
    }

    // What the status line shows once it has caught up with the receiver.
    QString CaughtUpStatus()
    {
        const auto caughtUp = [&] {
            return form->LinkMonitor().Shown().Counters.BytesRead == form->Capture().Receiver().Counters().BytesRead;
        };
        EXPECT_TRUE(QTest::qWaitFor(caughtUp, 2000));
        return form->StatusLine->text();
    }

    QTemporaryDir dir;
    QString link;
    std::unique_ptr<TPtyLink> deviceLink;
};

TEST_F(LinkTest, StatusLineSitsInTheFreeStripBelowTheChart)
{
    const QRect line = form->StatusLine->geometry();
    EXPECT_GE(line.top(), form->Chart1->geometry().bottom() + 1);
    EXPECT_LE(line.bottom(), form->height() - 1);
    EXPECT_TRUE(form->StatusLine->isVisible());
    for (QWidget* w : {static_cast<QWidget*>(form->Chart1), static_cast<QWidget*>(form->ComLed1),
                       static_cast<QWidget*>(form->Button1), static_cast<QWidget*>(form->Button2),
                       static_cast<QWidget*>(form->Button3)})
        EXPECT_FALSE(line.intersects(w->geometry())) << w->objectName().toStdString();
    EXPECT_EQ(form->StatusLine->text(),
              "Quadros: 0 · falhas: 0,0% · bytes ignorados: 0 · 0 quadros/s\nPorta fechada");
    EXPECT_TRUE(form->ComLed1->toolTip().contains("9600 baud, 8N1, sem controle de fluxo")) << form->ComLed1->toolTip().toStdString();
}

// Frames with known failing checks and junk, and a frame cut short that the
// next opening drops: the counters and what the line says follow them.
TEST_F(LinkTest, CountersFollowAStreamWithFailuresAndJunk)
{
    DeviceAppears();
    UseLink(false);
    form->Button2->click();
    ASSERT_TRUE(form->ComPort1->Connected());

    TStreamBuilder builder(FaultyStream(11));
    std::vector<uint8_t> bytes;
    builder.Build(12345, bytes);
    bytes.insert(bytes.end(), {0x7A, 0x04}); // a frame cut short
    Send(bytes);
    ASSERT_TRUE(WaitForPoints(12345));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Capture().Receiver().Counters().BytesRead == bytes.size(); }));

    const QString status = CaughtUpStatus();
    const TLinkCounters shown = form->LinkMonitor().Shown().Counters;
    EXPECT_EQ(shown.TotalFrames(), builder.FramesBuilt());
    EXPECT_EQ(shown.FailedChecks, builder.FailingFrames());
    EXPECT_EQ(shown.SkippedBytes, builder.JunkBytes());
    ASSERT_GT(builder.FailingFrames(), 0u);
    ASSERT_GT(builder.JunkBytes(), 0u);
    const QString failures = FormatShare(builder.FailingFrames(), builder.FramesBuilt());
    for (const QString& part :
         {QStringLiteral("Quadros: 12.345"), QStringLiteral("falhas: ") + failures,
          QStringLiteral("bytes ignorados: ") + FormatCount(builder.JunkBytes()),
          QStringLiteral("\nPorta aberta em ") + link + " (" + QString::fromStdString(pty->SlavePath()) + ")"})
        EXPECT_TRUE(status.contains(part)) << part.toStdString() << " in " << status.toStdString();
    const QString tip = form->ComLed1->toolTip();
    EXPECT_TRUE(tip.contains(QStringLiteral("Falhas na verificação: %1 (%2)")
                                 .arg(FormatCount(builder.FailingFrames()), failures)))
        << tip.toStdString();
    EXPECT_TRUE(tip.contains("9600 baud, 8N1")) << tip.toStdString();

    // The rate falls to nothing once the stream stops.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->StatusLine->text().contains(" 0 quadros/s"); }, 5000))
        << form->StatusLine->text().toStdString();

    // Para, then Inicia: the frame cut short is dropped, and counts as skipped.
    form->Button3->click();
    EXPECT_TRUE(form->StatusLine->text().endsWith("\nPorta fechada")) << form->StatusLine->text().toStdString();
    form->Button2->click();
    EXPECT_EQ(form->LinkMonitor().Shown().Counters.SkippedBytes, builder.JunkBytes() + 2);
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

TEST_F(LinkTest, FramesPerSecondShowWhileTheDeviceSends)
{
    DeviceAppears();
    UseLink(false);
    form->Button2->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    TStreamBuilder builder;
    writer.Start(
        pty->Master(),
        [&builder](std::vector<uint8_t>& out) {
            builder.Build(16, out);
            return true;
        },
        960.0); // the device's pace at 9600 baud: 320 frames per second
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->LinkMonitor().Shown().FramesPerSecond > 100; }, 5000))
        << form->StatusLine->text().toStdString();
    // Para: a closed port receives nothing, whatever the last second saw.
    form->Button3->click();
    EXPECT_TRUE(form->StatusLine->text().endsWith(" · 0 quadros/s\nPorta fechada"))
        << form->StatusLine->text().toStdString();
    writer.Stop();
}

// While capture waits for the device, the lamp blinks and the line says
// so; once it is back, the lamp is lit and the line says where.
TEST_F(LinkTest, WhileWaitingTheLampBlinksAndTheLineSaysSo)
{
    DeviceAppears();
    UseLink(true);
    form->Button2->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    DeviceGoesAway();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Waiting(); }, 5000));
    EXPECT_TRUE(form->ComLed1->IsWaiting());
    EXPECT_TRUE(form->StatusLine->text().contains("\nAguardando o dispositivo " + link))
        << form->StatusLine->text().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->ComLed1->toolTip().contains("Última tentativa"); }, 2000))
        << form->ComLed1->toolTip().toStdString();
    // Blinking: lit and dark in turn.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->ComLed1->IsLit(); }, 2000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ComLed1->IsLit(); }, 2000));

    DeviceAppears();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->ComPort1->Connected(); }, 5000));
    EXPECT_FALSE(form->ComLed1->IsWaiting());
    EXPECT_TRUE(form->ComLed1->IsLit());
    EXPECT_TRUE(form->StatusLine->text().contains("\nPorta aberta em")) << form->StatusLine->text().toStdString();
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

// Para, or unticking reconnection in Config. Serial, ends the waiting: the
// lamp is dark and stays so.
TEST_F(LinkTest, ParaOrUntickingReconnectionEndsTheWaiting)
{
    for (const bool para : {true, false}) {
        SCOPED_TRACE(para ? "Para" : "Config. Serial");
        DeviceAppears();
        UseLink(true);
        form->Button2->click();
        ASSERT_TRUE(form->ComPort1->Connected());
        DeviceGoesAway();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Waiting(); }, 5000));

        if (para) {
            form->Button3->click();
        } else {
            QTimer::singleShot(0, [] {
                auto* dialog = qobject_cast<TSerialSetupDialog*>(QApplication::activeModalWidget());
                ASSERT_NE(dialog, nullptr);
                auto* reconnect = dialog->findChild<QCheckBox*>("reconnectCheck");
                ASSERT_NE(reconnect, nullptr);
                EXPECT_TRUE(reconnect->isChecked());
                reconnect->setChecked(false);
                dialog->accept();
            });
            form->Button1->click();
            EXPECT_FALSE(form->Capture().Settings().Reconnect);
        }
        EXPECT_FALSE(Waiting());
        EXPECT_FALSE(form->ComLed1->IsWaiting());
        EXPECT_FALSE(form->ComLed1->IsLit());
        EXPECT_TRUE(form->StatusLine->text().endsWith("\nPorta fechada"));
        DeviceAppears();
        // Several of the reconnector's looks would have opened it.
        EXPECT_FALSE(QTest::qWaitFor([&] { return form->ComPort1->Connected(); }, 4 * TReconnector::PollMs));
        EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
    }
}

// The status line shows a recording in progress, and its rows.
TEST_F(LinkTest, TheLineShowsARecording)
{
    pty = std::make_unique<TPtyPair>(true);
    UsePty(*form, *pty);
    const QString file = dir.filePath("gravacao.csv");
    form->DataJobs().StartRecording(file);
    form->Button2->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    WriteAll(pty->Master(), BuildStream(300).Bytes);
    ASSERT_TRUE(WaitForPoints(300));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->StatusLine->text().contains("gravando em gravacao.csv (300 linhas)"); }, 2000))
        << form->StatusLine->text().toStdString();
    form->close();
    EXPECT_FALSE(form->DataJobs().IsRecording());
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

TEST(LinkStatus, NumbersAreWrittenTheBrazilianWay)
{
    const std::pair<std::uint64_t, QString> counts[] = {
        {0, "0"}, {999, "999"}, {1000, "1.000"}, {1234567, "1.234.567"}, {12345678901ull, "12.345.678.901"}};
    for (const auto& [count, text] : counts)
        EXPECT_EQ(FormatCount(count), text) << count;

    struct Share { std::uint64_t part, whole; QString text; };
    const Share shares[] = {{0, 0, "0,0%"},      {0, 500, "0,0%"},        {1, 3, "33,3%"},
                            {5, 100, "5,0%"},    {1, 1000000, "<0,1%"},   {1000, 1000, "100,0%"}};
    for (const Share& s : shares)
        EXPECT_EQ(FormatShare(s.part, s.whole), s.text) << s.part << "/" << s.whole;
    EXPECT_EQ(FormatRate(319.6), "320");
    EXPECT_EQ(FormatRate(12345.0), "12.345");
}

TEST(LinkStatus, SaysWhatStateTheLinkIsInAndWithWhatSettings)
{
    TSerialSettings unusual;
    unusual.Port = "COM10";
    unusual.BaudRate = 115200;
    unusual.DataBits = QSerialPort::Data7;
    unusual.Parity = QSerialPort::EvenParity;
    unusual.StopBits = QSerialPort::TwoStop;
    unusual.FlowControl = QSerialPort::HardwareControl;
    unusual.Dtr = true;
    unusual.Reconnect = true;
    EXPECT_EQ(LineDescription(TSerialSettings{}), "9600 baud, 8N1, sem controle de fluxo, DTR desligado, RTS desligado");
    EXPECT_EQ(LineDescription(unusual), "115200 baud, 7E2, controle de fluxo RTS/CTS, DTR ligado, RTS do controle de fluxo");

    struct Case { const char* name; TLinkState state; QString port; QString device; QString says; };
    const Case cases[] = {
        {"closed", TLinkState::Closed, "COM10", "", "Porta fechada"},
        {"open on a udev name", TLinkState::Open, "COM10", "/dev/ttyUSB0", "Porta aberta em COM10 (/dev/ttyUSB0)"},
        {"open on a path", TLinkState::Open, "/dev/pts/4", "/dev/pts/4", "Porta aberta em /dev/pts/4"},
        {"waiting for a name", TLinkState::Waiting, "COM10", "", "Aguardando o dispositivo COM10 (/dev/COM10)"},
        {"waiting for the simulator", TLinkState::Waiting, TDeviceResolver::SimulatedName(), "/dev/pts/9",
         "Aguardando o dispositivo Acelerômetro simulado"},
    };
    TLinkView recording = MakeLinkView({}, TLinkState::Open, unusual, "/dev/ttyUSB0", {});
    recording.Recording = {true, "/home/ana/ensaios/gravacao.csv", 1234567};
    EXPECT_TRUE(StatusLineText(recording).endsWith(" · gravando em gravacao.csv (1.234.567 linhas)"))
        << StatusLineText(recording).toStdString();
    struct RecordingCase { const char* name; TRecordingState state; QString notice; QString says; };
    const RecordingCase recordings[] = {
        {"lagging", {true, "/tmp/pipe", 2600, 45000, false}, {}, " · gravando em pipe (2.600 linhas, 45.000 quadros atrás)"},
        {"stopped, finishing", {false, "/tmp/pipe", 2600, 3000, true}, {},
         " · terminando de gravar pipe (2.600 linhas, 3.000 quadros atrás)"},
        {"done", {false, "/tmp/dados.csv", 12345, 0, false}, "Gravação salva: dados.csv, 12.345 linhas",
         "\nPorta aberta em COM10 (/dev/ttyUSB0) · Gravação salva: dados.csv, 12.345 linhas"},
    };
    for (const RecordingCase& c : recordings) {
        SCOPED_TRACE(c.name);
        TLinkView view = recording;
        view.Recording = c.state;
        view.Notice = c.notice;
        EXPECT_TRUE(StatusLineText(view).endsWith(c.says)) << StatusLineText(view).toStdString();
    }
    EXPECT_TRUE(LampToolTip(recording).contains("Gravação: /home/ana/ensaios/gravacao.csv (1.234.567 linhas)"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TSerialSettings s = unusual;
        s.Port = c.port;
        const TLinkView view = MakeLinkView({}, c.state, s, c.device, "dispositivo não encontrado");
        EXPECT_TRUE(StatusLineText(view).endsWith("\n" + c.says)) << StatusLineText(view).toStdString();
        const QString tip = LampToolTip(view);
        EXPECT_TRUE(tip.startsWith(c.says + "\n")) << tip.toStdString();
        EXPECT_TRUE(tip.contains("115200 baud, 7E2")) << tip.toStdString();
        EXPECT_TRUE(tip.contains("Reconexão automática: ligada")) << tip.toStdString();
        EXPECT_EQ(tip.contains("Última tentativa: dispositivo não encontrado"), c.state == TLinkState::Waiting);
    }
}

TEST(FrameRate, CountsTheFramesOfTheLastSecond)
{
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::uint64_t>> samples; // ms, frames so far
        double perSecond;
    };
    const Case cases[] = {
        {"nothing yet", {}, 0},
        {"one look", {{0, 500}}, 0},
        {"the device's pace", {{0, 0}, {250, 80}, {500, 160}, {750, 240}, {1000, 320}, {1250, 400}, {1500, 480}}, 320},
        {"less than a second so far", {{0, 0}, {250, 80}}, 320},
        {"a burst a while ago", {{0, 0}, {250, 5000}, {500, 5000}, {750, 5000}, {1000, 5000}, {1250, 5000},
                                 {1500, 5000}}, 0},
        {"uneven looks", {{0, 0}, {300, 30}, {520, 52}, {900, 90}, {1210, 121}, {1400, 140}}, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFrameRate rate;
        for (const auto& [ms, frames] : c.samples)
            rate.Sample(std::int64_t(ms) * 1000000, frames);
        EXPECT_NEAR(rate.PerSecond(), c.perSecond, 0.5);
    }
}

// The signal reaches the action through the event loop, once, and the
// handlers that were there come back at once, from the signal handler
// itself: a second signal ends a program whose event loop no longer turns
// (here the previous handler counts the signals it gets).
int g_previousHandlerCalls = 0;
void PreviousHandler(int)
{
    ++g_previousHandlerCalls;
}

TEST(TerminationSignals, ReachTheActionOnceAndGiveTheNextToThePreviousHandler)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        int actions = 0;
        struct sigaction previous {};
        previous.sa_handler = &PreviousHandler;
        sigemptyset(&previous.sa_mask);
        struct sigaction before {};
        ::sigaction(signal, &previous, &before);
        g_previousHandlerCalls = 0;
        {
            TTerminationSignals termination([&] { ++actions; });
            ::raise(signal);
            EXPECT_EQ(actions, 0); // not from inside the handler
            // Before the event loop has turned: the next signal is not ours.
            struct sigaction now {};
            ::sigaction(signal, nullptr, &now);
            EXPECT_EQ(now.sa_handler, &PreviousHandler);
            ::raise(signal);
            EXPECT_EQ(g_previousHandlerCalls, 1);
            ASSERT_TRUE(QTest::qWaitFor([&] { return actions > 0; }, 5000));
            EXPECT_EQ(termination.Received(), signal);
            EXPECT_FALSE(QTest::qWaitFor([&] { return actions > 1; }, 100));
        }
        ::sigaction(signal, &before, nullptr);
    }
}

} // namespace

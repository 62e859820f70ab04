// The main window end to end: its layout, its buttons driving capture, the
// lamp, the chart's series, the dialog, and errors reaching the user, on
// the real port layer and a pseudo-terminal. What capture does by itself
// is checked without a window in tests/capture.
#include "analysis_window.h"
#include "app_test_support.h"
#include "device_resolver.h"
#include "exception.h"
#include "paced_writer.h"
#include "pty_helpers.h"
#include "pty_pair.h"
#include "serial_setup_dialog.h"
#include "stream_builder.h"
#include "tapplication.h"
#include "tchart.h"
#include "tcomled.h"
#include "tcomport.h"
#include "tform2.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <termios.h>

#include <gtest/gtest.h>

#include <memory>

namespace {

class WindowTest : public TWindowFixture {
protected:
    // Points the window's port at a new pseudo-terminal.
    void UseNewPty()
    {
        pty = std::make_unique<TPtyPair>(false);
        UsePty(*form, *pty);
    }

};

} // namespace

TEST_F(WindowTest, IsLaidOutAsDeclared)
{
    EXPECT_EQ(form->windowTitle(), "Form2");
    EXPECT_EQ(form->size(), QSize(616, 366));
    struct Expected { const char* name; QRect geometry; const char* caption; };
    const Expected table[] = {
        {"ComLed1", {56, 65, 25, 25}, nullptr},
        {"Chart1", {152, 56, 400, 250}, nullptr},
        {"Button1", {32, 96, 75, 25}, "Config. Serial"},
        {"Button2", {32, 127, 75, 25}, "Inicia"},
        {"Button3", {32, 158, 75, 25}, "Para"},
    };
    for (const Expected& e : table) {
        auto* w = form->findChild<QWidget*>(e.name);
        ASSERT_NE(w, nullptr) << e.name;
        EXPECT_EQ(w->geometry(), e.geometry) << e.name;
        if (e.caption) {
            EXPECT_EQ(qobject_cast<QPushButton*>(w)->text(), e.caption);
        }
    }
    EXPECT_EQ(form->findChild<TComPort*>("ComPort1"), form->ComPort1);

    // Declared tab order: chart, then the three buttons. The chart is in
    // the chain but is reached by a click only, never by Tab.
    EXPECT_EQ(form->Chart1->focusPolicy(), Qt::ClickFocus);
    QWidget* order[] = {form->Chart1, form->Button1, form->Button2, form->Button3};
    for (int i = 0; i + 1 < 4; ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while (next && (next->focusPolicy() == Qt::NoFocus || order[i]->isAncestorOf(next)))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i + 1]) << i;
    }

    // Nothing grows with the window.
    form->resize(900, 700);
    EXPECT_EQ(form->Chart1->geometry(), QRect(152, 56, 400, 250));
}

TEST_F(WindowTest, KeyboardStartsOnConfigSerialAndTabWalksTheButtons)
{
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(QApplication::focusWidget(), form->Button1);

    struct Step { Qt::Key key; QPushButton* focus; };
    const Step steps[] = {
        {Qt::Key_Tab, form->Button2},
        {Qt::Key_Tab, form->Button3},
        {Qt::Key_Tab, form->Button1}, // round again, past the chart
        {Qt::Key_Backtab, form->Button3},
    };
    for (const Step& s : steps) {
        QTest::keyClick(QApplication::focusWidget(), s.key);
        EXPECT_EQ(QApplication::focusWidget(), s.focus) << s.focus->text().toStdString();
    }

    // A click gives the chart the focus; Tab goes on from its place.
    QTest::mouseClick(form->Chart1->viewport(), Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), form->Chart1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form->Button1);
}

TEST_F(WindowTest, StartsClosedDarkAndEmpty)
{
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_FALSE(form->ComLed1->IsLit());
    EXPECT_EQ(TotalPoints(), 0);
    EXPECT_EQ(form->Capture().Settings().Port, "COM10");
    EXPECT_EQ(form->Capture().Settings().BaudRate, 9600);
    EXPECT_TRUE(form->Capture().Settings() == TSerialSettings{});
}

// Inicia and Para drive capture: the lamp follows it, and what arrives
// reaches the chart's series, which continue after a new start.
TEST_F(WindowTest, IniciaAndParaLightTheLampAndPointsReachTheChart)
{
    UseNewPty();
    form->Button2->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(form->Capture().State(), TCapture::TState::Open);
    EXPECT_TRUE(form->ComLed1->IsLit());

    TStreamBuilder builder(FaultyStream());
    std::vector<uint8_t> bytes;
    TExpectedPoints expected;
    builder.Build(3000, bytes, &expected);
    Send(bytes);
    ASSERT_TRUE(WaitForPoints(3000));
    const TFastLineSeries* series[] = {form->Series1, form->Series2, form->Series3};
    for (int axis = 0; axis < AxisCount; ++axis)
        EXPECT_EQ(Values(*series[axis]), expected.PerAxis[axis]) << axis;

    form->Button3->click();
    EXPECT_EQ(form->Capture().State(), TCapture::TState::Closed);
    EXPECT_FALSE(form->ComLed1->IsLit());
    const qint64 xBefore = form->Series1->Count();
    EXPECT_EQ(TotalPoints(), 3000); // stopping clears nothing

    writer.Stop();
    form->Button2->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    bytes.clear();
    TExpectedPoints more;
    builder.Build(300, bytes, &more);
    Send(bytes);
    ASSERT_TRUE(WaitForPoints(3300));
    EXPECT_EQ(form->Series1->XValue(xBefore), double(xBefore)); // X continues
    EXPECT_EQ(Values(*form->Series1, xBefore), more.PerAxis[axX]);
    EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
}

TEST_F(WindowTest, HangUpClosesThePortOnceAndKeepsThePoints)
{
    UseNewPty();
    form->Button2->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    TBuiltStream stream = BuildStream(600);
    Send(stream.Bytes);
    ASSERT_TRUE(WaitForPoints(600));
    writer.Stop();

    pty->CloseMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ComPort1->Connected(); }, 5000));
    // A flood of errors would show within this.
    EXPECT_FALSE(QTest::qWaitFor([&] { return g_reported.size() > 1; }, 200)) << g_reported.join("; ").toStdString();
    EXPECT_FALSE(form->ComLed1->IsLit());
    ASSERT_EQ(g_reported.size(), 1) << g_reported.join("; ").toStdString();
    EXPECT_EQ(TotalPoints(), 600);

    // Back once the device is back.
    UseNewPty();
    g_reported.clear();
    form->Button2->click();
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_TRUE(g_reported.isEmpty());
}

TEST_F(WindowTest, StartOnAMissingPortShowsTheErrorAndStaysDark)
{
    TSerialSettings settings = form->Capture().Settings();
    settings.Port = "/dev/acelerometro-nao-existe";
    form->Capture().SetSettings(settings);
    form->Button2->click(); // the click handler's error goes to the application object
    ASSERT_EQ(g_reported.size(), 1);
    EXPECT_TRUE(g_reported[0].contains("acelerometro-nao-existe")) << g_reported[0].toStdString();
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_FALSE(form->ComLed1->IsLit());

    form->Button3->click(); // "Para" on a closed port: nothing
    EXPECT_EQ(g_reported.size(), 1);
}

TEST_F(WindowTest, ClosingTheWindowClosesThePort)
{
    UseNewPty();
    form->Button2->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    form->close();
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_TRUE(g_reported.isEmpty());
}

TEST(ProgramEntry, ReportsWhatEscapesStartupAndReturnsZero)
{
    struct Case { const char* name; std::function<void()> steps; QStringList shown; };
    const Case cases[] = {
        {"nothing thrown", [] {}, {}},
        {"Exception", [] { throw Exception("falhou"); }, {"falhou"}},
        {"other std::exception", [] { throw std::runtime_error("outro"); }, {"outro"}},
        {"not an exception", [] { throw 42; }, {""}},
    };
    for (const Case& c : cases) {
        g_reported.clear();
        EXPECT_EQ(RunProgram(*Application, c.steps), 0) << c.name;
        EXPECT_EQ(g_reported, c.shown) << c.name;
    }
}

// "Inicia" twice opens once; "Para" and closing with the port closed do
// nothing; closing the window with the port open closes it.
TEST_F(WindowTest, HandlersDriveThePortAsTheButtonsSay)
{
    UseNewPty();
    QSignalSpy changed(form->ComPort1, &TComPort::connectedChanged);
    form->Button3Click();
    form->FormClose();
    EXPECT_EQ(changed.count(), 0);

    form->Button2Click();
    form->Button2Click();
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(changed.count(), 1);

    form->Button3Click();
    EXPECT_FALSE(form->ComPort1->Connected());
    form->Button2Click();
    form->FormClose();
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_EQ(changed.count(), 4);

    TSerialSettings s = form->Capture().Settings();
    s.Port = "/dev/acelerometro-nao-existe";
    form->Capture().SetSettings(s);
    EXPECT_THROW(form->Button2Click(), Exception);  // the handler lets it reach the caller
    EXPECT_FALSE(form->ComPort1->Connected());
}

// Runs "Config. Serial", acting on the dialog once it is up.
void RunDialog(TForm2& form, const std::function<void(TSerialSetupDialog&)>& act)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TSerialSetupDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen = true;
        act(*dialog);
    });
    form.Button1->click();
    EXPECT_TRUE(seen) << "the dialog was not modal";
}

template <class W>
W* Child(QWidget& parent, const char* name)
{
    W* w = parent.findChild<W*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

TEST_F(WindowTest, SettingsDialogOffersTheSimulatorAndOkAppliesWhatCancelDoesNot)
{
    const auto chooseFastRate = [](TSerialSetupDialog& d) {
        auto* port = Child<QComboBox>(d, "portCombo");
        EXPECT_GE(port->findText(TDeviceResolver::SimulatedName()), 0);
        Child<QComboBox>(d, "baudCombo")->setCurrentText("115200");
        Child<QCheckBox>(d, "dtrCheck")->setChecked(true);
    };
    RunDialog(*form, [&](TSerialSetupDialog& d) {
        chooseFastRate(d);
        d.reject();
    });
    EXPECT_TRUE(form->Capture().Settings() == TSerialSettings{});

    RunDialog(*form, [&](TSerialSetupDialog& d) {
        chooseFastRate(d);
        d.accept();
    });
    EXPECT_EQ(form->Capture().Settings().BaudRate, 115200);
    EXPECT_TRUE(form->Capture().Settings().Dtr);
    EXPECT_EQ(form->Capture().Settings().Port, "COM10");
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_TRUE(g_reported.isEmpty());
}

TEST_F(WindowTest, SettingsChosenWhileOpenTakeEffectAtOnce)
{
    pty = std::make_unique<TPtyPair>(true);
    UsePty(*form, *pty);
    form->Button2->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    RunDialog(*form, [](TSerialSetupDialog& d) {
        Child<QComboBox>(d, "baudCombo")->setCurrentText("57600");
        d.accept();
    });
    EXPECT_TRUE(form->ComPort1->Connected());
    termios t{};
    ASSERT_EQ(tcgetattr(pty->Slave(), &t), 0);
    EXPECT_EQ(cfgetispeed(&t), speed_t(B57600));
    EXPECT_EQ(form->ComPort1->Settings().Port, QString::fromStdString(pty->SlavePath()));
}


// "Análise…" (the menu, or A in the window) opens one analysis window beside
// the main one, over the points in view; the window closing with it while a
// spectrum may still be read leaves nothing behind.
TEST_F(WindowTest, AnaliseOpensOneWindowThatFollowsTheChart)
{
    UseNewPty();
    form->Button2->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    TStreamBuilder builder(FaultyStream());
    std::vector<uint8_t> bytes;
    builder.Build(3000, bytes);
    Send(bytes);
    ASSERT_TRUE(WaitForPoints(3000));

    const auto analyses = [&] { return form->findChildren<TAnalysisWindow*>(Qt::FindDirectChildrenOnly); };
    EXPECT_TRUE(analyses().isEmpty());
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_A);
    ASSERT_EQ(analyses().size(), 1);
    TAnalysisWindow* analysis = analyses().first();
    EXPECT_TRUE(analysis->isVisible());
    EXPECT_TRUE(analysis->isWindow());  // beside the main window, which keeps its layout
    EXPECT_EQ(form->Chart1->geometry(), QRect(152, 56, 400, 250));
    // The menu entry raises the same one.
    form->AnalysisAction()->trigger();
    EXPECT_EQ(analyses(), QList<TAnalysisWindow*>{analysis});

    // It follows a zoom of the main chart.
    form->Chart1->SetView([&] {
        TChartView view = form->Chart1->View();
        view.Whole = view.Following = false;
        view.MinX = 100;
        view.MaxX = 199;
        return view;
    }());
    ASSERT_TRUE(QTest::qWaitFor([&] { return analysis->ShownStats(axX).Count == 100; }, 5000))
        << analysis->ShownStats(axX).Count;
}

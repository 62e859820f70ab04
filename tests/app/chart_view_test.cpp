// The chart's view on the real window: zoom, pan, following, the readout,
// the legend, the context menu and full screen, driven by Qt Test's mouse
// and key events while points arrive through the port on a pty.
#include "accelerometer_chart.h"
#include "app_test_support.h"
#include "chart_image.h"
#include "frame_encoder.h"
#include "paced_writer.h"
#include "pty_pair.h"
#include "tchart.h"
#include "tcomled.h"
#include "tcomport.h"
#include "tform2.h"

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QValueAxis>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// The stream: point i of each axis has a value known from i alone.
int KnownValue(int axis, int i)
{
    switch (axis) {
    case 0:
        return 100 + (i * 7) % 300;
    case 1:
        return 2000 + (i % 2) * 10;
    default:
        return 3000 - i % 50;
    }
}

class ChartViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_reported.clear();
        form = std::make_unique<TForm2>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        pty = std::make_unique<TPtyPair>(false);
        TSerialSettings settings = form->Capture().Settings();
        settings.Port = QString::fromStdString(pty->SlavePath());
        form->Capture().SetSettings(settings);
        form->Button2->click();
        ASSERT_TRUE(form->ComPort1->Connected());
        chart = form->Chart1;
        viewport = chart->viewport();
    }
    void TearDown() override
    {
        writer.Stop();
        form.reset();
        EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
    }

    // Sends the next count frames of each axis and waits until they are
    // points on the chart.
    void Feed(int count)
    {
        std::vector<uint8_t> bytes;
        for (int i = m_sent; i < m_sent + count; ++i) {
            for (int axis = 0; axis < 3; ++axis) {
                const TFrameBytes f = EncodeValidFrame(TAxis(axis), KnownValue(axis, i));
                bytes.insert(bytes.end(), f.begin(), f.end());
            }
        }
        m_sent += count;
        writer.Stop();
        writer.Start(pty->Master(), std::move(bytes), 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->Series3->Count() >= m_sent; }, 10000));
        chart->Flush();
    }

    double AxisMin(Qt::Orientation o) const { return Axis(o)->min(); }
    double AxisMax(Qt::Orientation o) const { return Axis(o)->max(); }
    QValueAxis* Axis(Qt::Orientation o) const
    {
        return qobject_cast<QValueAxis*>(chart->Chart()->axes(o).first());
    }
    QPoint At(double x, double y) const { return chart->WidgetPosition(x, y).toPoint(); }
    double MiddleY() const { return (AxisMin(Qt::Vertical) + AxisMax(Qt::Vertical)) / 2; }

    void Drag(Qt::MouseButton button, QPoint from, QPoint to)
    {
        QTest::mousePress(viewport, button, Qt::NoModifier, from);
        QTest::mouseMove(viewport, (from + to) / 2);
        QTest::mouseMove(viewport, to);
        QTest::mouseRelease(viewport, button, Qt::NoModifier, to);
    }

    void Wheel(QPoint at, int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWheelEvent event(QPointF(at), QPointF(viewport->mapToGlobal(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
    }

    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(chart, Qt::Key(key), modifiers);
    }

    std::unique_ptr<TForm2> form;
    std::unique_ptr<TPtyPair> pty;
    TPacedWriter writer;
    TChart* chart = nullptr;
    QWidget* viewport = nullptr;

private:
    int m_sent = 0;
};

}  // namespace

// A rectangle dragged down and to the right zooms into the range of X and
// of values it covers; dragged up and to the left, back to the whole
// history; double-click too.
TEST_F(ChartViewTest, RectangleZoomsIntoWhatItCoversAndLeftwardsShowsAll)
{
    Feed(3000);
    ASSERT_TRUE(chart->View().Whole);
    EXPECT_EQ(AxisMax(Qt::Horizontal), 3000);
    const QPoint from = At(1000, 2600);
    const QPoint to = At(2000, 1500);
    const QPointF expectedLow = chart->ValueAt(from);
    const QPointF expectedHigh = chart->ValueAt(to + QPoint(1, 1));

    Drag(Qt::LeftButton, from, to);
    TChartView view = chart->View();
    EXPECT_FALSE(view.Whole);
    EXPECT_FALSE(view.Following);
    EXPECT_NEAR(view.MinX, expectedLow.x(), 1e-9);
    EXPECT_NEAR(view.MaxX, expectedHigh.x(), 1e-9);
    EXPECT_NEAR(AxisMin(Qt::Horizontal), expectedLow.x(), 1e-9);
    EXPECT_TRUE(view.ZoomedY);
    EXPECT_NEAR(AxisMax(Qt::Vertical), expectedLow.y(), 1e-9);
    EXPECT_NEAR(AxisMin(Qt::Vertical), expectedHigh.y(), 1e-9);

    // A click is no rectangle: nothing changes.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, At(1500, 2000));
    EXPECT_EQ(chart->View(), view);

    Drag(Qt::LeftButton, At(1800, 1700), At(1200, 2500));
    EXPECT_TRUE(chart->View().Whole);
    EXPECT_FALSE(chart->View().ZoomedY);
    EXPECT_EQ(AxisMin(Qt::Horizontal), 0);
    EXPECT_EQ(AxisMax(Qt::Horizontal), 3000);

    // A rectangle reaching the right end follows the newest points.
    Drag(Qt::LeftButton, At(2500, MiddleY()), At(2999.9, MiddleY()));
    EXPECT_TRUE(chart->View().Following);
    EXPECT_FALSE(chart->View().ZoomedY);  // a flat rectangle keeps the left axis fitted

    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, At(2700, MiddleY()));
    EXPECT_TRUE(chart->View().Whole);
}

// Presses where the scene has no item (Qt Charts' own press handling
// reads the item under the press without looking whether there is one)
// change nothing and do not bring the program down.
TEST_F(ChartViewTest, PressesWhereTheSceneHasNoItemAreHarmless)
{
    Feed(300);
    const TChartView view = chart->View();
    for (const QPoint at : {QPoint(-5, -5), QPoint(viewport->width() + 20, 10), QPoint(10, -30)}) {
        for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
            ASSERT_EQ(chart->itemAt(at), nullptr);
            QTest::mouseClick(viewport, button, Qt::NoModifier, at);
        }
    }
    EXPECT_EQ(chart->View(), view);
}

// The wheel zooms the bottom axis about the cursor (the value under it
// stays put), Ctrl+wheel the left axis; a right drag pans.
TEST_F(ChartViewTest, WheelZoomsAboutTheCursorAndRightDragPans)
{
    Feed(3000);
    const QPoint at = At(1200, MiddleY());
    const double under = chart->ValueAt(at).x();
    Wheel(at, 120);
    EXPECT_FALSE(chart->View().Whole);
    EXPECT_NEAR(AxisMax(Qt::Horizontal) - AxisMin(Qt::Horizontal), 3000 / 1.25, 1e-6);
    EXPECT_NEAR(chart->ValueAt(at).x(), under, 1e-6);
    Wheel(at, 240);
    EXPECT_NEAR(AxisMax(Qt::Horizontal) - AxisMin(Qt::Horizontal), 3000 / 1.25 / 1.25 / 1.25, 1e-6);
    EXPECT_NEAR(chart->ValueAt(at).x(), under, 1e-6);

    const double spanY = AxisMax(Qt::Vertical) - AxisMin(Qt::Vertical);
    Wheel(at, 120, Qt::ControlModifier);
    EXPECT_TRUE(chart->View().ZoomedY);
    EXPECT_NEAR(AxisMax(Qt::Vertical) - AxisMin(Qt::Vertical), spanY / 1.25, 1e-6);

    // Dragging the plot 50 pixels to the right shows what was left of it.
    const double minX = AxisMin(Qt::Horizontal);
    const double perPixel = (AxisMax(Qt::Horizontal) - minX) / chart->PlotArea().width();
    Drag(Qt::RightButton, at, at + QPoint(50, 0));
    EXPECT_NEAR(AxisMin(Qt::Horizontal), minX - 50 * perPixel, 1e-6);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);  // a drag, not a click: no menu

    // Zooming out past the whole history is the whole history.
    Wheel(at, -120 * 20);
    EXPECT_TRUE(chart->View().Whole);
}

// However far the left axis is zoomed out with Ctrl+wheel, and then back
// in far from the data, it stays a range the axis can label: an unbounded
// one once hung the window inside Qt Charts' tick loop.
TEST_F(ChartViewTest, ZoomingTheLeftAxisFarOutStopsAtALimit)
{
    Feed(1000);
    const QRectF plot = chart->PlotArea();
    const QPoint top(int(plot.center().x()), int(plot.top()) + 5);
    const QPoint bottom(int(plot.center().x()), int(plot.bottom()) - 5);
    for (int notch = 0; notch < 300; ++notch)
        Wheel(top, -120, Qt::ControlModifier);
    for (int notch = 0; notch < 300; ++notch)
        Wheel(bottom, 120, Qt::ControlModifier);
    const TChartView view = chart->View();
    EXPECT_TRUE(view.ZoomedY);
    EXPECT_TRUE(std::isfinite(view.MinY) && std::isfinite(view.MaxY));
    EXPECT_GE(view.MaxY - view.MinY, 1);
    EXPECT_LE(std::max(std::fabs(view.MinY), std::fabs(view.MaxY)), 1e12 + 1);
    EXPECT_FALSE(chart->Picture().isNull());
}

// The chart takes the focus on a click; then arrows pan, +/- zoom, Home
// shows everything and End follows the newest points.
TEST_F(ChartViewTest, KeysPanZoomAndJump)
{
    Feed(3000);
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, At(1500, MiddleY()));
    ASSERT_EQ(QApplication::focusWidget(), chart);

    Key(Qt::Key_End);  // from the whole history: the last thousand points
    EXPECT_TRUE(chart->View().Following);
    EXPECT_EQ(AxisMin(Qt::Horizontal), 1999);
    EXPECT_EQ(AxisMax(Qt::Horizontal), 2999);

    Key(Qt::Key_Plus);  // about the right edge while following
    EXPECT_NEAR(AxisMax(Qt::Horizontal) - AxisMin(Qt::Horizontal), 1000 / 1.5, 1e-6);
    EXPECT_EQ(AxisMax(Qt::Horizontal), 2999);
    Key(Qt::Key_Minus);
    EXPECT_NEAR(AxisMax(Qt::Horizontal) - AxisMin(Qt::Horizontal), 1000, 1e-6);

    Key(Qt::Key_Left);
    EXPECT_NEAR(AxisMin(Qt::Horizontal), 1899, 1e-6);
    EXPECT_FALSE(chart->View().Following);
    Key(Qt::Key_Right);
    EXPECT_NEAR(AxisMax(Qt::Horizontal), 2999, 1e-6);
    EXPECT_TRUE(chart->View().Following);

    const double lowY = AxisMin(Qt::Vertical);
    const double spanY = AxisMax(Qt::Vertical) - lowY;
    Key(Qt::Key_Up);
    EXPECT_TRUE(chart->View().ZoomedY);
    EXPECT_NEAR(AxisMin(Qt::Vertical), lowY + spanY * 0.1, 1e-6);

    Key(Qt::Key_Home);
    EXPECT_TRUE(chart->View().Whole);
    EXPECT_FALSE(chart->View().ZoomedY);
}

// A following view keeps its width and slides while points arrive; panned
// away it stays put while capture goes on, and End catches up.
TEST_F(ChartViewTest, FollowsNewPointsFreezesWhenPannedAwayAndEndCatchesUp)
{
    Feed(3000);
    chart->FollowNewest();
    // Slides a few pixels at a time: the newest point within the last step.
    const double step = 1000 * 8 / chart->PlotArea().width();
    Feed(600);
    EXPECT_NEAR(AxisMax(Qt::Horizontal) - AxisMin(Qt::Horizontal), 1000, 1e-6);
    EXPECT_GE(AxisMax(Qt::Horizontal), 3599);
    EXPECT_LT(AxisMax(Qt::Horizontal), 3599 + step);

    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, At(3000, MiddleY()));
    const double followingMin = AxisMin(Qt::Horizontal);
    Key(Qt::Key_Left);
    const double frozenMin = AxisMin(Qt::Horizontal);
    EXPECT_NEAR(frozenMin, followingMin - 100, 1e-6);
    Feed(600);
    EXPECT_EQ(form->Series1->Count(), 4200);  // nothing lost while frozen
    EXPECT_EQ(AxisMin(Qt::Horizontal), frozenMin);
    EXPECT_FALSE(chart->View().Following);

    Key(Qt::Key_End);
    EXPECT_EQ(AxisMax(Qt::Horizontal), 4199);
    EXPECT_NEAR(AxisMax(Qt::Horizontal) - AxisMin(Qt::Horizontal), 1000, 1e-6);
    Feed(100);
    EXPECT_GE(AxisMax(Qt::Horizontal), 4299);
    EXPECT_LT(AxisMax(Qt::Horizontal), 4299 + step);
}

namespace {

// "1.234" as pt-BR writes 1234.
long Parse(const QString& number)
{
    QString digits = number;
    digits.remove(QLatin1Char('.'));
    return digits.toLong();
}

}  // namespace

// Hovering shows a cursor and the values under it: one point when zoomed
// in, the lowest and highest of a column of many, the receive time; moving
// off the plot hides it.
TEST_F(ChartViewTest, ReadoutShowsTheValuesUnderTheCursor)
{
    Feed(3000);
    TChartView view = chart->View();
    view.Whole = false;
    view.MinX = 100;
    view.MaxX = 140;
    chart->SetView(view);
    QTest::mouseMove(viewport, At(120, MiddleY()));
    ASSERT_TRUE(chart->ReadoutVisible());
    const QStringList lines = chart->ReadoutText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 5) << chart->ReadoutText().toStdString();
    EXPECT_EQ(lines[0], "X: 120");
    EXPECT_EQ(lines[1], QString("Eixo X: %1").arg(KnownValue(0, 120)));
    EXPECT_EQ(lines[2], "Eixo Y: 2.000");
    EXPECT_EQ(lines[3], QString("Eixo Z: 2.%1").arg(KnownValue(2, 120) - 2000, 3, 10, QLatin1Char('0')));
    EXPECT_TRUE(QRegularExpression("^t: \\d+,\\d{3} s$").match(lines[4]).hasMatch()) << lines[4].toStdString();

    // Hidden series are left out.
    chart->SetSeriesVisible(1, false);
    QTest::mouseMove(viewport, At(121, MiddleY()));
    EXPECT_FALSE(chart->ReadoutText().contains("Eixo Y"));
    chart->SetSeriesVisible(1, true);

    // The whole history: a column holds several points.
    chart->ShowAll();
    QTest::mouseMove(viewport, At(1500, MiddleY()));
    const QStringList column = chart->ReadoutText().split(QLatin1Char('\n'));
    ASSERT_EQ(column.size(), 5);
    const QRegularExpressionMatch x = QRegularExpression("^X: ([\\d.]+) – ([\\d.]+)$").match(column[0]);
    ASSERT_TRUE(x.hasMatch()) << column[0].toStdString();
    const long first = Parse(x.captured(1));
    const long last = Parse(x.captured(2));
    // The pixel column at the cursor: a few points about X = 1500.
    const double perPixel = 3000 / chart->PlotArea().width();
    EXPECT_NEAR(first, 1500, perPixel + 1);
    EXPECT_GT(last, first);
    EXPECT_LE(last - first, perPixel + 1);
    int low = 4096, high = -1;
    for (long i = first; i <= last; ++i) {
        low = std::min(low, KnownValue(0, int(i)));
        high = std::max(high, KnownValue(0, int(i)));
    }
    EXPECT_EQ(column[1], QString("Eixo X: %1 – %2").arg(low).arg(high));
    EXPECT_EQ(column[2], "Eixo Y: 2.000 – 2.010");
    EXPECT_TRUE(column[4].startsWith("t: ")) << column[4].toStdString();

    // Over the title, outside the plot: gone.
    QTest::mouseMove(viewport, QPoint(chart->width() / 2, 3));
    EXPECT_FALSE(chart->ReadoutVisible());
}

// Clicking a legend entry hides its series and greys the entry; clicking
// again shows it.
TEST_F(ChartViewTest, LegendEntryHidesAndShowsItsSeries)
{
    Feed(2000);
    const QColor orange(0xF3, 0x9C, 0x35);
    auto orangeIn = [&](const QImage& image, bool legend) {
        const QRectF plot = chart->PlotArea();
        QRect box;
        long count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (QColor(image.pixel(x, y)) == orange && (y > plot.bottom() + 12) == legend) {
                    box |= QRect(x, y, 1, 1);
                    ++count;
                }
            }
        }
        return std::make_pair(count, box);
    };
    const QImage before = chart->Picture();
    const auto [lineBefore, unused] = orangeIn(before, false);
    const auto [markerPixels, marker] = orangeIn(before, true);
    ASSERT_GT(lineBefore, 100);
    ASSERT_GT(markerPixels, 0);

    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, marker.center());
    EXPECT_FALSE(chart->SeriesVisible(1));
    const QImage hidden = chart->Picture();
    EXPECT_EQ(orangeIn(hidden, false).first, 0);
    EXPECT_EQ(orangeIn(hidden, true).first, 0);  // the entry stays, greyed
    EXPECT_TRUE(chart->View().Hidden[1]);

    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, marker.center());
    EXPECT_TRUE(chart->SeriesVisible(1));
    EXPECT_EQ(orangeIn(chart->Picture(), false).first, lineBefore);
}

// A right click without dragging opens the menu of view actions, then the
// caller's after a separator.
TEST_F(ChartViewTest, ContextMenuOffersTheViewActionsThenTheCallers)
{
    Feed(3000);
    QAction save(QStringLiteral("Salvar imagem..."));
    chart->AddMenuActions({&save});
    std::unique_ptr<QMenu> menu(chart->CreateContextMenu());
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("|") : action->text());
    const QStringList expected = {
        "Mostrar tudo\tHome", "Acompanhar\tEnd", "Aproximar\t+", "Afastar\t-", "Ajustar eixo vertical",
        "Eixo X em segundos\tT", "|",
        "Eixo X",             "Eixo Y",          "Eixo Z",       "|",          "Tela cheia",            "|",
        // The window's own actions on the session, opening a recording and
        // the analysis, values in g, then the one added here.
        "Gravar…",            "Parar gravação",  "Exportar dados…", "Salvar imagem…", "|",
        "Abrir gravação…", "Análise…", "|",
        "Calibração…", "Valores em g", "Abrir calibração…", "Salvar calibração…", "Salvar imagem...",
    };
    EXPECT_EQ(texts, expected);

    // "Acompanhar" from the menu follows; "Eixo Z" hides the series.
    menu->actions()[1]->trigger();
    EXPECT_TRUE(chart->View().Following);
    menu->actions()[9]->trigger();
    EXPECT_FALSE(chart->SeriesVisible(2));

    QTest::mouseClick(viewport, Qt::RightButton, Qt::NoModifier, At(2500, MiddleY()));
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->actions().first()->text(), "Mostrar tudo\tHome");
    popup->close();
}

// "Tela cheia" (F11) shows the chart alone filling the window until Esc or
// F11; then the window is as declared again.
TEST_F(ChartViewTest, FullScreenShowsTheChartAloneUntilEscOrF11)
{
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    const QRect declared = chart->geometry();
    for (const Qt::Key leave : {Qt::Key_Escape, Qt::Key_F11}) {
        QTest::keyClick(form.get(), Qt::Key_F11);
        ASSERT_TRUE(form->ChartAlone());
        EXPECT_TRUE(chart->FullScreenAction()->isChecked());
        EXPECT_EQ(chart->geometry(), form->rect());
        EXPECT_FALSE(form->Button1->isVisible());
        EXPECT_FALSE(form->ComLed1->isVisible());

        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form.get(), leave);
        EXPECT_FALSE(form->ChartAlone());
        EXPECT_EQ(chart->geometry(), declared);
        EXPECT_TRUE(form->Button1->isVisible());
        EXPECT_TRUE(form->ComLed1->isVisible());
    }
    // Esc means nothing more with the declared layout.
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_FALSE(form->ChartAlone());

    // From the menu too.
    chart->FullScreenAction()->trigger();
    EXPECT_EQ(chart->geometry(), form->rect());
    chart->FullScreenAction()->trigger();
    EXPECT_EQ(chart->geometry(), declared);
}

namespace {

// The height of the title's text: the dark grey pixels (not the lines'
// colours) in the middle third of the top rows.
int TitleHeight(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height() / 8; ++y) {
        for (int x = image.width() / 3; x < image.width() * 2 / 3; ++x) {
            const QColor c = image.pixelColor(x, y);
            const int spread = std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()});
            if (qGray(c.rgb()) < 128 && spread < 16)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box.height();
}

}  // namespace

// A picture saved larger than the chart on screen keeps the screen's
// proportions: its text grows with it instead of staying the screen's
// size in a larger picture.
TEST(ChartImage, ALargerPictureScalesItsTextWithIt)
{
    TSession session;
    for (int i = 0; i < 3000; ++i)
        for (int axis = 0; axis < 3; ++axis)
            session.Append(TAxis(axis), KnownValue(axis, i));
    TChart shown;
    shown.resize(400, 250);
    ApplyAccelerometerChart(shown, session);
    const int onScreen = TitleHeight(shown.Picture());
    ASSERT_GT(onScreen, 4);

    const QString path = QStringLiteral("grafico.png");
    const QImage png = QImage::fromData(DrawChartImage(shown, session, path, QSize(1600, 1000)));
    ASSERT_EQ(png.size(), QSize(1600, 1000));
    EXPECT_GE(TitleHeight(png), 3 * onScreen);
    EXPECT_LE(TitleHeight(png), 5 * onScreen);

    // At the screen's own size the picture is the screen's.
    EXPECT_EQ(TitleHeight(QImage::fromData(DrawChartImage(shown, session, path, shown.size()))), onScreen);
    shown.Watch(nullptr);
}

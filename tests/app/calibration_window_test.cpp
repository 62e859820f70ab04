// Values in g on the real window: the calibration dialog driven with Qt
// Test's mouse and key events over a device laid in its six positions, the
// refusals that change nothing, "Valores em g", and the calibration's file
// saved and opened back.
#include "accelerometer_chart.h"
#include "app_test_support.h"
#include "calibration_actions.h"
#include "calibration_dialog.h"
#include "calibration_file.h"
#include "chart_image.h"
#include "format/brazilian.h"
#include "frame_encoder.h"
#include "scratch_dir.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QValueAxis>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace {

// The part: its own zero and counts per g on each axis, Y mounted upside
// down.
const double PartZero[AxisCount] = {2041, 2056, 2049};
const double PartScale[AxisCount] = {404, -397, 409};
// Points per position: X up, X down, Y up, Y down, Z up, Z down.
constexpr int Stretch = 300;

// Point i of axis: the device at rest in position i / Stretch, with a
// little noise that averages to nothing over five points.
int Reading(int axis, int i)
{
    const int position = i / Stretch;
    double value = PartZero[axis] + (i % 5) - 2;
    if (position / 2 == axis)
        value += (position % 2 == 0 ? 1 : -1) * PartScale[axis];
    return int(value);
}

class CalibrationWindowTest : public TWindowFixture {
protected:
    void SetUp() override
    {
        TWindowFixture::SetUp();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        pty = std::make_unique<TPtyPair>(false);
        UsePty(*form, *pty);
        form->Button2->click();
        ASSERT_TRUE(form->ComPort1->Connected());
        chart = form->Chart1;
        std::vector<uint8_t> bytes;
        for (int i = 0; i < 6 * Stretch; ++i) {
            for (int axis = 0; axis < AxisCount; ++axis) {
                const TFrameBytes f = EncodeValidFrame(TAxis(axis), Reading(axis, i));
                bytes.insert(bytes.end(), f.begin(), f.end());
            }
        }
        Send(std::move(bytes));
        ASSERT_TRUE(WaitForPoints(3 * 6 * Stretch));
        chart->Flush();
    }
    void TearDown() override
    {
        TWindowFixture::TearDown();
        EXPECT_TRUE(g_reported.isEmpty()) << g_reported.join("; ").toStdString();
    }

    QPoint At(double x, double y) const { return chart->WidgetPosition(x, y).toPoint(); }
    QValueAxis* LeftAxis() const { return qobject_cast<QValueAxis*>(chart->Chart()->axes(Qt::Vertical).first()); }
    double MiddleY() const { return (LeftAxis()->min() + LeftAxis()->max()) / 2; }

    // The whole history, then a drag across the quiet middle of position p
    // zooms into it, as the user does.
    void ZoomInto(int position)
    {
        chart->ShowAll();
        const QPoint from = At(position * Stretch + 40, MiddleY());
        const QPoint to = At((position + 1) * Stretch - 40, MiddleY());
        QTest::mousePress(chart->viewport(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(chart->viewport(), (from + to) / 2);
        QTest::mouseMove(chart->viewport(), to);
        QTest::mouseRelease(chart->viewport(), Qt::LeftButton, Qt::NoModifier, to);
        const TChartView view = chart->View();
        ASSERT_FALSE(view.Whole);
        ASSERT_GT(view.MinX, position * Stretch);
        ASSERT_LT(view.MaxX, (position + 1) * Stretch);
    }

    // "Calibração…" from the chart's menu.
    TCalibrationDialog* OpenDialog()
    {
        std::unique_ptr<QMenu> menu(chart->CreateContextMenu());
        for (QAction* action : menu->actions()) {
            if (action->text() == QStringLiteral("Calibração…"))
                action->trigger();
        }
        return form->Calibration().Dialog();
    }

    // The value the readout gives for a series at point x, zoomed in so
    // that the cursor's column holds that point alone.
    double ReadoutAt(double x, const QString& series)
    {
        QTest::mouseMove(chart->viewport(), At(x, MiddleY()));
        for (const QString& line : chart->ReadoutText().split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch m
                = QRegularExpression(QStringLiteral("^%1: (-?\\d+,\\d+) g$").arg(series)).match(line);
            if (m.hasMatch())
                return BrazilianLocale().toDouble(m.captured(1));
        }
        ADD_FAILURE() << chart->ReadoutText().toStdString();
        return NAN;
    }

    TChart* chart = nullptr;
};

TEST_F(CalibrationWindowTest, CalibratesInTheSixPositionsThroughTheDialog)
{
    // Before any calibration the window is as it always was.
    EXPECT_EQ(LeftAxis()->titleText(), QString());
    EXPECT_FALSE(form->Calibration().ValuesInGAction()->isEnabled());

    TCalibrationDialog* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    for (int position = 0; position < 6; ++position) {
        SCOPED_TRACE(position);
        // The chart takes the zoom while the dialog is open.
        ZoomInto(position);
        const TAxis axis = TAxis(position / 2);
        const bool up = position % 2 == 0;
        QTest::mouseClick(dialog->MeasureButton(axis, up), Qt::LeftButton);
        EXPECT_TRUE(dialog->MeanText(axis, up).startsWith(QStringLiteral("média "))) << dialog->MeanText(axis, up).toStdString();
    }
    // Each row shows what its two means give, before anything applies.
    for (int a = 0; a < AxisCount; ++a) {
        SCOPED_TRACE(a);
        EXPECT_NEAR(*ParseTypedNumber(dialog->ZeroField(TAxis(a))->text()), PartZero[a], 0.02);
        EXPECT_NEAR(*ParseTypedNumber(dialog->ScaleField(TAxis(a))->text()), PartScale[a], 0.02);
    }
    EXPECT_EQ(LeftAxis()->titleText(), QString());
    EXPECT_FALSE(form->Calibration().Current());

    QTest::mouseClick(dialog->ApplyButton(), Qt::LeftButton);
    ASSERT_TRUE(form->Calibration().Current());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(LeftAxis()->titleText(), QStringLiteral("Aceleração (g)"));
    EXPECT_TRUE(form->Calibration().ValuesInGAction()->isChecked());
    for (int a = 0; a < AxisCount; ++a)
        EXPECT_NEAR(form->Calibration().Current()->at(std::size_t(a)).CountsPerG, PartScale[a], 0.02);

    // At rest, the axis up reads 1 g and the others 0 g, a count of noise
    // aside; the axis down -1 g.
    for (int position = 0; position < 6; ++position) {
        SCOPED_TRACE(position);
        TChartView view = chart->View();
        view.Whole = false;
        view.MinX = position * Stretch + 100;
        view.MaxX = position * Stretch + 140;
        chart->SetView(view);
        for (int a = 0; a < AxisCount; ++a) {
            const double expected = position / 2 == a ? (position % 2 == 0 ? 1 : -1) : 0;
            EXPECT_NEAR(ReadoutAt(position * Stretch + 122, QStringLiteral("Eixo %1").arg(QChar('X' + a))), expected,
                        0.01);
        }
    }
    QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->Calibration().Dialog() == nullptr; }, 5000));

    // "Valores em g" off: counts, the axis saying so; on again: g.
    form->Calibration().ValuesInGAction()->trigger();
    EXPECT_EQ(LeftAxis()->titleText(), QStringLiteral("Contagens"));
    QTest::mouseMove(chart->viewport(), At(5 * Stretch + 122, MiddleY()));
    EXPECT_TRUE(chart->ReadoutText().contains(QStringLiteral("Eixo Z: ") + FormatNumber(Reading(2, 5 * Stretch + 122))))
        << chart->ReadoutText().toStdString();
    form->Calibration().ValuesInGAction()->trigger();
    EXPECT_EQ(LeftAxis()->titleText(), QStringLiteral("Aceleração (g)"));
}

// Two equal means, a scale typed as 0 or a field that is not a number are
// refused with a message, and nothing changes.
TEST_F(CalibrationWindowTest, RefusesWhatGivesNoScaleAndChangesNothing)
{
    TCalibrationDialog* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    ZoomInto(4);  // Z up: X lies at its zero, up or down alike
    QTest::mouseClick(dialog->MeasureButton(axX, true), Qt::LeftButton);
    QTest::mouseClick(dialog->MeasureButton(axX, false), Qt::LeftButton);
    ASSERT_EQ(g_reported.size(), 1);
    EXPECT_TRUE(g_reported.first().contains(QStringLiteral("eixo X: as médias de +1 g e de −1 g são iguais")))
        << g_reported.first().toStdString();
    EXPECT_EQ(dialog->ZeroField(axX)->text(), QString());
    EXPECT_EQ(dialog->ScaleField(axX)->text(), QString());
    g_reported.clear();

    struct TCase {
        const char* Scale;
        const char* Says;
    };
    const TCase cases[] = {
        {"0", "As contagens por g do eixo Y são 0"},
        {"0,0", "As contagens por g do eixo Y são 0"},
        {"quatrocentos", "As contagens por g do eixo Y não são um número: \"quatrocentos\""},
        {"", "Faltam as contagens por g do eixo Y"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Scale);
        for (int a = 0; a < AxisCount; ++a) {
            for (QLineEdit* field : {dialog->ZeroField(TAxis(a)), dialog->ScaleField(TAxis(a))}) {
                field->clear();
                QTest::keyClicks(field, field == dialog->ScaleField(axY) ? QString::fromUtf8(c.Scale) : QStringLiteral("400,5"));
            }
        }
        QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
        ASSERT_EQ(g_reported.size(), 1);
        EXPECT_TRUE(g_reported.first().contains(QString::fromUtf8(c.Says))) << g_reported.first().toStdString();
        g_reported.clear();
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_FALSE(form->Calibration().Current());
        EXPECT_EQ(LeftAxis()->titleText(), QString());
    }
    // Typed with a point or a comma, and negative for a part upside down.
    dialog->ScaleField(axY)->clear();
    QTest::keyClicks(dialog->ScaleField(axY), QStringLiteral("-397.5"));
    QTest::mouseClick(dialog->ApplyButton(), Qt::LeftButton);
    ASSERT_TRUE(form->Calibration().Current());
    EXPECT_EQ(form->Calibration().Current()->at(axY), (TAxisCalibration{400.5, -397.5}));
    EXPECT_EQ(form->Calibration().Current()->at(axZ), (TAxisCalibration{400.5, 400.5}));
}

// The calibration is saved only where asked, in the file's format, and
// opened back; a bad file is refused with a message and changes nothing.
TEST_F(CalibrationWindowTest, SavesAndOpensTheCalibrationFile)
{
    TScratchDir dir;
    TCalibrationActions& calibration = form->Calibration();
    EXPECT_FALSE(calibration.Actions()[3]->isEnabled());  // nothing to save yet
    const TCalibration made = {{{2041.25, 404.125}, {2056, -397}, {2049.0625, 409}}};
    calibration.Apply(made);
    EXPECT_TRUE(calibration.Actions()[3]->isEnabled());

    const QString path = QString::fromStdString(dir.File("calibracao.txt"));
    QString asked = path;
    calibration.SetFileAskers([&](QWidget*) { return asked; }, [&](QWidget*) { return asked; });
    QSignalSpy saved(&calibration, &TCalibrationActions::saved);
    calibration.Actions()[3]->trigger();  // "Salvar calibração…"
    ASSERT_TRUE(saved.wait(5000));
    EXPECT_EQ(ReadFile(path.toStdString()), FormatCalibration(made));
    EXPECT_TRUE(form->StatusLine->text().contains(QStringLiteral("Calibração salva: calibracao.txt")))
        << form->StatusLine->text().toStdString();

    // A file the window cannot write there is said at once.
    asked = QString::fromStdString(dir.File("pasta-que-nao-existe/c.txt"));
    calibration.Actions()[3]->trigger();
    ASSERT_EQ(g_reported.size(), 1);
    EXPECT_TRUE(g_reported.first().contains(QStringLiteral("pasta-que-nao-existe"))) << g_reported.first().toStdString();
    g_reported.clear();

    // Bad files: each one said, the calibration as it was.
    calibration.SetValuesInG(false);
    const std::pair<const char*, const char*> bad[] = {
        {"eixo zero_contagens contagens_por_g\nx 1 2\ny 1 2\n", "falta a linha do eixo Z"},
        {"eixo zero_contagens contagens_por_g\nx 1 2\ny 1 0\nz 1 2\n", "as contagens por g do eixo Y são 0"},
        {"eixo zero_contagens contagens_por_g\nx 1 2\ny nan 2\nz 1 2\n", "o zero não é um número"},
        {"x 1 2\n", "linha 1: esperado o cabeçalho"},
    };
    for (const auto& [text, says] : bad) {
        SCOPED_TRACE(says);
        asked = QString::fromStdString(dir.File("ruim.txt"));
        std::ofstream(asked.toStdString()) << text;
        calibration.Actions()[2]->trigger();  // "Abrir calibração…"
        ASSERT_EQ(g_reported.size(), 1);
        EXPECT_TRUE(g_reported.first().contains(QString::fromUtf8(says))) << g_reported.first().toStdString();
        EXPECT_TRUE(g_reported.first().contains(QStringLiteral("ruim.txt")));
        g_reported.clear();
        EXPECT_EQ(*calibration.Current(), made);
        EXPECT_FALSE(calibration.ValuesInG());
    }

    // The good one, opened in a fresh window: values in g at once.
    form.reset();
    form = std::make_unique<TForm2>();
    form->Calibration().SetFileAskers([&](QWidget*) { return path; }, nullptr);
    form->Calibration().Actions()[2]->trigger();
    ASSERT_TRUE(form->Calibration().Current());
    EXPECT_EQ(*form->Calibration().Current(), made);
    EXPECT_TRUE(form->Calibration().ValuesInG());
    EXPECT_EQ(qobject_cast<QValueAxis*>(form->Chart1->Chart()->axes(Qt::Vertical).first())->titleText(),
              QStringLiteral("Aceleração (g)"));
}

// A picture of the chart in g shows it in g as the screen does.
TEST(CalibratedChartImage, ShowsTheValuesInG)
{
    TSession session;
    for (int i = 0; i < 6 * Stretch; ++i)
        for (int axis = 0; axis < AxisCount; ++axis)
            session.Append(TAxis(axis), Reading(axis, i));
    TChart shown;
    shown.resize(640, 400);
    ApplyAccelerometerChart(shown, session);
    const QImage inCounts = shown.Picture();
    TValueScale scale;
    scale.Maps = {{PartZero[0], PartScale[0]}, {PartZero[1], PartScale[1]}, {PartZero[2], PartScale[2]}};
    scale.Unit = QStringLiteral("g");
    scale.AxisTitle = QStringLiteral("Aceleração (g)");
    scale.Step = 0.0025;
    shown.SetValueScale(scale);
    const QImage inG = shown.Picture();
    EXPECT_NE(inG, inCounts);

    const QImage picture = QImage::fromData(DrawChartImage(shown, session, QStringLiteral("grafico.png"), shown.size()));
    EXPECT_EQ(picture.convertToFormat(inG.format()), inG);
    shown.Watch(nullptr);
}

}  // namespace

#include "calibration_dialog.h"

#include "exception.h"
#include "format/brazilian.h"
#include "range_stats.h"
#include "seconds_x.h"
#include "session.h"
#include "tchart.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

// A field keeps the exact number it was given with its text: applied
// untouched, it is that number, not its rounded text.
const char* const ExactValue = "exactValue";
const char* const ExactText = "exactText";
// A mean as the dialog shows it, next to its button; a field shows more.
constexpr int MeanDecimals = 2;
const QString NoMean = QStringLiteral("sem medida");

QString AxisTitle(TAxis axis)
{
    return QStringLiteral("Eixo %1").arg(QLatin1String(AxisName(axis)));
}

}  // namespace

std::optional<double> ParseTypedNumber(const QString& typed)
{
    const QString text = typed.trimmed();
    bool ok = false;
    const double value = text.contains(QLatin1Char(','))
        ? BrazilianLocale().toDouble(text, &ok)
        : QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString TypedNumberText(double value, int decimals)
{
    QLocale locale = BrazilianLocale();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    QString text = locale.toString(value, 'f', decimals);
    // "409,6000" reads as "409,6", "2048,0000" as "2048".
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char(',')))
        text.chop(1);
    return text == QStringLiteral("-0") ? QStringLiteral("0") : text;
}

TCalibrationDialog::TCalibrationDialog(TChart& chart, const TSession& session,
                                       const std::optional<TCalibration>& current, TReporter report, QWidget* parent)
    : QDialog(parent), m_chart(&chart), m_session(session), m_report(std::move(report))
{
    setWindowTitle(QStringLiteral("Calibração"));
    setModal(false);
    BuildUi();
    if (current)
        SetCalibration(*current);
}

void TCalibrationDialog::BuildUi()
{
    auto* intro = new QLabel(
        QStringLiteral("Para cada eixo: deixe o dispositivo parado com o eixo apontando para cima, aproxime o "
                       "gráfico desse trecho quieto e clique em \"Esta vista é +1 g\"; depois, com o eixo "
                       "apontando para baixo, em \"Esta vista é −1 g\". A média do eixo nos pontos da vista "
                       "dá o zero e as contagens por g, que também podem ser digitados. Nada muda antes de "
                       "Aplicar ou OK."),
        this);
    intro->setWordWrap(true);

    auto* grid = new QGridLayout;
    const QStringList headers = {QString(), QStringLiteral("+1 g (para cima)"), QStringLiteral("−1 g (para baixo)"),
                                 QStringLiteral("Zero (contagens)"), QStringLiteral("Contagens por g")};
    for (int column = 0; column < headers.size(); ++column)
        grid->addWidget(new QLabel(QStringLiteral("<b>%1</b>").arg(headers[column]), this), 0, column);
    for (int a = 0; a < AxisCount; ++a) {
        const TAxis axis = TAxis(a);
        TRow& row = m_rows[std::size_t(a)];
        row.Up = new QPushButton(QStringLiteral("Esta vista é +1 g"), this);
        row.Down = new QPushButton(QStringLiteral("Esta vista é −1 g"), this);
        // A line of their own from the start: the dialog keeps its size.
        row.UpMean = new QLabel(NoMean, this);
        row.DownMean = new QLabel(NoMean, this);
        row.Zero = new QLineEdit(this);
        row.Scale = new QLineEdit(this);
        row.Up->setObjectName(QStringLiteral("Up%1").arg(QLatin1String(AxisName(axis))));
        row.Down->setObjectName(QStringLiteral("Down%1").arg(QLatin1String(AxisName(axis))));
        row.Up->setToolTip(QStringLiteral("A média deste eixo nos pontos que o gráfico mostra, com o eixo para cima"));
        row.Down->setToolTip(QStringLiteral("A média deste eixo nos pontos que o gráfico mostra, com o eixo para baixo"));
        row.Zero->setToolTip(QStringLiteral("A leitura a 0 g, em contagens (vírgula ou ponto decimal)"));
        row.Scale->setToolTip(QStringLiteral("Contagens por g; negativo para um eixo montado invertido"));
        // No Enter on a field may close the dialog behind the user's back.
        row.Up->setAutoDefault(false);
        row.Down->setAutoDefault(false);
        auto* up = new QVBoxLayout;
        up->addWidget(row.Up);
        up->addWidget(row.UpMean);
        auto* down = new QVBoxLayout;
        down->addWidget(row.Down);
        down->addWidget(row.DownMean);
        grid->addWidget(new QLabel(AxisTitle(axis), this), a + 1, 0);
        grid->addLayout(up, a + 1, 1);
        grid->addLayout(down, a + 1, 2);
        grid->addWidget(row.Zero, a + 1, 3);
        grid->addWidget(row.Scale, a + 1, 4);
        for (const bool isUp : {true, false}) {
            connect(isUp ? row.Up : row.Down, &QPushButton::clicked, this,
                    [this, axis, isUp] { RunReported(m_report, [&] { MeasureView(axis, isUp); }); });
        }
    }

    m_status = new QLabel(QStringLiteral("Os valores entram em uso com Aplicar ou OK."), this);
    m_status->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QDialogButtonBox::Ok);
    m_apply = buttons->addButton(QStringLiteral("Aplicar"), QDialogButtonBox::ApplyRole);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_apply->setAutoDefault(false);
    connect(m_ok, &QPushButton::clicked, this, [this] {
        if (Apply())
            accept();
    });
    connect(m_apply, &QPushButton::clicked, this, &TCalibrationDialog::Apply);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(grid);
    layout->addWidget(m_status);
    layout->addWidget(buttons);
}

QPushButton* TCalibrationDialog::MeasureButton(TAxis axis, bool up) const
{
    return up ? m_rows[axis].Up : m_rows[axis].Down;
}

QString TCalibrationDialog::MeanText(TAxis axis, bool up) const
{
    return (up ? m_rows[axis].UpMean : m_rows[axis].DownMean)->text();
}

void TCalibrationDialog::SetField(QLineEdit* field, double value)
{
    const QString text = TypedNumberText(value);
    field->setText(text);
    field->setProperty(ExactValue, value);
    field->setProperty(ExactText, text);
}

void TCalibrationDialog::SetCalibration(const TCalibration& calibration)
{
    for (int a = 0; a < AxisCount; ++a) {
        SetField(m_rows[std::size_t(a)].Zero, calibration[std::size_t(a)].Zero);
        SetField(m_rows[std::size_t(a)].Scale, calibration[std::size_t(a)].CountsPerG);
    }
}

void TCalibrationDialog::MeasureView(TAxis axis, bool up)
{
    TRow& row = m_rows[axis];
    std::int64_t first = 0;
    std::int64_t last = 0;
    if (m_chart)
        PointsOfView(m_session, axis, m_chart->View(), first, last);
    const TRangeStats stats = ComputeStats(m_session, axis, first, last);
    if (stats.Count == 0)
        throw Exception(QStringLiteral("A vista do gráfico não tem pontos do eixo %1: aproxime o gráfico de um "
                                       "trecho em que o dispositivo estava parado e tente de novo.")
                            .arg(QLatin1String(AxisName(axis)))
                            .toStdString());
    (up ? row.MeanUp : row.MeanDown) = stats.Mean;
    (up ? row.UpMean : row.DownMean)
        ->setText(QStringLiteral("média %1 (%2 pontos)")
                      .arg(TypedNumberText(stats.Mean, MeanDecimals), FormatCount(std::uint64_t(stats.Count))));
    if (!row.MeanUp || !row.MeanDown)
        return;
    const TAxisCalibration found = SixPosition(axis, *row.MeanUp, *row.MeanDown);
    SetField(row.Zero, found.Zero);
    SetField(row.Scale, found.CountsPerG);
    m_status->setText(QStringLiteral("%1: zero %2 contagens, %3 contagens por g. Aplicar ou OK põe em uso.")
                          .arg(AxisTitle(axis), TypedNumberText(found.Zero), TypedNumberText(found.CountsPerG)));
}

TCalibration TCalibrationDialog::Typed() const
{
    TCalibration calibration;
    for (int a = 0; a < AxisCount; ++a) {
        const TRow& row = m_rows[std::size_t(a)];
        const QString name = QLatin1String(AxisName(TAxis(a)));
        auto read = [](const QLineEdit* field, const QString& missing, const QString& notANumber) {
            if (field->text() == field->property(ExactText).toString() && field->property(ExactValue).isValid())
                return field->property(ExactValue).toDouble();
            const std::optional<double> value = ParseTypedNumber(field->text());
            if (!value)
                throw Exception((field->text().trimmed().isEmpty() ? missing : notANumber.arg(field->text().trimmed()))
                                    .toStdString());
            return *value;
        };
        calibration[std::size_t(a)] = {
            read(row.Zero, QStringLiteral("Falta o zero do eixo %1.").arg(name),
                 QStringLiteral("O zero do eixo %1 não é um número: \"%2\".").arg(name, QStringLiteral("%1"))),
            read(row.Scale, QStringLiteral("Faltam as contagens por g do eixo %1.").arg(name),
                 QStringLiteral("As contagens por g do eixo %1 não são um número: \"%2\".").arg(name, QStringLiteral("%1")))};
        CheckCalibration(TAxis(a), calibration[std::size_t(a)]);
    }
    return calibration;
}

bool TCalibrationDialog::Apply()
{
    bool done = false;
    RunReported(m_report, [&] {
        const TCalibration calibration = Typed();
        emit applied(calibration);
        m_status->setText(QStringLiteral("Calibração aplicada: o gráfico mostra valores em g."));
        done = true;
    });
    return done;
}

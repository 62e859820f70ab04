#include "spectrum_plot.h"

#include "analysis_text.h"
#include "exception.h"
#include "file_writer.h"
#include "format/brazilian.h"

#include <QBuffer>
#include <QChart>
#include <QFile>
#include <QGraphicsLayout>
#include <QImage>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QValueAxis>

#include <algorithm>
#include <memory>
#include <cmath>
#include <limits>

namespace {

// The lowest value the dB scale shows below the highest.
constexpr double DecibelSpan = 120;

double Shown(double density, bool decibels)
{
    return decibels ? ToDecibels(density) : density;
}

// Sets the range of axis with ticks at round numbers (1, 2 or 5 times a
// power of ten) from 0, about six of them, with as many decimals as the
// step needs. The range and the step change in the order that never asks
// Qt Charts for more ticks than the old or the new range have (a dB step
// over a linear range would be tens of thousands).
void SetRange(QValueAxis& axis, double minimum, double maximum)
{
    const double span = maximum - minimum;
    const double rough = span > 0 ? span / 6 : 1;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double ratio = rough / power;
    const double step = (ratio < 1.5 ? 1 : ratio < 3.5 ? 2 : ratio < 7.5 ? 5 : 10) * power;
    const int decimals = std::max(0, -int(std::floor(std::log10(step))));
    const QString format = QStringLiteral("%.%1f").arg(decimals);
    const bool stepFirst = axis.tickType() != QValueAxis::TicksDynamic || step > axis.tickInterval();
    if (stepFirst && axis.tickInterval() != step)
        axis.setTickInterval(step);
    if (axis.tickType() != QValueAxis::TicksDynamic) {
        axis.setTickAnchor(0);
        axis.setTickType(QValueAxis::TicksDynamic);
    }
    if (axis.min() != minimum || axis.max() != maximum)
        axis.setRange(minimum, maximum);
    if (axis.tickInterval() != step)
        axis.setTickInterval(step);
    if (axis.labelFormat() != format)
        axis.setLabelFormat(format);
}

}  // namespace

TSpectrumPlot::TSpectrumPlot(QWidget* parent)
    : QChartView(new QChart(), parent), m_axisX(new QValueAxis), m_axisY(new QValueAxis), m_peaks(new QScatterSeries)
{
    QChart* c = chart();
    c->setLocalizeNumbers(true);
    c->setLocale(BrazilianLocale());
    c->setTitle(QStringLiteral("Espectro (Welch)"));
    c->legend()->setAlignment(Qt::AlignBottom);
    c->addAxis(m_axisX, Qt::AlignBottom);
    c->addAxis(m_axisY, Qt::AlignLeft);
    m_peaks->setName(QStringLiteral("Picos"));
    m_peaks->setMarkerSize(9);
    m_peaks->setColor(Qt::black);
    c->addSeries(m_peaks);
    m_peaks->attachAxis(m_axisX);
    m_peaks->attachAxis(m_axisY);
    setRenderHint(QPainter::Antialiasing, false);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setMinimumSize(320, 220);
    // The plot area narrows when the labels widen: the lines are made
    // again for its new number of columns, once the layout is done.
    connect(c, &QChart::plotAreaChanged, this, [this](const QRectF& area) {
        if (int(area.width()) != m_drawnWidth)
            Redraw();
    }, Qt::QueuedConnection);
    Redraw();
}

void TSpectrumPlot::SetCurves(std::vector<TCurve> curves)
{
    m_curves = std::move(curves);
    Redraw();
    SetReadout(QString());
}

void TSpectrumPlot::SetDecibels(bool decibels)
{
    if (decibels == m_decibels)
        return;
    m_decibels = decibels;
    Redraw();
    SetReadout(QString());
}

void TSpectrumPlot::SetUnit(const QString& unit)
{
    if (unit == m_unit)
        return;
    m_unit = unit;
    Redraw();
}

void TSpectrumPlot::Redraw()
{
    QChart* c = chart();
    while (m_lines.size() > m_curves.size()) {
        c->removeSeries(m_lines.back());
        delete m_lines.back();
        m_lines.pop_back();
    }
    while (m_lines.size() < m_curves.size()) {
        auto* line = new QLineSeries;
        c->addSeries(line);
        line->attachAxis(m_axisX);
        line->attachAxis(m_axisY);
        m_lines.push_back(line);
    }
    const int columns = std::max(64, int(c->plotArea().width()));
    m_drawnWidth = int(c->plotArea().width());
    double maxFrequency = 0;
    double top = -std::numeric_limits<double>::infinity();
    double bottom = std::numeric_limits<double>::infinity();
    QString unit = QStringLiteral("Hz");
    QList<QPointF> peaks;
    for (std::size_t i = 0; i < m_curves.size(); ++i) {
        const TCurve& curve = m_curves[i];
        const TSpectrum& s = curve.Spectrum;
        QLineSeries* line = m_lines[i];
        line->setName(curve.Title);
        QPen pen(curve.Color);
        pen.setWidth(1);
        line->setPen(pen);
        QList<QPointF> points;
        const std::size_t bins = s.Density.size();
        if (bins > 0) {
            unit = analysis_text::FrequencyUnit(s.Rate);
            maxFrequency = std::max(maxFrequency, s.Frequency(bins - 1));
            // Every bin while they are few; else per column its lowest and
            // highest, in the order they come.
            const double perColumn = double(bins) / columns;
            if (perColumn <= 2) {
                points.reserve(qsizetype(bins));
                for (std::size_t k = 0; k < bins; ++k)
                    points.append(QPointF(s.Frequency(k), Shown(s.Density[k], m_decibels)));
            } else {
                points.reserve(2 * columns);
                for (int col = 0; col < columns; ++col) {
                    const std::size_t from = std::size_t(col * perColumn);
                    const std::size_t to = std::min(bins, std::size_t((col + 1) * perColumn));
                    if (from >= to)
                        continue;
                    const auto [lo, hi] = std::minmax_element(s.Density.begin() + std::ptrdiff_t(from),
                                                              s.Density.begin() + std::ptrdiff_t(to));
                    const std::size_t a = std::size_t(std::min(lo, hi) - s.Density.begin());
                    const std::size_t b = std::size_t(std::max(lo, hi) - s.Density.begin());
                    points.append(QPointF(s.Frequency(a), Shown(s.Density[a], m_decibels)));
                    if (b != a)
                        points.append(QPointF(s.Frequency(b), Shown(s.Density[b], m_decibels)));
                }
            }
            for (const float d : s.Density) {
                if (d > 0 || !m_decibels) {
                    top = std::max(top, Shown(d, m_decibels));
                    bottom = std::min(bottom, Shown(d, m_decibels));
                }
            }
            if (s.Peak.Found)
                peaks.append(QPointF(s.Peak.Frequency, Shown(s.Peak.Density, m_decibels)));
        }
        line->replace(points);
    }
    m_peaks->replace(peaks);
    for (QLegendMarker* marker : c->legend()->markers(m_peaks))
        marker->setVisible(false);
    if (!std::isfinite(top)) {
        top = m_decibels ? 0 : 1;
        bottom = m_decibels ? -DecibelSpan : 0;
    }
    if (m_decibels) {
        top = std::ceil((top + 1) / 10) * 10;
        bottom = std::max(std::floor(bottom / 10) * 10, top - DecibelSpan);
    } else {
        bottom = 0;
        top = top > 0 ? top * 1.05 : 1;
    }
    if (bottom >= top)
        bottom = top - 10;
    // Each change makes Qt Charts lay the chart out again: only real ones.
    SetRange(*m_axisX, 0, maxFrequency > 0 ? maxFrequency : 0.5);
    SetRange(*m_axisY, bottom, top);
    const QString titleX = QStringLiteral("Frequência (%1)").arg(unit);
    QString titleY;
    if (m_unit.isEmpty())
        titleY = m_decibels ? QStringLiteral("Densidade espectral (dB)")
                            : QStringLiteral("Densidade espectral (contagem²/%1)").arg(unit);
    else
        titleY = m_decibels ? QStringLiteral("Densidade espectral (dB re 1 %1²/%2)").arg(m_unit, unit)
                            : QStringLiteral("Densidade espectral (%1²/%2)").arg(m_unit, unit);
    if (m_axisX->titleText() != titleX)
        m_axisX->setTitleText(titleX);
    if (m_axisY->titleText() != titleY)
        m_axisY->setTitleText(titleY);
}

QString TSpectrumPlot::ReadoutAt(double frequency) const
{
    QStringList parts;
    const TSampleRate* rate = nullptr;
    for (const TCurve& curve : m_curves) {
        const TSpectrum& s = curve.Spectrum;
        if (s.Density.empty() || s.BinWidth <= 0)
            continue;
        const double bin = std::round(frequency / s.BinWidth);
        if (bin < 0 || bin >= double(s.Density.size()))
            continue;
        rate = &s.Rate;
        parts << QStringLiteral("%1: %2").arg(curve.Title, analysis_text::Density(s.Density[std::size_t(bin)], m_decibels));
    }
    if (!rate)
        return QString();
    return analysis_text::Frequency(frequency, *rate) + QStringLiteral(" — ") + parts.join(QStringLiteral("; "));
}

void TSpectrumPlot::SetReadout(const QString& text)
{
    if (text == m_readout)
        return;
    m_readout = text;
    emit ReadoutChanged(text);
}

void TSpectrumPlot::mouseMoveEvent(QMouseEvent* event)
{
    QChartView::mouseMoveEvent(event);
    const QPointF scene = mapToScene(event->position().toPoint());
    const QPointF inChart = chart()->mapFromScene(scene);
    if (!chart()->plotArea().contains(inChart)) {
        SetReadout(QString());
        return;
    }
    SetReadout(ReadoutAt(chart()->mapToValue(inChart).x()));
}

void TSpectrumPlot::leaveEvent(QEvent* event)
{
    QChartView::leaveEvent(event);
    SetReadout(QString());
}

qsizetype TSpectrumPlot::DrawnPoints() const
{
    qsizetype points = 0;
    for (const QLineSeries* line : m_lines)
        points += line->count();
    return points;
}

void TSpectrumPlot::SaveImage(const QString& path, QSize size)
{
    constexpr int MinSide = 16;
    constexpr int MaxSide = 8192;
    if (!size.isValid())
        size = this->size();
    if (size.width() < MinSide || size.height() < MinSide || size.width() > MaxSide || size.height() > MaxSide)
        throw Exception(QStringLiteral("Não foi possível salvar a imagem \"%1\": o tamanho %2x%3 não é aceito "
                                       "(cada lado de %4 a %5 pixels).")
                            .arg(path)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(MinSide)
                            .arg(MaxSide)
                            .toStdString());
    // Another size: a chart of its own, laid out at that size.
    std::unique_ptr<TSpectrumPlot> other;
    TSpectrumPlot* drawn = this;
    if (size != this->size()) {
        other = std::make_unique<TSpectrumPlot>();
        other->SetDecibels(m_decibels);
        other->SetUnit(m_unit);
        other->SetCurves(m_curves);
        // Shown, but not on the screen: only then does it lay itself out.
        other->setAttribute(Qt::WA_DontShowOnScreen);
        other->resize(size);
        other->show();
        other->chart()->layout()->activate();
        other->Redraw();
        drawn = other.get();
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    bool done;
    if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setResolution(logicalDpiX());
        svg.setTitle(chart()->title());
        QPainter painter(&svg);
        painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
        drawn->render(&painter);
        done = painter.end();
    } else {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        drawn->render(&painter);
        painter.end();
        done = image.save(&buffer, "PNG");
    }
    if (!done || bytes.isEmpty())
        throw Exception(QStringLiteral("Não foi possível desenhar a imagem \"%1\".").arg(path).toStdString());
    TFileWriter file(QFile::encodeName(path).toStdString(), TFileWriter::TMode::Replace);
    file.Write(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    file.Close();
}

#include "tchart.h"

#include <QChart>
#include <QCoreApplication>
#include <QFont>
#include <QGraphicsLayout>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QList>
#include <QPen>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

// Range shown by the left axis before any point arrives: a 12-bit reading.
constexpr double EmptyMinimumY = 0;
constexpr double EmptyMaximumY = 4095;

// Widgets at most this tall get the compact look.
constexpr int CompactHeight = 400;

}  // namespace

QColor ColorFromWord(uint32_t colourWord)
{
    return QColor(int(colourWord & 0xFF), int((colourWord >> 8) & 0xFF), int((colourWord >> 16) & 0xFF));
}

QString TFastLineSeries::Title() const
{
    return m_bands.front().Line->name();
}

QColor TFastLineSeries::Color() const
{
    return m_bands.front().Line->pen().color();
}

TChart::TChart(QWidget* parent)
    : QChartView(parent), m_chart(chart()), m_axisX(new QValueAxis), m_axisY(new QValueAxis)
{
    // Lines must be aliased and one pixel wide for the reduced drawing to
    // match a drawing of every point; text stays antialiased.
    setRenderHint(QPainter::Antialiasing, false);
    setRenderHint(QPainter::TextAntialiasing, true);
    setFrameShape(QFrame::NoFrame);

    m_chart->setTheme(QChart::ChartThemeLight);
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->setBackgroundRoundness(0);
    m_chart->setMargins(QMargins(2, 2, 2, 2));
    if (m_chart->layout())
        m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    m_chart->legend()->setVisible(true);
    m_chart->legend()->setAlignment(Qt::AlignBottom);

    for (QValueAxis* axis : {m_axisX, m_axisY}) {
        axis->setLabelFormat("%.0f");
        // Ticks at round multiples, whatever the range.
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(0);
    }
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);
    UpdateFonts();
    UpdateRanges();

    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(FrameIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &TChart::Flush);
    // A new plot area moves the pixel columns: reduce again.
    connect(m_chart, &QChart::plotAreaChanged, this, &TChart::ScheduleFlush);
}

TChart::~TChart()
{
    Watch(nullptr);
}

void TChart::Watch(TSession* session)
{
    if (m_session)
        m_session->CancelNotify(*this);
    m_session = session;
    if (m_session)
        m_session->NotifyOnGrowth(*this);
    ScheduleFlush();
}

void TChart::SessionGrew()
{
    ScheduleFlush();
}

void TChart::SetTitle(const QString& text)
{
    m_chart->setTitle(text);
}

QString TChart::Title() const
{
    return m_chart->title();
}

TFastLineSeries* TChart::AddSeries(const QString& title, uint32_t colourWord, const TSampleStore& values)
{
    m_series.emplace_back(new TFastLineSeries(values));
    TFastLineSeries& series = *m_series.back();
    QPen pen(ColorFromWord(colourWord));
    pen.setWidth(1);
    for (int band = 0; band < BandCount; ++band) {
        auto* line = new QLineSeries;
        line->setName(title);
        m_chart->addSeries(line);  // the chart takes ownership
        line->attachAxis(m_axisX);
        line->attachAxis(m_axisY);
        line->setPen(pen);
        line->setPointsVisible(false);
        line->setPointLabelsVisible(false);
        // The legend names the series once.
        if (band > 0) {
            for (QLegendMarker* marker : m_chart->legend()->markers(line))
                marker->setVisible(false);
        }
        series.m_bands.push_back({line});
    }
    m_remapPending = true;
    ScheduleFlush();
    return &series;
}

void TChart::SetTopAxis(double minimum, double maximum)
{
    m_topMinimum = minimum;
    m_topMaximum = maximum;
}

void TChart::SetReduction(bool enabled)
{
    m_reduction = enabled;
    m_remapPending = true;
    ScheduleFlush();
}

qint64 TChart::DrawnPointCount() const
{
    qint64 total = 0;
    for (const auto& series : m_series)
        for (const auto& band : series->m_bands)
            total += band.Line->count();
    return total;
}

void TChart::ScheduleFlush()
{
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

namespace {

// The smallest of 1, 1.2, 1.5, 2, 2.5, 3, 4, 5, 6, 8 times a power of ten
// that is at least value (value >= 1). The bottom axis grows by these steps
// so that its scale, and with it every pixel column already drawn, stays
// put while points arrive.
double StepCeil(double value)
{
    static const double steps[] = {1, 1.2, 1.5, 2, 2.5, 3, 4, 5, 6, 8, 10};
    double decade = 1;
    while (decade * 10 <= value)
        decade *= 10;
    for (double step : steps) {
        if (step * decade >= value)
            return step * decade;
    }
    return 10 * decade;
}

// The round tick interval (1, 2 or 5 times a power of ten, at least 1)
// nearest to cutting span into count parts.
double TickInterval(double span, int count)
{
    const double raw = std::max(1.0, span / count);
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    double best = decade;
    for (double step : {2.0, 5.0, 10.0}) {
        if (std::fabs(std::log(step * decade / raw)) < std::fabs(std::log(best / raw)))
            best = step * decade;
    }
    return best;
}

// The bottom axis spans at least this many points.
constexpr double MinimumSpanX = 200;

}  // namespace

void TChart::UpdateRanges()
{
    qint64 longest = 0;
    TMinMax values;
    for (const auto& series : m_series) {
        longest = std::max(longest, series->Count());
        values.Include(series->Store().MinMax(0, series->Count()));
    }
    const double maxX = std::max(MinimumSpanX, StepCeil(double(longest - 1)));
    double minY = EmptyMinimumY;
    double maxY = EmptyMaximumY;
    if (!values.Empty()) {
        minY = values.Min;
        maxY = values.Max;
        const double pad = minY < maxY ? (maxY - minY) * 0.04 : 1.0;
        minY -= pad;
        maxY += pad;
    }
    const bool xChanged = m_axisX->min() != 0 || m_axisX->max() != maxX;
    if (xChanged) {
        // Every point moves: drop the drawn points first so Qt Charts does
        // not lay out the old ones again for the new scale.
        ClearBands();
    }
    const int parts = height() <= CompactHeight ? 4 : 8;
    SetAxis(*m_axisX, 0, maxX, TickInterval(maxX, parts));
    SetAxis(*m_axisY, minY, maxY, TickInterval(maxY - minY, parts));
}

void TChart::SetAxis(QValueAxis& axis, double minimum, double maximum, double tickInterval)
{
    // Never let the axis hold a wide range with a narrow interval, even for
    // a moment: it would create a label for every tick.
    const bool widening = tickInterval > axis.tickInterval();
    if (widening)
        axis.setTickInterval(tickInterval);
    if (axis.min() != minimum || axis.max() != maximum)
        axis.setRange(minimum, maximum);
    if (!widening && tickInterval != axis.tickInterval())
        axis.setTickInterval(tickInterval);
}

void TChart::ClearBands()
{
    for (const auto& series : m_series) {
        for (auto& band : series->m_bands) {
            if (band.Line->count() > 0)
                band.Line->clear();
            band.First = band.End = -1;
        }
    }
}

void TChart::Flush()
{
    m_flushTimer.stop();
    // Told of the next append once this flush has taken in the points so far.
    if (m_session)
        m_session->NotifyOnGrowth(*this);
    // A hidden widget gets its resize event only when shown or rendered;
    // the chart must have its final size before the columns are computed.
    if (m_chart->size() != QSizeF(size())) {
        m_chart->resize(QSizeF(size()));
        setSceneRect(QRectF(QPointF(0, 0), QSizeF(size())));
        UpdateFonts();
    }
    UpdateRanges();
    // Settle the layout now so the plot area matches the new axis labels.
    if (m_chart->layout())
        m_chart->layout()->activate();

    const QRectF plot = m_chart->plotArea();
    const double minX = m_axisX->min();
    const double maxX = m_axisX->max();
    // The series items sit at the plot area's top-left corner; the painter
    // adds the chart's own translation in the view.
    const QTransform toDevice = m_chart->sceneTransform() * viewportTransform();
    TColumnMapping mapping;
    mapping.MinX = minX;
    mapping.DeltaX = plot.width() / (maxX - minX);
    mapping.Offset = plot.left() + toDevice.dx();
    const bool remap = m_remapPending || mapping.MinX != m_mapping.MinX || mapping.DeltaX != m_mapping.DeltaX
        || mapping.Offset != m_mapping.Offset;
    m_mapping = mapping;
    m_remapPending = false;

    m_replacedPoints = 0;
    if (!(plot.width() > 0))
        return;
    for (const auto& series : m_series)
        FlushBands(*series, mapping, remap);
}

QImage TChart::Picture()
{
    Flush();
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QWidget::render(&image);
    return image;
}

void TChart::FlushBands(TFastLineSeries& series, const TColumnMapping& mapping, bool remap)
{
    const TSampleStore& store = series.Store();
    const qint64 count = store.Count();
    const qint64 columnLeft = qint64(std::floor(mapping.Offset));
    const qint64 columnSpan = qint64(std::ceil(m_chart->plotArea().width())) + 2;
    QList<QPointF> points;
    qint64 bandFirst = 0;
    for (int b = 0; b < BandCount; ++b) {
        TFastLineSeries::TBand& band = series.m_bands[std::size_t(b)];
        qint64 first;
        qint64 last;
        if (!m_reduction) {
            // Everything in the first band.
            first = b == 0 ? 0 : count;
            last = count;
        } else {
            first = bandFirst;
            const qint64 nextColumn = columnLeft + columnSpan * (b + 1) / BandCount;
            last = b + 1 == BandCount ? count
                                      : FirstIndexAtFixedX(store, mapping, first, count, ColumnStart(nextColumn));
        }
        bandFirst = last;
        const qint64 end = last < count && last > first ? last + 1 : last;  // with the joining point
        if (!remap && band.First == first && band.End == end)
            continue;
        band.First = first;
        band.End = end;
        points.clear();
        if (m_reduction) {
            m_reduced.clear();
            ReduceColumns(store, mapping, first, last, m_reduced);
            if (end > last)
                m_reduced.push_back({double(last), double(store.Value(last))});
            points.reserve(qsizetype(m_reduced.size()));
            for (const TPlotPoint& p : m_reduced)
                points.append(QPointF(p.X, p.Y));
        } else {
            points.reserve(qsizetype(last - first));
            for (qint64 i = first; i < last; ++i)
                points.append(QPointF(double(i), double(store.Value(i))));
        }
        m_replacedPoints += points.size();
        band.Line->replace(points);
    }
}

void TChart::UpdateFonts()
{
    const bool compact = height() <= CompactHeight;
    QFont title = font();
    title.setBold(true);
    title.setPointSizeF(compact ? 9 : 13);
    m_chart->setTitleFont(title);
    QFont labels = font();
    labels.setPointSizeF(compact ? 7 : 9);
    m_axisX->setLabelsFont(labels);
    m_axisY->setLabelsFont(labels);
    QFont legend = font();
    legend.setPointSizeF(compact ? 8 : 10);
    m_chart->legend()->setFont(legend);
}

void TChart::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    UpdateFonts();
    ScheduleFlush();
}

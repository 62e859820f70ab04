#include "tchart.h"

#include <QChart>
#include <QDebug>
#include <QElapsedTimer>
#include <QTime>
#include <QCoreApplication>
#include <QResizeEvent>
#include <QFont>
#include <QGraphicsLayout>
#include <QLegend>
#include <QLineSeries>
#include <QList>
#include <QPen>
#include <QValueAxis>

#include <algorithm>

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
    return m_line->name();
}

QColor TFastLineSeries::Color() const
{
    return m_line->pen().color();
}

void TFastLineSeries::MarkChartDirty()
{
    m_chart->ScheduleFlush();
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
        axis->setTickCount(5);
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

TChart::~TChart() = default;

void TChart::SetTitle(const QString& text)
{
    m_chart->setTitle(text);
}

QString TChart::Title() const
{
    return m_chart->title();
}

TFastLineSeries* TChart::AddSeries(const QString& title, uint32_t colourWord)
{
    auto* line = new QLineSeries;
    line->setName(title);
    m_chart->addSeries(line);  // the chart takes ownership
    line->attachAxis(m_axisX);
    line->attachAxis(m_axisY);
    QPen pen(ColorFromWord(colourWord));
    pen.setWidth(1);
    line->setPen(pen);
    line->setPointsVisible(false);
    line->setPointLabelsVisible(false);
    m_series.emplace_back(new TFastLineSeries(this, &m_dirty, line));
    ScheduleFlush();
    return m_series.back().get();
}

void TChart::SetTopAxis(double minimum, double maximum)
{
    m_topMinimum = minimum;
    m_topMaximum = maximum;
}

void TChart::SetReduction(bool enabled)
{
    m_reduction = enabled;
    ScheduleFlush();
}

void TChart::ScheduleFlush()
{
    m_dirty = true;
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void TChart::UpdateRanges()
{
    qint64 longest = 0;
    TMinMax values;
    for (const auto& series : m_series) {
        longest = std::max(longest, series->Count());
        values.Include(series->Store().MinMax(0, series->Count()));
    }
    const double maxX = longest > 1 ? double(longest - 1) : 1.0;
    double minY = EmptyMinimumY;
    double maxY = EmptyMaximumY;
    if (!values.Empty()) {
        minY = values.Min;
        maxY = values.Max;
        const double pad = minY < maxY ? (maxY - minY) * 0.04 : 1.0;
        minY -= pad;
        maxY += pad;
    }
    if (m_axisX->min() != 0 || m_axisX->max() != maxX)
        m_axisX->setRange(0, maxX);
    if (m_axisY->min() != minY || m_axisY->max() != maxY)
        m_axisY->setRange(minY, maxY);
}

void TChart::Flush()
{
    m_flushTimer.stop();
    m_dirty = false;
    // A hidden widget gets its resize event only when shown or rendered;
    // the chart must have its final size before the columns are computed.
    if (m_chart->size() != QSizeF(size())) {
        m_chart->resize(QSizeF(size()));
        setSceneRect(QRectF(QPointF(0, 0), QSizeF(size())));
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

    m_drawnPoints = 0;
    if (qEnvironmentVariableIsSet("TCHART_DEBUG"))
        qDebug() << "flush" << QTime::currentTime().toString("ss.zzz") << plot << minX << maxX << mapping.DeltaX << mapping.Offset << size() << m_chart->size();
    QList<QPointF> points;
    for (const auto& series : m_series) {
        const TSampleStore& store = series->Store();
        points.clear();
        if (m_reduction && plot.width() > 0) {
            m_reduced.clear();
            ReduceColumns(store, mapping, 0, store.Count(), m_reduced);
            points.reserve(qsizetype(m_reduced.size()));
            for (const TPlotPoint& p : m_reduced)
                points.append(QPointF(p.X, p.Y));
        } else {
            points.reserve(qsizetype(store.Count()));
            for (qint64 i = 0; i < store.Count(); ++i)
                points.append(QPointF(double(i), double(store.Value(i))));
        }
        m_drawnPoints += points.size();
        QElapsedTimer t; t.start();
        series->QtSeries()->replace(points);
        if (qEnvironmentVariableIsSet("TCHART_DEBUG"))
            qDebug() << "replace" << points.size() << t.nsecsElapsed() / 1e6;
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
    m_axisX->setTickCount(compact ? 5 : 9);
    m_axisY->setTickCount(compact ? 5 : 9);
}

void TChart::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    UpdateFonts();
    ScheduleFlush();
}

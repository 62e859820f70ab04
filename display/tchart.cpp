#include "tchart.h"

#include "format/brazilian.h"
#include "line_item.h"

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFont>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QKeyEvent>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QList>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QRubberBand>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace {

// Widgets at most this tall get the compact look.
constexpr int CompactHeight = 400;

// Columns reduced beyond each edge of the plot, past the pixels that the
// clip lets through; the point before them (and the one after) is kept as
// it is, so the lines crossing the edges are the real ones.
constexpr qint64 EdgeColumns = 3;
// Points below which the bands of a flush are reduced on this thread
// alone: a frame of new points, or a view of a few thousand points, takes
// less than waking the helper costs.
constexpr qint64 ParallelPoints = 65536;

// Zoom steps: a wheel notch, a key.
constexpr double WheelZoom = 1.25;
constexpr double KeyZoom = 1.5;
constexpr double KeyPan = 0.1;

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

TChart::TChart(QWidget* parent)
    : QChartView(parent), m_chart(chart()), m_axisX(new QValueAxis), m_axisY(new QValueAxis)
{
    // Lines must be aliased and one pixel wide for the reduced drawing to
    // match a drawing of every point; text stays antialiased.
    setRenderHint(QPainter::Antialiasing, false);
    setRenderHint(QPainter::TextAntialiasing, true);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);

    // The line items change their geometry at every redraw: an index of
    // the scene would be rebuilt each time for a handful of items.
    scene()->setItemIndexMethod(QGraphicsScene::NoIndex);
    m_chart->setTheme(QChart::ChartThemeLight);
    // The theme paints the background with a gradient from white to white.
    // The raster engine fills a gradient span by span, handing large fills
    // to worker threads, at every redraw of the strip where points arrive;
    // plain white is the same picture, filled in one step.
    m_chart->setBackgroundBrush(QBrush(Qt::white));
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->setBackgroundRoundness(0);
    m_chart->setMargins(QMargins(2, 2, 2, 2));
    if (m_chart->layout())
        m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    m_chart->legend()->setVisible(true);
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setLocale(BrazilianLocale());
    m_chart->setLocalizeNumbers(true);

    for (QValueAxis* axis : {m_axisX, m_axisY}) {
        axis->setLabelFormat("%.0f");
        // Ticks at round multiples, whatever the range.
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(0);
    }
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);

    m_fullScreen = new QAction(QStringLiteral("Tela cheia"), this);
    m_fullScreen->setCheckable(true);
    m_fullScreen->setShortcut(QKeySequence(Qt::Key_F11));
    m_fullScreen->setShortcutContext(Qt::WindowShortcut);
    // Esc leaves full screen too, and only then means that.
    connect(m_fullScreen, &QAction::toggled, this, [this](bool on) {
        QList<QKeySequence> keys{QKeySequence(Qt::Key_F11)};
        if (on)
            keys << QKeySequence(Qt::Key_Escape);
        m_fullScreen->setShortcuts(keys);
    });
    addAction(m_fullScreen);

    UpdateFonts();
    UpdateRanges();

    m_flushTimer.setSingleShot(true);
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
    const int index = int(m_series.size()) - 1;
    QPen pen(ColorFromWord(colourWord));
    pen.setWidth(1);
    auto* line = new QLineSeries;
    line->setName(title);
    // Qt Charts makes the series' line item as the series is added: the
    // one child of the chart that was not there before.
    const QList<QGraphicsItem*> before = m_chart->childItems();
    m_chart->addSeries(line);  // the chart takes ownership
    QGraphicsItem* lineItem = nullptr;
    for (QGraphicsItem* item : m_chart->childItems()) {
        if (!before.contains(item))
            lineItem = item;
    }
    if (!lineItem)
        throw std::logic_error("Qt Charts made no item for a line series");
    line->attachAxis(m_axisX);
    line->attachAxis(m_axisY);
    line->setPen(pen);
    line->setPointsVisible(false);
    line->setPointLabelsVisible(false);
    series.m_line = line;
    const QList<QLegendMarker*> markers = m_chart->legend()->markers(line);
    if (!markers.isEmpty()) {
        series.m_marker = markers.first();
        connect(series.m_marker, &QLegendMarker::clicked, this,
                [this, index] { SetSeriesVisible(index, !SeriesVisible(index)); });
    }
    for (int band = 0; band <= BandCount; ++band) {  // the bands and the tail
        TFastLineSeries::TBand entry;
        entry.Item = new TLineItem(lineItem);
        entry.Item->SetPen(line->pen());
        series.m_bands.push_back(std::move(entry));
    }
    m_view.Hidden.resize(m_series.size(), false);
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
            total += band.Item->PointCount();
    return total;
}

void TChart::ScheduleFlush()
{
    if (m_flushTimer.isActive())
        return;
    // About once per frame, and no later: points arriving most of a frame
    // or more after the last redraw are drawn as soon as the event loop has
    // taken in the rest of what arrived with them, in the same wakeup, not
    // in a wakeup of their own a few milliseconds later. A device that
    // sends a packet per frame is so drawn at its own pace, once per
    // packet.
    const qint64 since = m_sinceFlush.isValid() ? m_sinceFlush.elapsed() : FrameIntervalMs;
    const qint64 wait = since >= FrameIntervalMs * 3 / 4 ? 0 : FrameIntervalMs - since;
    m_flushTimer.start(int(wait));
}

qint64 TChart::NewestIndex() const
{
    qint64 longest = 0;
    for (const auto& series : m_series)
        longest = std::max(longest, series->Count());
    return longest - 1;
}

void TChart::UpdateRanges()
{
    const qint64 newest = NewestIndex();
    m_view = Slide(m_view, newest, m_chart->plotArea().width());
    const TSpan x = ShownX(m_view, newest);
    TSpan y{m_view.MinY, m_view.MaxY};
    if (!m_view.ZoomedY) {
        // The points in view of the series shown.
        std::int64_t from = 0;
        std::int64_t to = 0;
        PointsWithin(x, from, to);
        TMinMax values;
        for (std::size_t i = 0; i < m_series.size(); ++i) {
            if (m_view.Hidden[i])
                continue;
            const TSampleStore& store = m_series[i]->Store();
            const qint64 end = std::min<qint64>(to, store.Count());
            if (from < end)
                values.Include(store.MinMax(from, end));
        }
        y = ::FitY(values);
    }

    const int parts = height() <= CompactHeight ? 4 : 8;
    SetAxis(*m_axisX, x.Min, x.Max, TickInterval(x.Width(), parts));
    SetAxis(*m_axisY, y.Min, y.Max, TickInterval(y.Width(), parts));
    m_shownMinX = x.Min;
    m_shownMaxX = x.Max;
    m_shownMinY = y.Min;
    m_shownMaxY = y.Max;
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
    for (const auto& series : m_series)
        ClearBands(*series);
}

void TChart::ClearBands(TFastLineSeries& series)
{
    for (auto& band : series.m_bands) {
        band.Item->Clear();
        band.First = band.End = -1;
        band.Held.clear();
    }
}

void TChart::Flush()
{
    m_flushTimer.stop();
    m_sinceFlush.start();
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
    // The series items sit at the plot area's top-left corner; the painter
    // adds the chart's own translation in the view.
    const QTransform toDevice = m_chart->sceneTransform() * viewportTransform();
    TColumnMapping mapping;
    mapping.MinX = m_shownMinX;
    mapping.DeltaX = plot.width() / (m_shownMaxX - m_shownMinX);
    mapping.Offset = plot.left() + toDevice.dx();
    mapping.MinY = m_shownMinY;
    mapping.DeltaY = plot.height() / (m_shownMaxY - m_shownMinY);
    mapping.Height = plot.height();
    mapping.OffsetY = plot.top() + toDevice.dy();
    // Lines with both ends in the widget are not clipped by the stroker on
    // any device that holds the widget (the window, or an image of it).
    mapping.SafeLeft = 1;
    mapping.SafeTop = 1;
    mapping.SafeRight = width() - 2;
    mapping.SafeBottom = height() - 2;
    const bool remap = m_remapPending || mapping.MinX != m_mapping.MinX || mapping.DeltaX != m_mapping.DeltaX
        || mapping.Offset != m_mapping.Offset || mapping.MinY != m_mapping.MinY || mapping.DeltaY != m_mapping.DeltaY
        || mapping.OffsetY != m_mapping.OffsetY || mapping.SafeRight != m_mapping.SafeRight
        || mapping.SafeBottom != m_mapping.SafeBottom;
    m_mapping = mapping;
    m_remapPending = false;

    m_replacedPoints = 0;
    if (plot != m_itemPlot) {
        m_itemPlot = plot;
        for (const auto& series : m_series)
            for (const auto& band : series->m_bands)
                band.Item->SetPlot(plot.topLeft(), plot.size());
    }
    if (plot.width() > 0 && plot.height() > 0) {
        // The columns reduced: those of the plot and a few beyond each edge.
        const qint64 columnLeft = qint64(std::floor(mapping.Offset)) - EdgeColumns;
        const qint64 columnSpan = qint64(std::ceil(plot.width())) + 2 * EdgeColumns + 1;
        m_bandJobs.clear();
        for (const auto& series : m_series)
            FlushBands(*series, mapping, remap, columnLeft, columnSpan);
        ReduceBands(mapping);
    } else {
        ClearBands();
    }
    if (m_hover.x() >= 0)
        ShowReadout(m_hover);
}

QImage TChart::Picture()
{
    Flush();
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QWidget::render(&image);
    return image;
}

void TChart::FlushBands(TFastLineSeries& series, const TColumnMapping& mapping, bool remap, qint64 columnLeft,
                        qint64 columnSpan)
{
    std::size_t position = 0;
    while (m_series[position].get() != &series)
        ++position;
    if (m_view.Hidden[position]) {
        ClearBands(series);
        return;
    }

    const TSampleStore& store = series.Store();
    const qint64 count = store.Count();
    // The points in view, with the one just outside each edge.
    qint64 begin = 0;
    qint64 end = count;
    if (m_reduction) {
        const qint64 inside = FirstIndexAtFixedX(store, mapping, 0, count, ColumnStart(columnLeft));
        const qint64 insideEnd
            = FirstIndexAtFixedX(store, mapping, inside, count, ColumnStart(columnLeft + columnSpan));
        begin = inside > 0 ? inside - 1 : 0;
        end = std::min(count, insideEnd + 1);
    }
    // The pieces: a band per sixteenth of the columns, then the tail: the
    // column of the newest point, cut from its band so that new points
    // there touch the smallest piece.
    qint64 firsts[BandCount + 1];
    qint64 lasts[BandCount + 1];
    qint64 bandFirst = begin;
    for (int b = 0; b < BandCount; ++b) {
        if (!m_reduction) {
            // Everything in the first band.
            firsts[b] = b == 0 ? 0 : count;
            lasts[b] = count;
            continue;
        }
        firsts[b] = bandFirst;
        const qint64 nextColumn = columnLeft + columnSpan * (b + 1) / BandCount;
        lasts[b] = b + 1 == BandCount ? end : FirstIndexAtFixedX(store, mapping, bandFirst, end, ColumnStart(nextColumn));
        bandFirst = lasts[b];
    }
    firsts[BandCount] = lasts[BandCount] = end;
    if (m_reduction && count > 0 && count - 1 < end) {
        const qint64 tail
            = FirstIndexAtFixedX(store, mapping, begin, end, ColumnStart(FixedColumn(mapping.FixedX(count - 1))));
        for (int b = 0; b < BandCount; ++b) {
            if (firsts[b] <= tail && tail < lasts[b]) {
                firsts[BandCount] = tail;
                lasts[BandCount] = lasts[b];
                lasts[b] = tail;
                break;
            }
        }
    }

    for (int b = 0; b <= BandCount; ++b) {
        TFastLineSeries::TBand& band = series.m_bands[std::size_t(b)];
        const qint64 first = firsts[b];
        const qint64 last = lasts[b];
        const qint64 stop = last < end && last > first ? last + 1 : last;  // with the joining point
        if (!remap && band.First == first && band.End == stop)
            continue;
        const bool sameMapping = !remap && band.First >= 0;
        band.First = first;
        band.End = stop;
        if (first == stop && band.Held.empty() && band.Item->PointCount() == 0)
            continue;  // empty, and nothing drawn
        if (m_reduction) {
            // Reduced with the other series' bands, then placed in order.
            m_bandJobs.push_back({&series, b, first, last, stop, sameMapping});
            continue;
        }
        m_placed.clear();
        band.Held.clear();
        m_placed.reserve(std::size_t(last - first));
        for (qint64 i = first; i < last; ++i)
            m_placed.push_back(Place(mapping, double(i), double(store.Value(i))));
        m_replacedPoints += qint64(m_placed.size());
        ++m_replacedBands;
        band.Item->SetPoints(m_placed);
    }
}

// As Qt Charts places a series' points (XYDomain::calculateGeometryPoints),
// which is what the stroke model of the reduction assumes.
QPointF TChart::Place(const TColumnMapping& mapping, double x, double y)
{
    return QPointF((x - mapping.MinX) * mapping.DeltaX, (y - mapping.MinY) * -mapping.DeltaY + mapping.Height);
}

void TChart::ReduceBands(const TColumnMapping& mapping)
{
    if (m_bandReduced.size() < m_bandJobs.size())
        m_bandReduced.resize(m_bandJobs.size());
    // A new view of a long history reduces every band of every series,
    // milliseconds each: they share the processors. Each job reads its
    // store and writes its own vector only; the stores grow on this
    // thread, which waits meanwhile.
    auto reduce = [this, &mapping](std::size_t j) {
        const TBandJob& job = m_bandJobs[j];
        std::vector<TPlotPoint>& reduced = m_bandReduced[j];
        reduced.clear();
        ReduceColumns(job.Series->Store(), mapping, job.First, job.Last, reduced);
    };
    qint64 points = 0;
    for (const TBandJob& job : m_bandJobs)
        points += job.Last - job.First;
    if (points >= ParallelPoints && m_bandJobs.size() > 1) {
        m_workSharing.Run(m_bandJobs.size(), reduce);
    } else {
        for (std::size_t j = 0; j < m_bandJobs.size(); ++j)
            reduce(j);
    }

    for (std::size_t j = 0; j < m_bandJobs.size(); ++j) {
        const TBandJob& job = m_bandJobs[j];
        TFastLineSeries::TBand& band = job.Series->m_bands[std::size_t(job.Band)];
        std::vector<TPlotPoint>& reduced = m_bandReduced[j];
        if (job.Stop > job.Last)
            reduced.push_back({double(job.Last), double(job.Series->Store().Value(job.Last))});
        // New points that fall on pixels already lit change nothing on
        // screen: the piece keeps what it has and nothing is painted.
        if (job.SameMapping && DrawsAlike(band, reduced))
            continue;
        // Swapped, not copied: the job's vector takes the old points' room.
        band.Held.swap(reduced);
        m_placed.clear();
        m_placed.reserve(band.Held.size());
        for (const TPlotPoint& p : band.Held)
            m_placed.push_back(Place(mapping, p.X, p.Y));
        m_replacedPoints += qint64(m_placed.size());
        ++m_replacedBands;
        band.Item->SetPoints(m_placed);
    }
}

bool TChart::DrawsAlike(const TFastLineSeries::TBand& band, const std::vector<TPlotPoint>& points) const
{
    if (band.Held == points)
        return true;
    if (band.Held.empty() || points.empty())
        return false;
    // Both polylines as the stroker draws them, segment by segment
    // (StrokePixels), on a bitmap of the plot's rows and of the columns
    // they reach; the plot's clip, taken a pixel wider, hides the rest.
    // Only lines the stroker does not clip are compared: all their ends in
    // the widget and in the plot's rows.
    const TColumnMapping& m = m_mapping;
    const double top = m.OffsetY;
    const double bottom = m.OffsetY + m.Height;
    double left = 0;
    double right = 0;
    bool firstPoint = true;
    for (const auto* list : {&band.Held, &points}) {
        for (const TPlotPoint& p : *list) {
            const double x = (p.X - m.MinX) * m.DeltaX + m.Offset;
            const double y = m.DeviceY(p.Y);
            if (!(x >= m.SafeLeft && x <= m.SafeRight && y >= top - 2 && y <= bottom + 2 && y >= m.SafeTop
                  && y <= m.SafeBottom))
                return false;
            left = firstPoint ? x : std::min(left, x);
            right = firstPoint ? x : std::max(right, x);
            firstPoint = false;
        }
    }
    const int clipLeft = int(std::floor(m.Offset)) - 1;
    const int clipRight = int(std::ceil(m.Offset + m_chart->plotArea().width())) + 1;
    const int clipTop = int(std::floor(top)) - 1;
    const int clipBottom = int(std::ceil(bottom)) + 1;
    const int originX = int(std::floor(left)) - 2;
    const int width = int(std::ceil(right)) + 3 - originX;
    const int height = clipBottom - clipTop + 1;
    for (auto& bits : m_bandBits)
        bits.assign(std::size_t(width) * std::size_t(height), 0);
    for (int k = 0; k < 2; ++k) {
        const std::vector<TPlotPoint>& list = k == 0 ? band.Held : points;
        std::vector<uint8_t>& bits = m_bandBits[k];
        for (std::size_t i = 1; i < list.size(); ++i) {
            m_pixels.clear();
            StrokePixels((list[i - 1].X - m.MinX) * m.DeltaX + m.Offset, m.DeviceY(list[i - 1].Y),
                         (list[i].X - m.MinX) * m.DeltaX + m.Offset, m.DeviceY(list[i].Y), m_pixels);
            for (const TPixel& p : m_pixels) {
                if (p.X < clipLeft || p.X > clipRight || p.Y < clipTop || p.Y > clipBottom)
                    continue;
                if (p.X < originX || p.X >= originX + width)
                    return false;  // cannot happen for lines within the columns of their ends
                bits[std::size_t(p.Y - clipTop) * std::size_t(width) + std::size_t(p.X - originX)] = 1;
            }
        }
    }
    return m_bandBits[0] == m_bandBits[1];
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
    m_readoutFont = labels;
    if (m_readout)
        m_readout->setFont(labels);
    QFont legend = font();
    legend.setPointSizeF(compact ? 8 : 10);
    m_chart->legend()->setFont(legend);
}

void TChart::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    UpdateFonts();
    HideReadout();
    ScheduleFlush();
}

// The view.

TChartView TChart::View() const
{
    return Reported(m_view, Shown());
}

void TChart::SetView(const TChartView& view)
{
    const std::vector<bool> hidden = m_view.Hidden;
    m_view = view;
    m_view.Hidden.resize(m_series.size(), false);
    if (m_view.Whole)
        m_view.Following = false;
    for (std::size_t i = 0; i < m_series.size(); ++i) {
        if (hidden[i] != m_view.Hidden[i]) {
            UpdateMarker(int(i));
            m_remapPending = true;
        }
    }
    Flush();
    emit ViewChanged();
}

void TChart::ChangeView(const TChartView& view)
{
    if (view == m_view)
        return;
    m_view = view;
    Flush();
    emit ViewChanged();
}

void TChart::ShowAll()
{
    ChangeView(::ShowAll(m_view, NewestIndex()));
}

void TChart::FollowNewest()
{
    ChangeView(::FollowNewest(m_view, Shown(), NewestIndex()));
}

void TChart::ZoomX(double factor)
{
    ChangeView(::ZoomX(m_view, Shown(), NewestIndex(), factor));
}

void TChart::PanX(double fraction)
{
    ChangeView(::PanX(m_view, Shown(), NewestIndex(), fraction));
}

void TChart::PanY(double fraction)
{
    ChangeView(::PanY(m_view, Shown(), NewestIndex(), fraction));
}

void TChart::FitY()
{
    ChangeView(FitLeftAxis(m_view, NewestIndex()));
}

bool TChart::SeriesVisible(int index) const
{
    return !m_view.Hidden[std::size_t(index)];
}

void TChart::SetSeriesVisible(int index, bool visible)
{
    if (SeriesVisible(index) == visible)
        return;
    TChartView view = m_view;
    view.Hidden[std::size_t(index)] = !visible;
    m_view = view;
    UpdateMarker(index);
    m_remapPending = true;
    Flush();
    emit ViewChanged();
}

void TChart::UpdateMarker(int index)
{
    // A hidden series keeps its legend entry, greyed.
    TFastLineSeries& series = *m_series[std::size_t(index)];
    if (!series.m_marker)
        return;
    const bool hidden = m_view.Hidden[std::size_t(index)];
    QColor colour = series.Color();
    QColor label = m_chart->legend()->labelColor();
    if (hidden) {
        colour.setAlpha(50);
        label = QColor(150, 150, 150);
    }
    series.m_marker->setBrush(colour);
    series.m_marker->setLabelBrush(label);
}

void TChart::AddMenuActions(const QList<QAction*>& actions)
{
    m_menuActions << actions;
}

QMenu* TChart::CreateContextMenu()
{
    auto* menu = new QMenu(this);
    auto add = [this, menu](const QString& text, const char* key, auto slot) {
        QAction* action = menu->addAction(key ? text + QLatin1Char('\t') + QLatin1String(key) : text);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add(QStringLiteral("Mostrar tudo"), "Home", [this] { ShowAll(); });
    QAction* follow = add(QStringLiteral("Acompanhar"), "End", [this] { FollowNewest(); });
    follow->setCheckable(true);
    follow->setChecked(!m_view.Whole && m_view.Following);
    add(QStringLiteral("Aproximar"), "+", [this] { ZoomX(1 / KeyZoom); });
    add(QStringLiteral("Afastar"), "-", [this] { ZoomX(KeyZoom); });
    QAction* fit = add(QStringLiteral("Ajustar eixo vertical"), nullptr, [this] { FitY(); });
    fit->setEnabled(m_view.ZoomedY);
    menu->addSeparator();
    for (int i = 0; i < SeriesCount(); ++i) {
        QAction* show = add(Series(i)->Title(), nullptr, [this, i](bool on) { SetSeriesVisible(i, on); });
        show->setCheckable(true);
        show->setChecked(SeriesVisible(i));
    }
    menu->addSeparator();
    menu->addAction(m_fullScreen);
    if (!m_menuActions.isEmpty()) {
        menu->addSeparator();
        menu->addActions(m_menuActions);
    }
    return menu;
}

void TChart::OpenMenu(QPoint globalPosition)
{
    QMenu* menu = CreateContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPosition);
}

// Geometry.

QRectF TChart::PlotArea() const
{
    return viewportTransform().mapRect(m_chart->mapRectToScene(m_chart->plotArea()));
}

QPointF TChart::WidgetPosition(double x, double y) const
{
    const QRectF plot = m_chart->plotArea();
    const QPointF inChart(plot.left() + (x - m_shownMinX) / (m_shownMaxX - m_shownMinX) * plot.width(),
                          plot.top() + (m_shownMaxY - y) / (m_shownMaxY - m_shownMinY) * plot.height());
    return viewportTransform().map(m_chart->mapToScene(inChart));
}

QPointF TChart::ValueAt(QPointF widgetPosition) const
{
    const QRectF plot = m_chart->plotArea();
    const QPointF inChart = m_chart->mapFromScene(viewportTransform().inverted().map(widgetPosition));
    return QPointF(m_shownMinX + (inChart.x() - plot.left()) / plot.width() * (m_shownMaxX - m_shownMinX),
                   m_shownMaxY - (inChart.y() - plot.top()) / plot.height() * (m_shownMaxY - m_shownMinY));
}

// The readout.

int TChart::SeriesAxis(const TFastLineSeries& series) const
{
    if (!m_session)
        return -1;
    for (int axis = 0; axis < AxisCount; ++axis) {
        if (&m_session->Values(TAxis(axis)) == &series.Store())
            return axis;
    }
    return -1;
}

bool TChart::ReadoutVisible() const
{
    return m_readoutBox != nullptr;
}

QString TChart::ReadoutText() const
{
    return ReadoutVisible() ? m_readout->text() : QString();
}

void TChart::HideReadout()
{
    m_hover = QPoint(-1, -1);
    // Out of the scene while hidden: the scene looks at every item it holds
    // at each repaint.
    delete m_cursor;
    delete m_readoutBox;  // with the text
    m_cursor = nullptr;
    m_readoutBox = nullptr;
    m_readout = nullptr;
}

void TChart::ShowReadout(QPoint position)
{
    const QRectF area = PlotArea();
    const qint64 newest = NewestIndex();
    if (!area.contains(position) || newest < 0) {
        HideReadout();
        return;
    }
    m_hover = position;
    // The points whose pixel column is the one under the cursor; when none
    // is (zoomed in), the nearest point.
    const qint64 count = newest + 1;
    const TSampleStore& any = m_series.front()->Store();
    qint64 first = FirstIndexAtFixedX(any, m_mapping, 0, count, ColumnStart(position.x()));
    qint64 end = FirstIndexAtFixedX(any, m_mapping, first, count, ColumnStart(position.x() + 1));
    if (first == end) {
        const double x = ValueAt(QPointF(position.x() + 0.5, position.y())).x();
        first = std::clamp<qint64>(qint64(std::llround(x)), 0, newest);
        end = first + 1;
    }
    QStringList lines;
    lines << QStringLiteral("X: ") + FormatRange(double(first), double(end - 1));
    QString time;
    for (int i = 0; i < SeriesCount(); ++i) {
        const TFastLineSeries& series = *m_series[std::size_t(i)];
        const qint64 stop = std::min(end, series.Count());
        if (!SeriesVisible(i) || first >= stop)
            continue;
        const TMinMax values = series.Store().MinMax(first, stop);
        lines << series.Title() + QStringLiteral(": ") + FormatRange(values.Min, values.Max);
        const int axis = SeriesAxis(series);
        if (time.isEmpty() && axis >= 0 && m_session->Started()) {
            const QString from = FormatDuration(m_session->TimeUs(TAxis(axis), first));
            const QString to = FormatDuration(m_session->TimeUs(TAxis(axis), stop - 1));
            time = QStringLiteral("t: ") + (from == to ? from : from + QStringLiteral(" – ") + to);
        }
    }
    if (!time.isEmpty())
        lines << time;
    if (!m_readoutBox) {
        // A thin cursor and a box of text beside it, over the lines.
        m_cursor = new QGraphicsLineItem(m_chart);
        m_cursor->setPen(QPen(QColor(90, 90, 90), 0));
        m_cursor->setZValue(1000);
        m_readoutBox = new QGraphicsRectItem(m_chart);
        m_readoutBox->setBrush(QColor(255, 255, 255, 235));
        m_readoutBox->setPen(QPen(QColor(160, 160, 160), 0));
        m_readoutBox->setZValue(1001);
        m_readout = new QGraphicsSimpleTextItem(m_readoutBox);
        m_readout->setFont(m_readoutFont);
    }
    m_readout->setText(lines.join(QLatin1Char('\n')));

    // The cursor on the pixel column, the box beside it inside the plot.
    const QRectF plot = m_chart->plotArea();
    const QPointF at = m_chart->mapFromScene(mapToScene(position));
    const double x = std::floor(at.x()) + 0.5;
    m_cursor->setLine(x, plot.top(), x, plot.bottom());
    const QRectF text = m_readout->boundingRect();
    const QSizeF box(text.width() + 8, text.height() + 6);
    double left = x + 8;
    if (left + box.width() > plot.right())
        left = x - 8 - box.width();
    left = std::max(left, plot.left());
    m_readoutBox->setRect(0, 0, box.width(), box.height());
    m_readoutBox->setPos(std::floor(left), std::floor(plot.top() + 4));
    m_readout->setPos(4, 3);
}

// Mouse and keys.

void TChart::mousePressEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    if (!PlotArea().contains(position) || m_gesture != TGesture::None) {
        // Qt Charts asks the item under the press whether it takes mouse
        // buttons without looking whether there is one: where the scene
        // has none, the press goes to the view as it would without Qt
        // Charts' rubber band, which the chart does not use.
        if (itemAt(position))
            QChartView::mousePressEvent(event);
        else
            QGraphicsView::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_pressPosition = position;
    m_pressView = m_view;
    if (event->button() == Qt::LeftButton) {
        m_gesture = TGesture::Zoom;
        if (!m_rubberBand)
            m_rubberBand = new QRubberBand(QRubberBand::Rectangle, viewport());
        m_rubberBand->setGeometry(QRect(position, QSize()));
    } else if (event->button() == Qt::RightButton) {
        m_gesture = TGesture::PanPending;
    }
    event->accept();
}

void TChart::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    switch (m_gesture) {
    case TGesture::Zoom: {
        const QRect plot = PlotArea().toAlignedRect();
        const QPoint end(std::clamp(position.x(), plot.left(), plot.right()),
                         std::clamp(position.y(), plot.top(), plot.bottom()));
        m_rubberBand->setGeometry(QRect(m_pressPosition, end).normalized());
        if ((end - m_pressPosition).manhattanLength() >= QApplication::startDragDistance())
            m_rubberBand->show();
        HideReadout();
        break;
    }
    case TGesture::PanPending:
        if ((position - m_pressPosition).manhattanLength() < QApplication::startDragDistance())
            break;
        m_gesture = TGesture::Pan;
        HideReadout();
        Q_FALLTHROUGH();
    case TGesture::Pan: {
        // The view as at the press, moved by the drag.
        const QRectF plot = PlotArea();
        const QPointF drag = position - m_pressPosition;
        ChangeView(Drag(m_pressView, NewestIndex(), drag.x() / plot.width(), drag.y() / plot.height()));
        break;
    }
    case TGesture::None:
        QChartView::mouseMoveEvent(event);
        ShowReadout(position);
        break;
    }
}

void TChart::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    const TGesture gesture = m_gesture;
    if (gesture == TGesture::None) {
        QChartView::mouseReleaseEvent(event);
        return;
    }
    if ((gesture == TGesture::Zoom && event->button() != Qt::LeftButton)
        || (gesture != TGesture::Zoom && event->button() != Qt::RightButton)) {
        event->accept();
        return;
    }
    m_gesture = TGesture::None;
    event->accept();
    if (gesture == TGesture::PanPending) {
        OpenMenu(event->globalPosition().toPoint());
        return;
    }
    if (gesture == TGesture::Pan)
        return;

    // The zoom rectangle.
    const QRect band = m_rubberBand->geometry();
    const bool shown = m_rubberBand->isVisible();
    m_rubberBand->hide();
    if (!shown)
        return;  // a click
    if (position.x() < m_pressPosition.x()) {
        // Dragged leftwards: back to the whole history.
        ShowAll();
        return;
    }
    const QPointF topLeft = ValueAt(QPointF(band.left(), band.top()));
    const QPointF bottomRight = ValueAt(QPointF(band.right() + 1, band.bottom() + 1));
    const TSpan values{bottomRight.y(), topLeft.y()};
    const bool tall = band.height() >= QApplication::startDragDistance();
    ChangeView(ZoomInto(m_view, NewestIndex(), {topLeft.x(), bottomRight.x()}, tall ? &values : nullptr));
}

void TChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && PlotArea().contains(event->position())) {
        ShowAll();
        event->accept();
        return;
    }
    QChartView::mouseDoubleClickEvent(event);
}

void TChart::wheelEvent(QWheelEvent* event)
{
    const QPointF position = event->position();
    const int delta = event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
    if (!PlotArea().contains(position) || delta == 0) {
        event->ignore();
        return;
    }
    // Away from the user (positive) zooms in.
    const double factor = std::pow(WheelZoom, -delta / 120.0);
    const QPointF value = ValueAt(position);
    if (event->modifiers() & Qt::ControlModifier)
        ChangeView(::ZoomYAbout(m_view, Shown(), NewestIndex(), factor, value.y()));
    else
        ChangeView(::ZoomXAbout(m_view, Shown(), NewestIndex(), factor, value.x()));
    event->accept();
}

void TChart::keyPressEvent(QKeyEvent* event)
{
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Left:
        PanX(-KeyPan);
        break;
    case Qt::Key_Right:
        PanX(KeyPan);
        break;
    case Qt::Key_PageUp:
        PanX(-0.9);
        break;
    case Qt::Key_PageDown:
        PanX(0.9);
        break;
    case Qt::Key_Up:
        PanY(KeyPan);
        break;
    case Qt::Key_Down:
        PanY(-KeyPan);
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        ZoomX(1 / KeyZoom);
        break;
    case Qt::Key_Minus:
        ZoomX(KeyZoom);
        break;
    case Qt::Key_Home:
        ShowAll();
        break;
    case Qt::Key_End:
        FollowNewest();
        break;
    case Qt::Key_Escape:
        if (m_gesture == TGesture::None) {
            QChartView::keyPressEvent(event);
            return;
        }
        if (m_rubberBand)
            m_rubberBand->hide();
        m_gesture = TGesture::None;
        break;
    case Qt::Key_Menu:
        OpenMenu(mapToGlobal(PlotArea().center().toPoint()));
        break;
    case Qt::Key_F10:
        if (!shift) {
            QChartView::keyPressEvent(event);
            return;
        }
        OpenMenu(mapToGlobal(PlotArea().center().toPoint()));
        break;
    default:
        QChartView::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TChart::contextMenuEvent(QContextMenuEvent* event)
{
    // The menu opens on the release of a right click that did not drag,
    // not on the press that the platform reports.
    if (event->reason() != QContextMenuEvent::Mouse)
        OpenMenu(event->globalPos());
    event->accept();
}

void TChart::leaveEvent(QEvent* event)
{
    HideReadout();
    QChartView::leaveEvent(event);
}

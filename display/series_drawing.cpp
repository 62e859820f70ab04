#include "series_drawing.h"

#include "axis_times.h"
#include "line_item.h"
#include "session.h"
#include "view/chart_view.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {

// Columns reduced beyond each edge of the plot, past the pixels that the
// clip lets through; the point before them (and the one after) is kept as
// it is, so the lines crossing the edges are the real ones.
constexpr std::int64_t EdgeColumns = 3;
// Points below which the bands of an update are reduced on this thread
// alone: a frame of new points, or a view of a few thousand points, takes
// less than waking the helper costs.
constexpr std::int64_t ParallelPoints = 65536;

// Where the line is broken: no segment to or from it.
constexpr double Break = std::numeric_limits<double>::quiet_NaN();

// The session's axis whose values store holds, -1 when none.
int AxisOf(const TSession* session, const TSampleStore* store)
{
    for (int axis = 0; session && axis < AxisCount; ++axis) {
        if (&session->Values(TAxis(axis)) == store)
            return axis;
    }
    return -1;
}

}  // namespace

void TSeriesDrawing::AddSeries(const TSampleStore& store, QGraphicsItem* lineItem, const QPen& pen)
{
    TSeries series{&store, {}, {}, AxisOf(m_session, &store), {}};
    for (int band = 0; band <= BandCount; ++band) {  // the bands and the tail
        TBand entry;
        entry.Item = new TLineItem(lineItem);
        entry.Item->SetPen(pen);
        if (!m_itemPlot.isNull())
            entry.Item->SetPlot(m_itemPlot.topLeft(), m_itemPlot.size());
        series.Bands.push_back(std::move(entry));
    }
    m_series.push_back(std::move(series));
    m_remapPending = true;
}

void TSeriesDrawing::SetValueMap(std::size_t index, const TValueMap& map)
{
    if (m_series[index].Map == map)
        return;
    m_series[index].Map = map;
    m_remapPending = true;
}

TColumnMapping TSeriesDrawing::MappingOf(const TSeries& series) const
{
    TColumnMapping mapping = m_mapping;
    mapping.Values = series.Map;
    return mapping;
}

void TSeriesDrawing::SetReduction(bool enabled)
{
    m_reduction = enabled;
    m_remapPending = true;
}

void TSeriesDrawing::SetTimes(const TSession* session)
{
    if (session == m_session)
        return;
    m_session = session;
    for (TSeries& series : m_series)
        series.Axis = AxisOf(session, series.Store);
    m_remapPending = true;
}

void TSeriesDrawing::FindBreaks(TSeries& series) const
{
    series.Breaks.clear();
    const std::int64_t count = series.Store->Count();
    const std::vector<TOpening>& openings = m_session->Openings();
    for (std::size_t k = 1; k < openings.size(); ++k) {
        const std::int64_t first = openings[k].Points[series.Axis];
        if (first > 0 && first < count && (series.Breaks.empty() || series.Breaks.back() != first))
            series.Breaks.push_back(first);
    }
}

void TSeriesDrawing::ReduceStretches(const TSeries& series, const TColumnMapping& mapping, TAxisTimes* times,
                                     std::int64_t first, std::int64_t last, std::vector<TPlotPoint>& out) const
{
    const TSampleStore& store = *series.Store;
    if (!times) {
        ReduceColumns(store, mapping, first, last, out);
        return;
    }
    std::int64_t from = first;
    for (auto b = std::upper_bound(series.Breaks.begin(), series.Breaks.end(), first);
         b != series.Breaks.end() && *b < last; ++b) {
        ReduceColumns(store, *times, mapping, from, *b, out);
        out.push_back({Break, Break});
        from = *b;
    }
    ReduceColumns(store, *times, mapping, from, last, out);
}

std::int64_t TSeriesDrawing::DrawnPointCount() const
{
    std::int64_t total = 0;
    for (const TSeries& series : m_series)
        for (const TBand& band : series.Bands)
            total += band.Item->PointCount();
    return total;
}

TColumnMapping TSeriesDrawing::Mapping(const QRectF& plot, const QTransform& toDevice, QSize widget,
                                       const TShown& shown)
{
    // The series' pieces sit at the plot area's top-left corner; the
    // painter adds the chart's own translation in the view.
    TColumnMapping mapping;
    mapping.MinX = shown.X.Min;
    mapping.DeltaX = plot.width() / (shown.X.Max - shown.X.Min);
    mapping.Offset = plot.left() + toDevice.dx();
    mapping.MinY = shown.Y.Min;
    mapping.DeltaY = plot.height() / (shown.Y.Max - shown.Y.Min);
    mapping.Height = plot.height();
    mapping.OffsetY = plot.top() + toDevice.dy();
    // Lines with both ends in the widget are not clipped by the stroker on
    // any device that holds the widget (the window, or an image of it).
    mapping.SafeLeft = 1;
    mapping.SafeTop = 1;
    mapping.SafeRight = widget.width() - 2;
    mapping.SafeBottom = widget.height() - 2;
    return mapping;
}

void TSeriesDrawing::Update(const TColumnMapping& mapping, const QRectF& plot, const std::vector<bool>& hidden)
{
    const bool remap = m_remapPending || mapping.MinX != m_mapping.MinX || mapping.DeltaX != m_mapping.DeltaX
        || mapping.Offset != m_mapping.Offset || mapping.MinY != m_mapping.MinY || mapping.DeltaY != m_mapping.DeltaY
        || mapping.OffsetY != m_mapping.OffsetY || mapping.SafeRight != m_mapping.SafeRight
        || mapping.SafeBottom != m_mapping.SafeBottom;
    m_mapping = mapping;
    m_remapPending = false;

    m_replacedPoints = 0;
    if (plot != m_itemPlot) {
        m_itemPlot = plot;
        for (const TSeries& series : m_series)
            for (const TBand& band : series.Bands)
                band.Item->SetPlot(plot.topLeft(), plot.size());
    }
    if (plot.width() > 0 && plot.height() > 0) {
        // The columns reduced: those of the plot and a few beyond each edge.
        const std::int64_t columnLeft = std::int64_t(std::floor(mapping.Offset)) - EdgeColumns;
        const std::int64_t columnSpan = std::int64_t(std::ceil(plot.width())) + 2 * EdgeColumns + 1;
        m_bandJobs.clear();
        for (std::size_t i = 0; i < m_series.size(); ++i) {
            if (hidden[i] || (Timed() && m_series[i].Axis < 0))
                Clear(m_series[i]);
            else
                UpdateBands(i, remap, columnLeft, columnSpan);
        }
        ReduceBands();
    } else {
        for (TSeries& series : m_series)
            Clear(series);
    }
}

void TSeriesDrawing::Clear(TSeries& series)
{
    for (TBand& band : series.Bands) {
        band.Item->Clear();
        band.First = band.End = -1;
        band.Held.clear();
    }
}

void TSeriesDrawing::UpdateBands(std::size_t index, bool remap, std::int64_t columnLeft, std::int64_t columnSpan)
{
    TSeries& series = m_series[index];
    const TColumnMapping mapping = MappingOf(series);
    const TSampleStore& store = *series.Store;
    const std::int64_t count = store.Count();
    std::optional<TAxisTimes> times;
    if (Timed()) {
        times.emplace(*m_session, TAxis(series.Axis));
        FindBreaks(series);
    }
    auto firstAt = [&](std::int64_t from, std::int64_t to, std::int64_t target) {
        return times ? FirstIndexAtFixedX(*times, mapping, from, to, target)
                     : FirstIndexAtFixedX(store, mapping, from, to, target);
    };
    auto isBreak = [&series](std::int64_t i) {
        return std::binary_search(series.Breaks.begin(), series.Breaks.end(), i);
    };
    // The points in view, with the one just outside each edge.
    std::int64_t begin = 0;
    std::int64_t end = count;
    if (m_reduction) {
        const std::int64_t inside = firstAt(0, count, ColumnStart(columnLeft));
        const std::int64_t insideEnd = firstAt(inside, count, ColumnStart(columnLeft + columnSpan));
        begin = inside > 0 ? inside - 1 : 0;
        end = std::min(count, insideEnd + 1);
    }
    // The pieces: a band per sixteenth of the columns, then the tail: the
    // column of the newest point, cut from its band so that new points
    // there touch the smallest piece.
    std::int64_t firsts[BandCount + 1];
    std::int64_t lasts[BandCount + 1];
    std::int64_t bandFirst = begin;
    for (int b = 0; b < BandCount; ++b) {
        if (!m_reduction) {
            // Everything in the first band.
            firsts[b] = b == 0 ? 0 : count;
            lasts[b] = count;
            continue;
        }
        firsts[b] = bandFirst;
        const std::int64_t nextColumn = columnLeft + columnSpan * (b + 1) / BandCount;
        lasts[b] = b + 1 == BandCount ? end : firstAt(bandFirst, end, ColumnStart(nextColumn));
        bandFirst = lasts[b];
    }
    firsts[BandCount] = lasts[BandCount] = end;
    if (m_reduction && count > 0 && count - 1 < end) {
        const std::int64_t newestFixed
            = times ? mapping.FixedOf(SecondsOf(times->TimeUs(count - 1))) : mapping.FixedX(count - 1);
        const std::int64_t tail = firstAt(begin, end, ColumnStart(FixedColumn(newestFixed)));
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
        TBand& band = series.Bands[std::size_t(b)];
        const std::int64_t first = firsts[b];
        const std::int64_t last = lasts[b];
        // With the joining point, unless the line is broken there.
        const std::int64_t stop = last < end && last > first && !isBreak(last) ? last + 1 : last;
        if (!remap && band.First == first && band.End == stop)
            continue;
        const bool sameMapping = !remap && band.First >= 0;
        band.First = first;
        band.End = stop;
        if (first == stop && band.Held.empty() && band.Item->PointCount() == 0)
            continue;  // empty, and nothing drawn
        if (m_reduction) {
            // Reduced with the other series' bands, then placed in order.
            m_bandJobs.push_back({index, b, first, last, stop, sameMapping});
            continue;
        }
        m_placed.clear();
        band.Held.clear();
        m_placed.reserve(std::size_t(last - first));
        for (std::int64_t i = first; i < last; ++i) {
            if (times && i > first && isBreak(i))
                m_placed.push_back(QPointF(Break, Break));
            const double x = times ? SecondsOf(times->TimeUs(i)) : double(i);
            m_placed.push_back(Place(mapping, x, double(store.Value(i))));
        }
        m_replacedPoints += std::int64_t(m_placed.size());
        ++m_replacedBands;
        band.Item->SetPoints(m_placed);
    }
}

// As Qt Charts places a series' points (XYDomain::calculateGeometryPoints),
// which is what the stroke model of the reduction assumes.
QPointF TSeriesDrawing::Place(const TColumnMapping& mapping, double x, double y)
{
    return QPointF((x - mapping.MinX) * mapping.DeltaX, mapping.PlotY(y));
}

void TSeriesDrawing::ReduceBands()
{
    if (m_bandReduced.size() < m_bandJobs.size())
        m_bandReduced.resize(m_bandJobs.size());
    std::vector<TColumnMapping>& mappings = m_seriesMappings;
    mappings.clear();
    for (const TSeries& series : m_series)
        mappings.push_back(MappingOf(series));
    // A new view of a long history reduces every band of every series,
    // milliseconds each: they share the processors. Each job reads its
    // store and writes its own vector only; the stores grow on this
    // thread, which waits meanwhile.
    auto reduce = [this, &mappings](std::size_t j) {
        const TBandJob& job = m_bandJobs[j];
        const TSeries& series = m_series[job.Series];
        std::vector<TPlotPoint>& reduced = m_bandReduced[j];
        reduced.clear();
        // Each job looks up times on its own: a lookup keeps where it was.
        std::optional<TAxisTimes> times;
        if (Timed())
            times.emplace(*m_session, TAxis(series.Axis));
        ReduceStretches(series, mappings[job.Series], times ? &*times : nullptr, job.First, job.Last, reduced);
    };
    std::int64_t points = 0;
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
        TSeries& series = m_series[job.Series];
        const TColumnMapping& mapping = mappings[job.Series];
        TBand& band = series.Bands[std::size_t(job.Band)];
        std::vector<TPlotPoint>& reduced = m_bandReduced[j];
        if (job.Stop > job.Last) {
            const double x = Timed() ? SecondsOf(m_session->TimeUs(TAxis(series.Axis), job.Last)) : double(job.Last);
            reduced.push_back({x, double(series.Store->Value(job.Last))});
        }
        // New points that fall on pixels already lit change nothing on
        // screen: the piece keeps what it has and nothing is painted.
        if (job.SameMapping && DrawsAlike(mapping, band, reduced))
            continue;
        // Swapped, not copied: the job's vector takes the old points' room.
        band.Held.swap(reduced);
        m_placed.clear();
        m_placed.reserve(band.Held.size());
        for (const TPlotPoint& p : band.Held)
            m_placed.push_back(Place(mapping, p.X, p.Y));
        m_replacedPoints += std::int64_t(m_placed.size());
        ++m_replacedBands;
        band.Item->SetPoints(m_placed);
    }
}

bool TSeriesDrawing::DrawsAlike(const TColumnMapping& m, const TBand& band, const std::vector<TPlotPoint>& points) const
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
    const double top = m.OffsetY;
    const double bottom = m.OffsetY + m.Height;
    double left = 0;
    double right = 0;
    bool firstPoint = true;
    for (const auto* list : {&band.Held, &points}) {
        for (const TPlotPoint& p : *list) {
            if (std::isnan(p.X))
                continue;  // a break
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
    const int clipRight = int(std::ceil(m.Offset + m_itemPlot.width())) + 1;
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
            if (std::isnan(list[i - 1].X) || std::isnan(list[i].X))
                continue;
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

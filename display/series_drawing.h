#pragma once
// The drawing of the chart's series: each series reduced to what each
// pixel column of the plot can show (column_reduction.h), and handed to
// pieces of its own in the chart's scene (line_item.h), painted as Qt
// Charts paints a line series. The lines are one pixel wide and drawn
// without antialiasing, so the reduced drawing lights exactly the pixels a
// drawing of every point would.
//
// A series is drawn by one piece per band of columns and one for the
// column of the newest point (the tail), so that new points redraw only
// the tail, and its band when a column begins. Each piece ends with the
// first point of the next, which draws the line joining them. Only the
// bands whose drawing changed get new points and are painted again: while
// points arrive, the last band at most, and not even that while the new
// points fall on pixels already lit. Only the points in view are reduced,
// plus the one just outside each edge, kept as it is so that the lines
// entering and leaving the plot are the real ones: a view change costs
// O(plot width x log N), its bands shared with a second thread.
//
// Over time (SetTimes), each point is drawn at its arrival time, and the
// line is broken where the port opened again: no segment joins the last
// point before a stop and the first after it.

#include "plotdata/column_reduction.h"
#include "plotdata/work_sharing.h"
#include "sample_store.h"
#include "value_map.h"

#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QTransform>

#include <cstdint>
#include <vector>

class QGraphicsItem;
class TAxisTimes;
class TLineItem;
class TSession;
struct TShown;

class TSeriesDrawing {
public:
    static constexpr int BandCount = 16;

    // Adds a series showing store, drawn in pen by pieces made children of
    // lineItem (its Qt Charts series' line item, whose place they take).
    void AddSeries(const TSampleStore& store, QGraphicsItem* lineItem, const QPen& pen);
    // What series index's stored values are shown as (value_map.h): each
    // series has its own, over the same left axis. Its points are reduced
    // as stored and placed through the map, lighting the pixels a drawing
    // of every point so mapped would.
    void SetValueMap(std::size_t index, const TValueMap& map);

    // The mapping of X and values to the device for a plot at plot in the
    // chart, whose coordinates toDevice maps to the device's, in a widget
    // of widget's size, showing shown.
    static TColumnMapping Mapping(const QRectF& plot, const QTransform& toDevice, QSize widget, const TShown& shown);

    // Brings every series' pieces up to date for mapping over plot (in the
    // chart's coordinates); hidden[i]: series i is not drawn.
    void Update(const TColumnMapping& mapping, const QRectF& plot, const std::vector<bool>& hidden);
    // Everything is drawn afresh at the next Update, even with the same
    // mapping.
    void Invalidate() { m_remapPending = true; }
    // The mapping of the last Update.
    const TColumnMapping& CurrentMapping() const { return m_mapping; }

    // When false, every point is drawn instead of the reduced polyline.
    void SetReduction(bool enabled);
    // Each point at its arrival time in session (the axis whose values a
    // series' store holds), broken at the openings; nullptr: at its
    // position. The session must outlive the drawing or be replaced first.
    void SetTimes(const TSession* session);

    // Points currently drawn, over all series.
    std::int64_t DrawnPointCount() const;
    // Points given to the pieces by the last Update.
    std::int64_t ReplacedPointCount() const { return m_replacedPoints; }
    // Pieces given new points since the drawing was made.
    std::int64_t ReplacedBandCount() const { return m_replacedBands; }

private:
    struct TBand {
        TLineItem* Item = nullptr;  // owned by the series' line item
        std::int64_t First = -1;    // indices [First, End) of the last reduction
        std::int64_t End = -1;
        std::vector<TPlotPoint> Held;  // the points the piece draws
    };
    struct TSeries {
        const TSampleStore* Store;
        std::vector<TBand> Bands;
        TValueMap Map;
        int Axis = -1;  // of the session drawn over time
        // Over time: the points that begin a stretch after a stop (those
        // in the store now), in order.
        std::vector<std::int64_t> Breaks;
    };
    // A band to reduce: points [First, Last), and the joining point when
    // Stop is Last + 1. SameMapping: its points are drawn as they were.
    struct TBandJob {
        std::size_t Series;
        int Band;
        std::int64_t First;
        std::int64_t Last;
        std::int64_t Stop;
        bool SameMapping;
    };

    void Clear(TSeries& series);
    // Over time, the points of series that begin a stretch after a stop.
    void FindBreaks(TSeries& series) const;
    bool Timed() const { return m_session != nullptr; }
    // Reduces points [first, last) of series, stretch by stretch.
    void ReduceStretches(const TSeries& series, const TColumnMapping& mapping, TAxisTimes* times, std::int64_t first,
                         std::int64_t last, std::vector<TPlotPoint>& out) const;
    // Brings the series' bands up to date: those drawing every point at
    // once, those drawing reduced points as jobs for ReduceBands.
    void UpdateBands(std::size_t index, bool remap, std::int64_t columnLeft, std::int64_t columnSpan);
    void ReduceBands();
    // The mapping of the last Update for a series: its own values' map.
    TColumnMapping MappingOf(const TSeries& series) const;
    // Where Qt Charts places a point (a stored value) in the plot area.
    static QPointF Place(const TColumnMapping& mapping, double x, double y);
    // True when the band's held points light the same pixels as points,
    // both placed by mapping.
    bool DrawsAlike(const TColumnMapping& mapping, const TBand& band, const std::vector<TPlotPoint>& points) const;

    std::vector<TSeries> m_series;
    bool m_reduction = true;
    const TSession* m_session = nullptr;
    TColumnMapping m_mapping;
    bool m_remapPending = true;
    QRectF m_itemPlot;  // the plot area the pieces clip to
    std::int64_t m_replacedPoints = 0;
    std::int64_t m_replacedBands = 0;
    std::vector<TBandJob> m_bandJobs;
    std::vector<std::vector<TPlotPoint>> m_bandReduced;  // by job, reused between updates
    std::vector<TColumnMapping> m_seriesMappings;       // by series, reused between updates
    TWorkSharing m_workSharing;
    std::vector<QPointF> m_placed;
    mutable std::vector<uint8_t> m_bandBits[2];  // reused by DrawsAlike
    mutable std::vector<TPixel> m_pixels;
};

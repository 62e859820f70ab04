#include "line_item.h"

#include "plotdata/column_reduction.h"

#include <QPaintEngine>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// How far past its ends a one-pixel aliased line can light a pixel: half
// a pixel of square cap, and the pixel its end falls in.
constexpr qreal Reach = 2;

bool IsWholeTranslation(const QTransform& transform)
{
    return transform.type() <= QTransform::TxTranslate && transform.dx() == std::floor(transform.dx())
        && transform.dy() == std::floor(transform.dy());
}

}  // namespace

TLineItem::TLineItem(QGraphicsItem* parent) : QGraphicsItem(parent)
{
    setAcceptedMouseButtons(Qt::NoButton);
    setAcceptHoverEvents(false);
    // The exposed rectangle, to leave out the segments far from it when
    // only a few columns are painted again.
    setFlag(QGraphicsItem::ItemUsesExtendedStyleOption);
}

void TLineItem::SetPen(const QPen& pen)
{
    if (pen == m_pen)
        return;
    m_pen = pen;
    update();
}

void TLineItem::SetPlot(QPointF position, QSizeF size)
{
    // As Qt Charts clips its line items: the plot area, widened by the
    // fraction of the corner's position so that lines along its edges
    // show, and never by more than half a pixel past them.
    QRectF clip(QPointF(0, 0), size);
    const qreal x1 = position.x() - int(position.x());
    const qreal y1 = position.y() - int(position.y());
    const qreal x2 = (clip.width() + 0.5) - int(clip.width() + 0.5);
    const qreal y2 = (clip.height() + 0.5) - int(clip.height() + 0.5);
    clip.adjust(-x1, -y1, qMax(x1, x2), qMax(y1, y2));
    if (clip == m_clip)
        return;
    m_clip = clip;
    UpdateBounds();
}

void TLineItem::SetPoints(const std::vector<QPointF>& points)
{
    m_count = qsizetype(points.size());
    m_ends.clear();
    m_ordered = true;
    if (points.size() >= 2) {
        m_ends.reserve(2 * (points.size() - 1));
        qreal left = 0;
        qreal right = 0;
        qreal top = 0;
        qreal bottom = 0;
        bool any = false;
        auto include = [&](const QPointF& p) {
            left = any ? std::min(left, p.x()) : p.x();
            right = any ? std::max(right, p.x()) : p.x();
            top = any ? std::min(top, p.y()) : p.y();
            bottom = any ? std::max(bottom, p.y()) : p.y();
            any = true;
        };
        qreal lastX = -std::numeric_limits<qreal>::infinity();
        for (std::size_t i = 1; i < points.size(); ++i) {
            const QPointF& from = points[i - 1];
            if (std::isnan(from.x()) || std::isnan(points[i].x()))
                continue;  // a break in the line
            include(from);
            include(points[i]);
            m_ordered = m_ordered && from.x() >= lastX && points[i].x() >= from.x();
            lastX = points[i].x();
            if (from.x() != points[i].x() || from.y() == points[i].y()) {
                m_ends.push_back(from);
                m_ends.push_back(points[i]);
                continue;
            }
            // A run of vertical segments at one x, as a column folded by
            // the reduction draws: the stroker lights, for each, its
            // column from the row of its upper end to that of its lower
            // end (both truncated to the same grid, in the same order),
            // so the run lights that column from its highest end's row to
            // its lowest end's: one line drawn once, not the rows of every
            // segment drawn again.
            qreal high = std::min(from.y(), points[i].y());
            qreal low = std::max(from.y(), points[i].y());
            while (i + 1 < points.size() && points[i + 1].x() == from.x() && points[i + 1].y() != points[i].y()) {
                ++i;
                high = std::min(high, points[i].y());
                low = std::max(low, points[i].y());
            }
            top = std::min(top, high);
            bottom = std::max(bottom, low);
            m_ends.push_back(QPointF(from.x(), high));
            m_ends.push_back(QPointF(from.x(), low));
        }
        m_points = any ? QRectF(QPointF(left, top), QPointF(right, bottom)) : QRectF();
    } else {
        m_points = QRectF();
    }
    // What was drawn goes (the old bounds) and what is drawn comes.
    UpdateBounds();
    update();
}

void TLineItem::Clear()
{
    if (m_count == 0)
        return;
    SetPoints({});
}

void TLineItem::UpdateBounds()
{
    QRectF bounds;
    if (!m_ends.empty()) {
        bounds = m_points.adjusted(-Reach, -Reach, Reach, Reach)
                     .intersected(m_clip.adjusted(-1, -1, 1, 1));
    }
    if (bounds == m_bounds)
        return;
    prepareGeometryChange();
    m_bounds = bounds;
}

void TLineItem::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*)
{
    if (m_ends.empty())
        return;
    // The segments that can light a pixel of the exposed part: where x
    // never decreases along the polyline, a stretch of it.
    const qsizetype segments = qsizetype(m_ends.size() / 2);
    qsizetype first = 0;
    qsizetype last = segments;
    if (option && m_ordered) {
        const qreal left = option->exposedRect.left() - Reach;
        const qreal right = option->exposedRect.right() + Reach;
        // The first segment whose right end reaches the left edge, and the
        // first whose left end is past the right edge.
        auto search = [this](qsizetype from, qsizetype to, int end, auto past) {
            while (from < to) {
                const qsizetype middle = from + (to - from) / 2;
                if (past(m_ends[std::size_t(2 * middle + end)].x()))
                    to = middle;
                else
                    from = middle + 1;
            }
            return from;
        };
        first = search(0, segments, 1, [left](qreal x) { return x >= left; });
        last = search(first, segments, 0, [right](qreal x) { return x > right; });
        if (first == last)
            return;
    }
    painter->save();
    painter->setPen(m_pen);
    painter->setClipRect(m_clip);
    if (!PaintFillingRuns(painter, first, last))
        painter->drawLines(m_ends.data() + 2 * first, int(last - first));
    painter->restore();
}

bool TLineItem::PaintFillingRuns(QPainter* painter, qsizetype first, qsizetype last)
{
    const QColor colour = m_pen.color();
    const bool plainPen = m_pen.style() == Qt::SolidLine && m_pen.brush().style() == Qt::SolidPattern
        && colour.alpha() == 255 && m_pen.widthF() <= 1;
    const bool plainPainter = painter->paintEngine() && painter->paintEngine()->type() == QPaintEngine::Raster
        && painter->device() && !painter->testRenderHint(QPainter::Antialiasing) && painter->opacity() == 1
        && painter->compositionMode() == QPainter::CompositionMode_SourceOver;
    const QTransform toDevice = painter->deviceTransform();
    if (!plainPen || !plainPainter || toDevice.type() > QTransform::TxTranslate)
        return false;
    // Rectangles are given in device pixels, under the transform that is
    // left with no world transform: the painter's redirection to the
    // window's backing store, a whole-pixel translation when nothing
    // scales the window.
    const QTransform world = painter->worldTransform();
    painter->setWorldTransform(QTransform());
    const QTransform redirection = painter->deviceTransform();
    painter->setWorldTransform(world);
    if (!IsWholeTranslation(redirection))
        return false;
    const int offsetX = int(redirection.dx());
    const int offsetY = int(redirection.dy());
    // The stroker clips a line with an end off the device before stepping
    // along it, which moves its pixels; within the painted widget, a pixel
    // in from its edges, it steps along the line as StrokeOf does.
    const QRectF safe = QRectF(1, 1, painter->device()->width() - 3, painter->device()->height() - 3)
                            .translated(offsetX, offsetY);

    m_slanted.clear();
    m_runs.clear();
    for (qsizetype i = first; i < last; ++i) {
        const QPointF& from = m_ends[std::size_t(2 * i)];
        const QPointF& to = m_ends[std::size_t(2 * i + 1)];
        const QPointF a = toDevice.map(from);
        const QPointF b = toDevice.map(to);
        TStroke stroke;
        if (safe.contains(a) && safe.contains(b))
            stroke = StrokeOf(a.x(), a.y(), b.x(), b.y());
        // Mostly horizontal lines, and those that light nothing this way
        // (a dot, where both ends meet), are left to the stroker.
        if (!stroke.Vertical || stroke.Count == 0) {
            m_slanted.push_back(from);
            m_slanted.push_back(to);
            continue;
        }
        // One pixel per row; the column moves with the minor coordinate,
        // so the line is a few runs of rows, one per column it crosses.
        const std::int64_t minor = stroke.Minor;
        const std::int64_t inc = stroke.Inc;
        std::int64_t k = 0;
        while (k < stroke.Count) {
            const std::int64_t column = (minor + k * inc) >> 16;
            std::int64_t next = stroke.Count;  // first step in another column
            if (inc > 0)
                next = std::min(next, ((column + 1) * 65536 - minor + inc - 1) / inc);
            else if (inc < 0)
                next = std::min(next, (minor - column * 65536 + 1 - inc - 1) / -inc);
            m_runs.push_back({int(column), stroke.Start + int(k), stroke.Start + int(next) - 1});
            k = next;
        }
    }
    if (!m_slanted.empty())
        painter->drawLines(m_slanted.data(), int(m_slanted.size() / 2));
    if (m_runs.empty())
        return true;
    // All in one colour and opaque: what overlaps in a column is filled
    // once, as the union of its runs.
    std::sort(m_runs.begin(), m_runs.end(), [](const TRun& p, const TRun& q) {
        return p.Column != q.Column ? p.Column < q.Column : p.Top < q.Top;
    });
    // The clip was set in the item's coordinates and stays where it is on
    // the device.
    painter->setWorldTransform(QTransform());
    TRun merged = m_runs.front();
    auto fill = [&] {
        painter->fillRect(QRect(merged.Column - offsetX, merged.Top - offsetY, 1, merged.Bottom - merged.Top + 1),
                          colour);
    };
    for (std::size_t r = 1; r < m_runs.size(); ++r) {
        const TRun& run = m_runs[r];
        if (run.Column == merged.Column && run.Top <= merged.Bottom + 1) {
            merged.Bottom = std::max(merged.Bottom, run.Bottom);
            continue;
        }
        fill();
        merged = run;
    }
    fill();
    painter->setWorldTransform(world);
    return true;
}

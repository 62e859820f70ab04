#include "line_item.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <QPaintEngine>

#include <algorithm>
#include <cmath>

namespace {

// How far past its ends a one-pixel aliased line can light a pixel: half
// a pixel of square cap, and the pixel its end falls in.
constexpr qreal Reach = 2;

// A device coordinate as the stroker takes it: truncated to 26.6 fixed
// point. Coordinates far off the device are first brought within a
// range the conversion cannot overflow; the stroker clips such lines to
// the device before converting, and the rows this changes are off it.
int ToFixed(qreal v)
{
    constexpr qreal Far = 1 << 20;
    return int(std::clamp(v, -Far, Far) * 64.);
}

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
        qreal left = points.front().x();
        qreal right = left;
        qreal top = points.front().y();
        qreal bottom = top;
        for (std::size_t i = 1; i < points.size(); ++i) {
            const QPointF& from = points[i - 1];
            m_ordered = m_ordered && points[i].x() >= from.x();
            left = std::min(left, points[i].x());
            right = std::max(right, points[i].x());
            top = std::min(top, points[i].y());
            bottom = std::max(bottom, points[i].y());
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
        m_points = QRectF(QPointF(left, top), QPointF(right, bottom));
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
        && !painter->testRenderHint(QPainter::Antialiasing) && painter->opacity() == 1
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

    m_slanted.clear();
    m_runs.clear();
    for (qsizetype i = first; i < last; ++i) {
        const QPointF& from = m_ends[std::size_t(2 * i)];
        const QPointF& to = m_ends[std::size_t(2 * i + 1)];
        // The stroker's line of one column: both ends mapped as it maps
        // them and truncated to its grid; from the row of the upper end
        // to the row the lower end reaches with its half-pixel cap. Any
        // other line, and one whose ends fall on the same point of the
        // grid, is left to the stroker.
        const QPointF a = toDevice.map(from);
        const QPointF b = toDevice.map(to);
        const bool vertical = from.x() == to.x() && std::isfinite(a.x()) && std::isfinite(a.y())
            && std::isfinite(b.y());
        const int top = vertical ? std::min(ToFixed(a.y()), ToFixed(b.y())) : 0;
        const int bottom = vertical ? std::max(ToFixed(a.y()), ToFixed(b.y())) : 0;
        if (top == bottom) {
            m_slanted.push_back(from);
            m_slanted.push_back(to);
            continue;
        }
        const int x = ToFixed(a.x());
        const int row = top >> 6;
        const int rows = ((bottom + 64) >> 6) - row;
        m_runs.push_back(QRect((x >> 6) - offsetX, row - offsetY, 1, rows));
    }
    if (!m_slanted.empty())
        painter->drawLines(m_slanted.data(), int(m_slanted.size() / 2));
    if (!m_runs.empty()) {
        // The clip was set in the item's coordinates and stays where it is
        // on the device.
        painter->setWorldTransform(QTransform());
        for (const QRect& run : m_runs)
            painter->fillRect(run, colour);
        painter->setWorldTransform(world);
    }
    return true;
}

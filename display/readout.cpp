#include "readout.h"

#include "axis_times.h"
#include "format/brazilian.h"
#include "session.h"

#include <QBrush>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QPen>
#include <QStringList>

#include <algorithm>
#include <cmath>

void PointsUnderColumn(const TSampleStore& any, const TColumnMapping& mapping, std::int64_t count, int column,
                       double x, std::int64_t& first, std::int64_t& end)
{
    first = FirstIndexAtFixedX(any, mapping, 0, count, ColumnStart(column));
    end = FirstIndexAtFixedX(any, mapping, first, count, ColumnStart(column + 1));
    if (first == end) {
        first = std::clamp<std::int64_t>(std::int64_t(std::llround(x)), 0, count - 1);
        end = first + 1;
    }
}

void PointsUnderColumn(TAxisTimes& times, const TColumnMapping& mapping, int column, double x,
                       std::int64_t& first, std::int64_t& end)
{
    const std::int64_t count = times.Count();
    first = end = 0;
    if (count == 0)
        return;
    first = FirstIndexAtFixedX(times, mapping, 0, count, ColumnStart(column));
    end = FirstIndexAtFixedX(times, mapping, first, count, ColumnStart(column + 1));
    if (first < end)
        return;
    // The nearer of the points either side of x.
    const std::int64_t after = std::min(times.FirstAtOrAfter(0, count, UsAtLeast(x)), count - 1);
    first = after;
    if (after > 0 && x - SecondsOf(times.TimeUs(after - 1)) < SecondsOf(times.TimeUs(after)) - x)
        first = after - 1;
    end = first + 1;
}

namespace {

// The session's axis whose points store holds, -1 when none.
int SessionAxis(const TSession* session, const TSampleStore& store)
{
    if (!session)
        return -1;
    for (int axis = 0; axis < AxisCount; ++axis) {
        if (&session->Values(TAxis(axis)) == &store)
            return axis;
    }
    return -1;
}

}  // namespace

QString ReadoutText(std::int64_t first, std::int64_t end, const std::vector<TReadoutSeries>& series,
                    const TSession* session, const TValueScale& scale)
{
    QStringList lines;
    lines << QStringLiteral("X: ") + FormatRange(double(first), double(end - 1));
    QString time;
    for (const TReadoutSeries& s : series) {
        const std::int64_t stop = std::min(end, s.Store->Count());
        if (!s.Visible || first >= stop)
            continue;
        const TMinMax values = s.Store->MinMax(first, stop);
        const double low = s.Map(values.Min);
        const double high = s.Map(values.Max);
        lines << s.Title + QStringLiteral(": ") + scale.RangeText(std::min(low, high), std::max(low, high));
        const int axis = SessionAxis(session, *s.Store);
        if (time.isEmpty() && axis >= 0 && session->Started()) {
            const QString from = FormatDuration(session->TimeUs(TAxis(axis), first));
            const QString to = FormatDuration(session->TimeUs(TAxis(axis), stop - 1));
            time = QStringLiteral("t: ") + (from == to ? from : from + QStringLiteral(" – ") + to);
        }
    }
    if (!time.isEmpty())
        lines << time;
    return lines.join(QLatin1Char('\n'));
}

QString ReadoutTimeText(const std::vector<TReadoutSeries>& series, const TSession& session, int decimals,
                        const TValueScale& scale)
{
    QStringList values;
    std::int64_t fromUs = 0;
    std::int64_t toUs = 0;
    std::int64_t firstPoint = 0;
    std::int64_t lastPoint = 0;
    bool any = false;
    for (const TReadoutSeries& s : series) {
        if (!s.Visible || s.Axis < 0 || s.First >= s.End)
            continue;
        const TMinMax range = s.Store->MinMax(s.First, s.End);
        const double low = s.Map(range.Min);
        const double high = s.Map(range.Max);
        values << s.Title + QStringLiteral(": ") + scale.RangeText(std::min(low, high), std::max(low, high));
        const std::int64_t from = session.TimeUs(TAxis(s.Axis), s.First);
        const std::int64_t to = session.TimeUs(TAxis(s.Axis), s.End - 1);
        fromUs = any ? std::min(fromUs, from) : from;
        toUs = any ? std::max(toUs, to) : to;
        firstPoint = any ? std::min(firstPoint, s.First) : s.First;
        lastPoint = any ? std::max(lastPoint, s.End - 1) : s.End - 1;
        any = true;
    }
    if (!any)
        return QString();
    const QString from = FormatDuration(fromUs, decimals);
    const QString to = FormatDuration(toUs, decimals);
    QStringList lines;
    lines << QStringLiteral("t: ") + (from == to ? from : from + QStringLiteral(" – ") + to);
    lines << values;
    lines << QStringLiteral("Posição: ") + FormatRange(double(firstPoint), double(lastPoint));
    return lines.join(QLatin1Char('\n'));
}

void TReadout::SetFont(const QFont& font)
{
    m_font = font;
    if (m_text)
        m_text->setFont(font);
}

QString TReadout::Text() const
{
    return m_text ? m_text->text() : QString();
}

void TReadout::Show(QPoint hover, double x, const QRectF& plot, const QString& text)
{
    m_hover = hover;
    if (!m_box) {
        // A thin cursor and a box of text beside it, over the lines.
        m_cursor = new QGraphicsLineItem(m_chart);
        m_cursor->setPen(QPen(QColor(90, 90, 90), 0));
        m_cursor->setZValue(1000);
        m_box = new QGraphicsRectItem(m_chart);
        m_box->setBrush(QColor(255, 255, 255, 235));
        m_box->setPen(QPen(QColor(160, 160, 160), 0));
        m_box->setZValue(1001);
        m_text = new QGraphicsSimpleTextItem(m_box);
        m_text->setFont(m_font);
    }
    m_text->setText(text);

    // The cursor on the pixel column, the box beside it inside the plot.
    const double column = std::floor(x) + 0.5;
    m_cursor->setLine(column, plot.top(), column, plot.bottom());
    const QRectF bounds = m_text->boundingRect();
    const QSizeF box(bounds.width() + 8, bounds.height() + 6);
    double left = column + 8;
    if (left + box.width() > plot.right())
        left = column - 8 - box.width();
    left = std::max(left, plot.left());
    m_box->setRect(0, 0, box.width(), box.height());
    m_box->setPos(std::floor(left), std::floor(plot.top() + 4));
    m_text->setPos(4, 3);
}

void TReadout::Hide()
{
    m_hover = QPoint(-1, -1);
    delete m_cursor;
    delete m_box;  // with the text
    m_cursor = nullptr;
    m_box = nullptr;
    m_text = nullptr;
}

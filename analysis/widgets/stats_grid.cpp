#include "stats_grid.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
constexpr int Padding = 6;
}

TStatsGrid::TStatsGrid(const QStringList& rowTitles, int columns, QWidget* parent)
    : QWidget(parent), m_rowTitles(rowTitles), m_columns(std::size_t(columns))
{
    for (TColumn& column : m_columns)
        column.Texts.resize(std::size_t(rowTitles.size()));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    Layout();
}

void TStatsGrid::Layout()
{
    const QFontMetrics metrics(font());
    m_rowHeight = metrics.height() + Padding;
    m_rawFont = QRawFont::fromFont(font());
    QFont bold = font();
    bold.setBold(true);
    m_boldFont = QRawFont::fromFont(bold);
    m_titleWidth = 0;
    for (const QString& title : m_rowTitles)
        m_titleWidth = std::max(m_titleWidth, metrics.horizontalAdvance(title));
    m_titleWidth += 2 * Padding;
    m_top = 2 * m_rowHeight;  // two lines of caption
    m_shown = int(std::count_if(m_columns.begin(), m_columns.end(), [](const TColumn& c) { return c.Shown; }));
}

QSize TStatsGrid::sizeHint() const
{
    const QFontMetrics metrics(font());
    return QSize(m_titleWidth + 3 * metrics.horizontalAdvance(QStringLiteral("0.000.000 (00,00%)")) + 4 * Padding,
                 m_top + (int(m_rowTitles.size()) + 1) * m_rowHeight + Padding);
}

QSize TStatsGrid::minimumSizeHint() const
{
    return QSize(m_titleWidth + 120, sizeHint().height());
}

int TStatsGrid::ShownIndex(int column) const
{
    int index = 0;
    for (int c = 0; c < column; ++c)
        index += m_columns[std::size_t(c)].Shown;
    return index;
}

QRect TStatsGrid::CellRect(int row, int shownIndex) const
{
    const int width = m_shown > 0 ? (this->width() - m_titleWidth) / m_shown : 0;
    return QRect(m_titleWidth + shownIndex * width, m_top + (row + 1) * m_rowHeight, width, m_rowHeight);
}

void TStatsGrid::SetCaption(const QString& text)
{
    if (text == m_caption)
        return;
    m_caption = text;
    update(QRect(0, 0, width(), m_top));
}

void TStatsGrid::SetColumn(int column, const QString& title, bool shown)
{
    TColumn& c = m_columns[std::size_t(column)];
    if (c.Title == title && c.Shown == shown)
        return;
    c.Title = title;
    c.Shown = shown;
    Layout();
    update();
}

void TStatsGrid::SetText(int row, int column, const QString& text)
{
    TColumn& c = m_columns[std::size_t(column)];
    QString& held = c.Texts[std::size_t(row)];
    if (held == text)
        return;
    held = text;
    if (c.Shown)
        update(CellRect(row, ShownIndex(column)));
}

QString TStatsGrid::Text(int row, int column) const
{
    return m_columns[std::size_t(column)].Texts[std::size_t(row)];
}

void TStatsGrid::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Layout();
}

void TStatsGrid::DrawValue(QPainter& painter, const QRect& cell, const QString& text, bool bold) const
{
    // The glyphs straight from the font, without the shaping and layout of
    // QPainter::drawText: numbers and short words need neither, and a cell
    // is drawn in a few microseconds instead of some 70.
    const QRawFont& raw = bold ? m_boldFont : m_rawFont;
    const QList<quint32> glyphs = raw.glyphIndexesForString(text);
    const bool missing = std::find(glyphs.begin(), glyphs.end(), 0u) != glyphs.end();
    const QRect inner = cell.adjusted(Padding, 0, -Padding, 0);
    if (!raw.isValid() || missing || glyphs.size() != text.size()) {
        painter.drawText(inner, Qt::AlignRight | Qt::AlignVCenter, text);
        return;
    }
    const QList<QPointF> advances = raw.advancesForGlyphIndexes(glyphs);
    QList<QPointF> positions;
    positions.reserve(glyphs.size());
    double x = 0;
    for (const QPointF& advance : advances) {
        positions.append(QPointF(x, 0));
        x += advance.x();
    }
    QGlyphRun run;
    run.setRawFont(raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    const double baseline = cell.top() + (cell.height() + raw.ascent() - raw.descent()) / 2;
    painter.drawGlyphRun(QPointF(inner.right() + 1 - x, std::round(baseline)), run);
}

void TStatsGrid::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    // The region, not its bounding rectangle: a refresh changes a few
    // cells here and there, and only those are drawn again.
    const QRegion dirty = event->region();
    for (const QRect& rect : dirty)
        painter.fillRect(rect, palette().base());
    painter.setPen(palette().text().color());
    const QRect caption(Padding, 0, width() - 2 * Padding, m_top);
    if (dirty.intersects(caption))
        painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, m_caption);
    const int rows = int(m_rowTitles.size());
    // Row titles and lines between rows.
    for (int row = -1; row < rows; ++row) {
        const QRect title(0, m_top + (row + 1) * m_rowHeight, m_titleWidth, m_rowHeight);
        if (row >= 0 && dirty.intersects(title))
            painter.drawText(title.adjusted(Padding, 0, -Padding, 0), Qt::AlignLeft | Qt::AlignVCenter,
                             m_rowTitles[row]);
        const QRect line(0, title.bottom(), width(), 1);
        if (dirty.intersects(line))
            painter.fillRect(line, palette().mid());
    }
    for (int column = 0, shown = 0; column < int(m_columns.size()); ++column) {
        const TColumn& c = m_columns[std::size_t(column)];
        if (!c.Shown)
            continue;
        const QRect header = CellRect(-1, shown);
        if (dirty.intersects(header))
            DrawValue(painter, header, c.Title, true);
        for (int row = 0; row < rows; ++row) {
            const QRect cell = CellRect(row, shown);
            if (dirty.intersects(cell))
                DrawValue(painter, cell, c.Texts[std::size_t(row)], false);
        }
        ++shown;
    }
}

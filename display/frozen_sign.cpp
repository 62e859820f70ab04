#include "frozen_sign.h"

#include <QBrush>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QPen>

#include <cmath>

namespace {

// Qt Charts stacks the grid at 2, the axes at 3 and line series at 4.
constexpr double BehindTheLines = 3.5;
constexpr double Inset = 4;

}  // namespace

QString TFrozenSign::Text()
{
    return QStringLiteral("vista parada — End acompanha");
}

void TFrozenSign::SetFont(const QFont& font)
{
    // Bold enough to read through the lines that cross it.
    m_font = font;
    m_font.setBold(true);
    if (m_text)
        m_text->setFont(m_font);
}

QRectF TFrozenSign::Area() const
{
    return m_box ? m_box->mapRectToParent(m_box->rect()) : QRectF();
}

void TFrozenSign::Update(bool shown, const QRectF& plot)
{
    if (!shown) {
        delete m_box;  // with the text
        m_box = nullptr;
        m_text = nullptr;
        return;
    }
    if (!m_box) {
        m_box = new QGraphicsRectItem(m_chart);
        m_box->setBrush(QColor(Qt::white));
        m_box->setPen(Qt::NoPen);
        m_box->setZValue(BehindTheLines);
        m_text = new QGraphicsSimpleTextItem(Text(), m_box);
        m_text->setBrush(QColor(80, 80, 80));
        m_text->setFont(m_font);
    }
    const QRectF text = m_text->boundingRect();
    const QSizeF box(text.width() + 8, text.height() + 4);
    m_box->setRect(0, 0, box.width(), box.height());
    m_box->setPos(std::floor(plot.right() - Inset - box.width()), std::floor(plot.bottom() - Inset - box.height()));
    m_text->setPos(4, 2);
}

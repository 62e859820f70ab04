#include "tcomled.h"

#include "tcomport.h"

#include <QPainter>
#include <QRadialGradient>
#include <QTimer>

TComLed::TComLed(QWidget* parent) : QWidget(parent), m_blink(new QTimer(this))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_blink->setInterval(BlinkMs);
    connect(m_blink, &QTimer::timeout, this, [this] {
        m_blinkOn = !m_blinkOn;
        update();
    });
}

void TComLed::SetWaiting(bool waiting)
{
    if (waiting == m_waiting)
        return;
    m_waiting = waiting;
    // Lit at once: the change shows without waiting for the first blink.
    m_blinkOn = waiting;
    if (waiting)
        m_blink->start();
    else
        m_blink->stop();
    update();
}

void TComLed::SetComPort(TComPort* port)
{
    if (m_port == port)
        return;
    disconnect(m_connection);
    m_port = port;
    if (port)
        m_connection = connect(port, &TComPort::connectedChanged, this, [this] { update(); });
    update();
}

TComPort* TComLed::ComPort() const
{
    return m_port.data();
}

void TComLed::SetLedSignal(TLedSignal signal)
{
    m_signal = signal;
    update();
}

void TComLed::SetKind(TLedKind kind)
{
    m_kind = kind;
    update();
}

bool TComLed::IsLit() const
{
    switch (m_signal) {
    case lsConn:
        return (m_port && m_port->Connected()) || (m_waiting && m_blinkOn);
    }
    return false;
}

QSize TComLed::sizeHint() const
{
    return {25, 25};
}

QSize TComLed::minimumSizeHint() const
{
    return {10, 10};
}

void TComLed::paintEvent(QPaintEvent*)
{
    QColor on, off;
    switch (m_kind) {
    case lkRedLight:
        on = QColor(255, 40, 30);
        off = QColor(90, 20, 18);
        break;
    }
    const QColor base = IsLit() ? on : off;

    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height()) - 2;
    const QRectF r((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    QRadialGradient g(r.center() - QPointF(side / 6.0, side / 6.0), side / 1.6);
    g.setColorAt(0.0, base.lighter(IsLit() ? 135 : 150));
    g.setColorAt(1.0, base);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(g);
    p.drawEllipse(r);
}

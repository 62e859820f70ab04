#include "redraw_pacer.h"

TRedrawPacer::TRedrawPacer(QObject* context, std::function<void()> redraw)
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, context, std::move(redraw));
}

void TRedrawPacer::Schedule()
{
    if (m_timer.isActive())
        return;
    // About once per frame, and no later: points arriving most of a frame
    // or more after the last redraw are drawn as soon as the event loop has
    // taken in the rest of what arrived with them, in the same wakeup, not
    // in a wakeup of their own a few milliseconds later. A device that
    // sends a packet per frame is so drawn at its own pace, once per
    // packet.
    const qint64 since = m_sinceRedraw.isValid() ? m_sinceRedraw.elapsed() : FrameIntervalMs;
    const qint64 wait = since >= FrameIntervalMs * 3 / 4 ? 0 : FrameIntervalMs - since;
    m_timer.start(int(wait));
}

void TRedrawPacer::Started()
{
    m_timer.stop();
    m_sinceRedraw.start();
}

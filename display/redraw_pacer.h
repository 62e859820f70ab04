#pragma once
// When the chart redraws: the session tells the chart when points arrive,
// and the chart redraws about once per displayed frame (16 ms), at once
// when most of a frame has passed since the last redraw.

#include <QElapsedTimer>
#include <QTimer>

#include <functional>

class TRedrawPacer {
public:
    static constexpr int FrameIntervalMs = 16;

    // redraw runs from the event loop, in context's thread, when a
    // scheduled redraw is due.
    TRedrawPacer(QObject* context, std::function<void()> redraw);

    // A redraw is wanted; several before it is due make one.
    void Schedule();
    // A redraw starts now, whoever asked for it: the one scheduled is no
    // longer due.
    void Started();

private:
    QTimer m_timer;
    QElapsedTimer m_sinceRedraw;
};

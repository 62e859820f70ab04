#pragma once
// What the end-to-end benchmarks share: the event loop's stall watch and
// the check of the plotted values against the simulator's own sequence.

#include "stream_builder.h"
#include "tchart.h"
#include "tform2.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <functional>

// Measures, from a 5 ms timer on the GUI thread, the longest gap between
// two of its ticks beyond its period, and calls check with the time of
// every tick. Runs from its construction.
class TStallWatch {
public:
    explicit TStallWatch(std::function<void(qint64 nowNs)> check = {}) : m_check(std::move(check))
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_maxStallMs = std::max(m_maxStallMs, double(now - m_last) / 1e6 - 5.0);
            m_last = now;
            if (m_check)
                m_check(now);
        });
        m_clock.start();
        m_timer.start();
    }
    double MaxStallMs() const { return m_maxStallMs; }
    qint64 ElapsedNs() const { return m_clock.nsecsElapsed(); }

private:
    std::function<void(qint64)> m_check;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    double m_maxStallMs = 0;
};

// Plotted values other than the simulator's, and points it never sent.
inline long long WrongValues(const TForm2& form, const TExpectedPoints& expected)
{
    const TFastLineSeries* series[] = {form.Series1, form.Series2, form.Series3};
    long long wrong = 0;
    for (int axis = 0; axis < AxisCount; ++axis) {
        const auto& want = expected.PerAxis[axis];
        const qint64 n = std::min<qint64>(series[axis]->Count(), qint64(want.size()));
        for (qint64 i = 0; i < n; ++i)
            if (series[axis]->YValue(i) != want[size_t(i)])
                ++wrong;
        wrong += std::max<qint64>(0, series[axis]->Count() - qint64(want.size()));
    }
    return wrong;
}

#pragma once
// The link's health, always in view: the status line below the chart and
// the lamp's tooltip show the frames received, the share that failed their
// check, the bytes skipped, the frames per second over the last second and
// the port's state (closed, open on a device, waiting for the device), and
// a recording in progress. The tooltip adds the counts per axis and the
// port's settings.
//
// Both are written a few times per second from the receiver's counters,
// never per frame. Numbers are written as in Brazil: 1.234.567 and 1,5%.

#include "format/brazilian.h"
#include "receiver.h"
#include "recorder.h"
#include "serial_settings.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <utility>

class QLabel;
class QWidget;

// Frames per second over the last second, from the frame count sampled a
// few times per second: the frames between the newest sample and the one
// about a second before it, over the time between them. Qt-free.
class TFrameRate {
public:
    static constexpr std::int64_t WindowNs = 1000000000;

    void Sample(std::int64_t nowNs, std::uint64_t frames);
    double PerSecond() const;

private:
    std::deque<std::pair<std::int64_t, std::uint64_t>> m_samples;
};

enum class TLinkState { Closed, Open, Waiting };

// Everything the status line and the tooltip show.
struct TLinkView {
    TLinkCounters Counters;
    double FramesPerSecond = 0.0;
    TLinkState State = TLinkState::Closed;
    QString Device;           // "/dev/pts/4", "COM10 (/dev/ttyUSB0)", "COM10 (/dev/COM10)" while waiting
    TSerialSettings Settings; // as the user chose them
    QString LastAttempt;      // while waiting: why the device could not be opened yet
    TRecordingState Recording;
    QString Notice;           // a file just completed, for a few seconds
};

// What the window knows, put together: `chosen` is the user's settings,
// `openDevice` the device the port has open (links resolved).
TLinkView MakeLinkView(const TLinkCounters& counters, TLinkState state, const TSerialSettings& chosen,
                       const QString& openDevice, const QString& lastAttempt);

// "9600 baud, 8N1, sem controle de fluxo, DTR desligado, RTS desligado"
QString LineDescription(const TSerialSettings& settings);

QString StatusLineText(const TLinkView& view);
QString LampToolTip(const TLinkView& view);

// Keeps a label and the lamp's tooltip up to date: every RefreshMs, and at
// once when Refresh() is called (the window does so when the state changes).
// A port that is not open receives nothing: its rate is 0, not the last
// second's.
class TLinkMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr int RefreshMs = 250;
    // Everything but the rate, which the monitor works out itself.
    using TSource = std::function<TLinkView()>;
    using TClock = std::function<std::int64_t()>;

    TLinkMonitor(QLabel* line, QWidget* lamp, TSource source, TClock clock, QObject* parent = nullptr);

    void Refresh();
    const TLinkView& Shown() const { return m_shown; }

private:
    QLabel* m_line;
    QWidget* m_lamp;
    TSource m_source;
    TClock m_clock;
    TFrameRate m_rate;
    TLinkView m_shown;
};

#pragma once
// Automatic reconnection: once the device has gone away, looks for it a
// few times per second (every PollMs) and reopens the port as soon as its
// path is there again and opens. Capture starts it when the port reports
// the device lost and the user asked for reconnection; stopping capture or
// turning reconnection off stops it.
//
// The reopen goes through capture's own opening, so the settings are the
// user's current ones, and capture hears of the open as of any other (the
// receiver drops a partial frame, the session keeps its points).

#include <QObject>
#include <QString>

#include <functional>

class QTimer;

class TReconnector : public QObject {
    Q_OBJECT
public:
    static constexpr int PollMs = 250;
    // What the wait says while the device's path is missing.
    static QString NotPresent() { return QStringLiteral("o dispositivo não está presente"); }
    // The path to look for; empty when there is none to look for (the
    // simulated device), and every poll simply tries to open.
    using TPath = std::function<QString()>;
    // Opens the port; throws when it cannot.
    using TOpen = std::function<void()>;

    TReconnector(TPath path, TOpen open, QObject* parent = nullptr);

    // Starts waiting; `why` says why the device is not open, until a try
    // says otherwise. Nothing when waiting already.
    void Start(const QString& why);
    // Stops waiting. Nothing when not waiting.
    void Stop();

    bool Waiting() const { return m_waiting; }
    // Why the device is not open yet.
    const QString& LastAttempt() const { return m_lastAttempt; }
    // Whether the path to look for is there (a link counts only when what
    // it leads to is there).
    bool DeviceThere() const;

signals:
    void waitingChanged(bool waiting);

private:
    void Poll();

    TPath m_path;
    TOpen m_open;
    QTimer* m_timer;
    bool m_waiting = false;
    QString m_lastAttempt;
};

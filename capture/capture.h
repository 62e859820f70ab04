#pragma once
// Capture: the port it is given, read into the session. It owns the
// session (every point received), the receiver that feeds it, what the
// chosen port name stands for (device_resolver.h), the wait for a device
// that went away (reconnector.h) and the serial settings as the user chose
// them. Qt Core and the port layer only: no widgets, so a window shows it
// and a test drives it without one.
//
// Failures the port meets by itself (the device gone, with reconnection
// off) go to the reporter; those of Start and SetSettings reach the caller.

#include "device_resolver.h"
#include "receiver.h"
#include "reporter.h"
#include "serial_settings.h"
#include "session.h"

#include <QObject>
#include <QString>

class TComPort;
class TReconnector;

// How long a byte takes on a line with these settings: a start bit, the
// data bits, the parity bit if any and the stop bits, at the baud rate.
TLineTiming LineTimingOf(const TSerialSettings& settings);

class TCapture : public QObject {
    Q_OBJECT
public:
    enum class TState { Closed, Open, Waiting };
    Q_ENUM(TState)

    // Reads port from now on; port outlives this object, which closes it
    // when it goes.
    TCapture(TComPort& port, TReporter report, QObject* parent = nullptr);
    ~TCapture() override;

    // Opens the port with the current settings; with reconnection on, a
    // device not there yet is waited for. Nothing while open or waiting.
    // Throws Exception when the port does not open.
    void Start();
    // Ends the wait and closes the port, open or not. The points stay.
    void Stop();

    const TSerialSettings& Settings() const { return m_settings; }
    // New settings: while open, line settings take effect at once and
    // another device reopens the port there; reconnection off ends a wait.
    // Throws Exception when the port cannot take them.
    void SetSettings(const TSerialSettings& settings);

    TState State() const;
    // While waiting: why the device is not open yet.
    QString LastAttempt() const;

    // The receive notification's work: count bytes are waiting on the port.
    void Receive(int count);

    TComPort& Port() const { return m_port; }
    TSession& Session() { return m_session; }
    const TSession& Session() const { return m_session; }
    const TReceiver& Receiver() const { return m_receiver; }

signals:
    // Closed, open or waiting for the device; emitted once per change.
    void stateChanged(TCapture::TState state);
    // The port closed by itself and nothing will reopen it; the message,
    // also handed to the reporter, names the device and the reason.
    void failed(const QString& message);

private:
    void Open();
    void PortConnectedChanged(bool open);
    void PortFailed(const QString& message, int kind);
    void UpdateState();

    TComPort& m_port;
    TReporter m_report;
    TSession m_session;
    TReceiver m_receiver;
    TDeviceResolver m_devices;
    TSerialSettings m_settings;
    TReconnector* m_reconnector;
    TState m_state = TState::Closed;
};

#include "capture.h"

#include "reconnector.h"
#include "tcomport.h"

#include <algorithm>

TLineTiming LineTimingOf(const TSerialSettings& settings)
{
    const std::int64_t data = std::clamp<std::int64_t>(settings.DataBits, 5, 8);
    const std::int64_t parity = settings.Parity == QSerialPort::NoParity ? 0 : 1;
    std::int64_t stopHalves = 2;
    if (settings.StopBits == QSerialPort::OneAndHalfStop)
        stopHalves = 3;
    else if (settings.StopBits == QSerialPort::TwoStop)
        stopHalves = 4;
    return {2 * (1 + data + parity) + stopHalves, std::max<std::int64_t>(settings.BaudRate, 0)};
}

TCapture::TCapture(TComPort& port, TReporter report, QObject* parent)
    : QObject(parent),
      m_port(port),
      m_report(std::move(report)),
      // The device to wait for is the one chosen now, reopened as Start would.
      m_reconnector(new TReconnector([this] { return TDeviceResolver::PathToWaitFor(m_settings.Port); },
                                     [this] { Open(); }, this))
{
    m_port.OnRxChar = [this](QObject*, int count) { Receive(count); };
    connect(&m_port, &TComPort::connectedChanged, this, &TCapture::PortConnectedChanged);
    connect(&m_port, &TComPort::failure, this, &TCapture::PortFailed);
    connect(m_reconnector, &TReconnector::waitingChanged, this, &TCapture::UpdateState);
}

TCapture::~TCapture()
{
    // Nothing may reach the session or the device from here on.
    m_reconnector->blockSignals(true);
    m_reconnector->Stop();
    m_port.OnRxChar = nullptr;
    m_port.disconnect(this);
    m_port.Close();
    m_devices.Release();
}

void TCapture::Receive(int count)
{
    m_receiver.HandleRxChar(count, m_port, m_session);
}

void TCapture::Start()
{
    if (m_port.Connected() || m_reconnector->Waiting())
        return;
    if (m_settings.Reconnect && !m_reconnector->DeviceThere()) {
        m_reconnector->Start(TReconnector::NotPresent());
        return;
    }
    Open();
}

void TCapture::Stop()
{
    m_reconnector->Stop();
    m_port.Close();
}

void TCapture::SetSettings(const TSerialSettings& settings)
{
    if (!settings.Reconnect)
        m_reconnector->Stop();
    const bool otherDevice = settings.Port.trimmed() != m_settings.Port.trimmed();
    m_settings = settings;
    if (!m_port.Connected())
        return;
    if (otherDevice) {
        m_port.Close();
        Open();
        return;
    }
    TSerialSettings line = settings;
    line.Port = m_port.Settings().Port;
    m_port.SetSettings(line);
    // The bytes read from now on took the new line's time.
    m_session.SetLine(LineTimingOf(m_port.Settings()));
}

TCapture::TState TCapture::State() const
{
    return m_port.Connected() ? TState::Open : m_reconnector->Waiting() ? TState::Waiting : TState::Closed;
}

QString TCapture::LastAttempt() const
{
    return m_reconnector->LastAttempt();
}

void TCapture::Open()
{
    const QString path = m_devices.Acquire(m_settings.Port);
    TSerialSettings portSettings = m_settings;
    portSettings.Port = path;
    m_port.SetDeviceLabel(m_devices.Describe(m_settings.Port, path));
    m_port.SetSettings(portSettings);
    try {
        m_port.SetConnected(true);
    } catch (...) {
        m_devices.Release();
        throw;
    }
}

void TCapture::PortConnectedChanged(bool open)
{
    if (open) {
        // A new stream: nothing of the last one may join it. The session's
        // times count from the first opening, and it keeps every one: the
        // stream stopped before it.
        m_receiver.StreamRestarted();
        m_session.MarkOpening(m_receiver.Now(), LineTimingOf(m_port.Settings()));
    } else {
        // The port is closed: stopping a simulated device is no hang-up now.
        m_devices.Release();
    }
    UpdateState();
}

void TCapture::PortFailed(const QString& message, int kind)
{
    // A device gone is waited for when the user asked for it; anything
    // else the port met by itself is the user's to know.
    if (kind == TComPort::fkDeviceLost && m_settings.Reconnect) {
        m_reconnector->Start(message);
        return;
    }
    emit failed(message);
    if (m_report)
        m_report(message.toStdString());
}

void TCapture::UpdateState()
{
    const TState state = State();
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

#include "tcomport.h"

#include "exception.h"
#include "modem_lines.h"
#include "open_failure.h"

#include <QMetaObject>
#include <QSerialPort>

#include <climits>
#include <cstring>

namespace {

void Throw(const QString& message)
{
    throw Exception(message.toStdString());
}

void ThrowOpenFailure(const QString& what, const TOpenProblem& problem)
{
    QString message = QStringLiteral("Não foi possível abrir %1: %2.").arg(what, problem.Reason);
    if (!problem.Advice.isEmpty())
        message += QLatin1Char(' ') + problem.Advice;
    Throw(message);
}

} // namespace

TComPort::TComPort(QObject* parent) : QObject(parent), m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, &TComPort::OnReadyRead);
    connect(m_port, &QSerialPort::errorOccurred, this, &TComPort::OnErrorOccurred);
}

TComPort::~TComPort()
{
    OnRxChar = nullptr;
    blockSignals(true); // whoever listens may be gone already
    m_port->close();
}

bool TComPort::Connected() const
{
    return m_port->isOpen();
}

int TComPort::Read(void* buffer, int count)
{
    if (!Connected() || count <= 0)
        return 0;
    return int(m_port->read(static_cast<char*>(buffer), count));
}

void TComPort::SetConnected(bool value)
{
    if (!value) {
        Close();
        return;
    }
    if (Connected())
        return;
    Open();
}

QString TComPort::Device() const
{
    return Connected() ? m_device : QString();
}

QString TComPort::DeviceDescription() const
{
    if (!m_label.isEmpty())
        return m_label;
    return m_settings.Port.trimmed().isEmpty() ? QStringLiteral("a porta") : QStringLiteral("a porta %1").arg(m_settings.Port);
}

void TComPort::Open()
{
    const QString what = DeviceDescription();
    const TOpenProblem problem = DeviceProblem(m_settings.Port);
    if (!problem.IsEmpty())
        ThrowOpenFailure(what, problem);
    // Resolved at every open: a link may lead elsewhere by now.
    const QString device = DevicePathToOpen(m_settings.Port);
    m_port->setPortName(device);
    SetLine();

    // The program only receives: nothing is ever sent to the device.
    m_opening = true;
    const bool opened = m_port->open(QIODevice::ReadOnly);
    m_opening = false;
    if (!opened) {
        const TOpenProblem failure = OpenFailure(device, m_port->error(), m_port->errorString());
        m_port->clearError();
        ThrowOpenFailure(what, failure);
    }
    if (!LockOpenDevice(int(m_port->handle()))) {
        m_port->close();
        m_port->clearError();
        ThrowOpenFailure(what, HeldByFlock());
    }
    m_device = device;
    ApplyModemLines();
    emit connectedChanged(true);
}

void TComPort::ApplyModemLines()
{
    // Opening a tty raises DTR and RTS; the settings say which stay up. Both
    // move in one request (see modem_lines.h). A line without modem control
    // (a pseudo-terminal) has nothing to hold off; any other refusal costs
    // the program nothing, as it never uses the lines, but is not hidden.
    const int error = SetModemLines(int(m_port->handle()),
                                    {m_settings.Dtr, m_settings.Rts, m_settings.RtsIsOurs()});
    if (error != 0 && !HasNoModemLines(error))
        qWarning("%s", qUtf8Printable(QStringLiteral("Acelerômetro: não foi possível ajustar DTR/RTS em %1: %2")
                                          .arg(DeviceDescription(), QString::fromLocal8Bit(std::strerror(error)))));
}

const char* TComPort::SetLine()
{
    if (!m_port->setBaudRate(m_settings.BaudRate))
        return "velocidade";
    if (!m_port->setDataBits(m_settings.DataBits))
        return "bits de dados";
    if (!m_port->setParity(m_settings.Parity))
        return "paridade";
    if (!m_port->setStopBits(m_settings.StopBits))
        return "bits de parada";
    if (!m_port->setFlowControl(m_settings.FlowControl))
        return "controle de fluxo";
    return nullptr;
}

void TComPort::ApplyLineSettings(const QString& device)
{
    if (const char* refused = SetLine()) {
        const QString reason = PortErrorReason(m_port->error(), m_port->errorString());
        m_port->clearError();
        Close();
        Throw(QStringLiteral("Não foi possível aplicar a configuração (%1) em %2: %3. A porta foi fechada.")
                  .arg(QString::fromUtf8(refused), device, reason));
    }
    ApplyModemLines();
}

void TComPort::SetSettings(const TSerialSettings& settings)
{
    const TSerialSettings old = m_settings;
    m_settings = settings;
    if (!Connected() || (settings.Port == old.Port && settings.SameLine(old)))
        return;
    if (settings.Port != old.Port) {
        // Another device: reopen there.
        Close();
        Open();
        return;
    }
    ApplyLineSettings(DeviceDescription());
}

void TComPort::Close()
{
    if (!Connected())
        return;
    m_port->close();
    m_port->clearError();
    emit connectedChanged(false);
}

void TComPort::OnReadyRead()
{
    if (!Connected() || !OnRxChar)
        return;
    const int count = int(qMin<qint64>(m_port->bytesAvailable(), INT_MAX));
    // Nothing thrown by the handler may cross Qt's event loop.
    try {
        OnRxChar(this, count);
    } catch (...) {
        Fail(QString::fromStdString(CurrentExceptionText()), fkHandlerFailed);
    }
}

void TComPort::OnErrorOccurred(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
        break;
    default:
        // NoError (emitted on open), UnsupportedOperationError (modem lines
        // on a pty), TimeoutError and the rest do not end the connection.
        return;
    }
    if (m_opening || !Connected())
        return;
    const QString port = m_settings.Port.trimmed();
    const QString where = port == m_device ? port : QStringLiteral("%1 (%2)").arg(port, m_device);
    Fail(DeviceLostMessage(where), fkDeviceLost);
}

void TComPort::Fail(const QString& message, TFailureKind kind)
{
    Close();
    QMetaObject::invokeMethod(
        this, [this, message, kind] { emit failure(message, kind); }, Qt::QueuedConnection);
}

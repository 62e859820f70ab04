#include "device_resolver.h"

#include "exception.h"
#include "simulated_device.h"

TDeviceResolver::TDeviceResolver() = default;
TDeviceResolver::~TDeviceResolver() = default;

QString TDeviceResolver::SimulatedName()
{
    return QStringLiteral("Acelerômetro simulado");
}

QString TDeviceResolver::SimulatedDescription()
{
    return QStringLiteral("Um acelerômetro simulado pelo programa, a 9600 baud");
}

QString TDeviceResolver::DevicePath(const QString& port)
{
    const QString name = port.trimmed();
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return name;
    return QStringLiteral("/dev/") + name;
}

QString TDeviceResolver::Acquire(const QString& port)
{
    if (port.trimmed().isEmpty())
        throw Exception(QStringLiteral("Nenhuma porta foi escolhida: escolha uma em Config. Serial, "
                                       "como /dev/ttyUSB0 ou Acelerômetro simulado.")
                            .toStdString());
    if (!IsSimulated(port))
        return DevicePath(port);
    if (!m_simulator)
        m_simulator = std::make_unique<TSimulatedDevice>();
    try {
        return QString::fromStdString(m_simulator->Start());
    } catch (const std::exception& e) {
        m_simulator->Stop();
        throw Exception(QStringLiteral("Não foi possível iniciar o acelerômetro simulado: %1")
                            .arg(QString::fromStdString(e.what()))
                            .toStdString());
    }
}

void TDeviceResolver::Release()
{
    if (m_simulator)
        m_simulator->Stop();
}

QString TDeviceResolver::Describe(const QString& port, const QString& path) const
{
    if (IsSimulated(port))
        return QStringLiteral("o acelerômetro simulado (%1)").arg(path);
    return path == port.trimmed() ? QStringLiteral("a porta %1").arg(path)
                                  : QStringLiteral("a porta \"%1\" (%2)").arg(port.trimmed(), path);
}

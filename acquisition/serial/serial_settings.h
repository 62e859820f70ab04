#pragma once
// Line settings of the serial port. The defaults are the port's start-up
// settings: "COM10", 9600 baud, 8 data bits, no parity, 1 stop bit, no flow
// control, DTR and RTS held off. Settings live for the run only; nothing
// here is ever saved.

#include <QSerialPort>
#include <QString>

// The port name that selects the built-in simulated accelerometer instead of
// a device.
inline QString SimulatedDeviceName() { return QStringLiteral("Acelerômetro simulado"); }

struct TSerialSettings {
    QString Port = QStringLiteral("COM10");
    qint32 BaudRate = 9600;
    QSerialPort::DataBits DataBits = QSerialPort::Data8;
    QSerialPort::Parity Parity = QSerialPort::NoParity;
    QSerialPort::StopBits StopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl FlowControl = QSerialPort::NoFlowControl;
    bool Dtr = false;   // DTR line raised while open
    bool Rts = false;   // RTS line raised while open (ignored under RTS/CTS flow control)

    bool operator==(const TSerialSettings& o) const;
    bool operator!=(const TSerialSettings& o) const { return !(*this == o); }

    // True when Port names the simulated accelerometer.
    bool IsSimulated() const { return Port == SimulatedDeviceName(); }
};

// The device a port name stands for on Linux: a name without '/' is a device
// under /dev ("COM10" is /dev/COM10, "ttyUSB0" is /dev/ttyUSB0); a name with
// a '/' is a path and is used as given.
QString DevicePath(const QString& port);

// The standard baud rates offered by the settings dialog, 110 to 921600.
const QList<qint32>& StandardBaudRates();

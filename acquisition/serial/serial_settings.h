#pragma once
// Line settings of the serial port. The defaults are the port's start-up
// settings: "COM10", 9600 baud, 8 data bits, no parity, 1 stop bit, no flow
// control, DTR and RTS held off, no automatic reconnection. Settings live
// for the run only; nothing here is ever saved.

#include <QList>
#include <QSerialPort>
#include <QString>

struct TSerialSettings {
    // What the user chose: a device name ("COM10", "ttyUSB0"), a path, or
    // another name that capture turns into a path. The port itself
    // opens paths only.
    QString Port = QStringLiteral("COM10");
    qint32 BaudRate = 9600;
    QSerialPort::DataBits DataBits = QSerialPort::Data8;
    QSerialPort::Parity Parity = QSerialPort::NoParity;
    QSerialPort::StopBits StopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl FlowControl = QSerialPort::NoFlowControl;
    bool Dtr = false;   // DTR line raised while open
    bool Rts = false;   // RTS line raised while open (ignored under RTS/CTS flow control)
    // Not a line setting: whether capture reopens the port by
    // itself when the device goes away and comes back. The port ignores it.
    bool Reconnect = false;

    bool operator==(const TSerialSettings& o) const;
    bool operator!=(const TSerialSettings& o) const { return !(*this == o); }
    // The same line settings, whatever the port and Reconnect.
    bool SameLine(const TSerialSettings& o) const;
    // Under RTS/CTS flow control the driver owns RTS, and Rts is not used.
    bool RtsIsOurs() const { return FlowControl != QSerialPort::HardwareControl; }
};

// The highest rate a user may type, in the dialog or on the command line.
constexpr qint32 MaxBaudRate = 4000000;

// The standard baud rates offered by the settings dialog, 110 to 921600.
const QList<qint32>& StandardBaudRates();

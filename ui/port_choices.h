#pragma once
// What the port list of "Config. Serial" offers for the machine's serial
// ports: each port by name with its adapter's description, maker and
// serial number beside it, so that a user with two adapters knows which
// is the accelerometer; and after it the stable names that udev gives
// the adapter under /dev/serial/by-id, which stay the same whichever
// order adapters are plugged in (ttyUSB0 and ttyUSB1 may swap).

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// A port offered in the list: its name and what is shown beside it (and
// as its tooltip).
struct TPortChoice {
    QString Name;
    QString Description;
};

// One serial port as the system describes it.
struct TPortFacts {
    QString Name;          // ttyUSB0
    QString Location;      // /dev/ttyUSB0
    QString Description;   // FT232R USB UART
    QString Manufacturer;  // FTDI
    QString SerialNumber;  // A50285BI
};

// The choices for ports, sorted by name; stableNames maps a device's
// path (as Location) to the links that lead to it.
QList<TPortChoice> PortChoices(const QList<TPortFacts>& ports, const QMap<QString, QStringList>& stableNames);

// The links in folder (such as /dev/serial/by-id), by the device they lead
// to; links that lead nowhere are left out.
QMap<QString, QStringList> LinksByDevice(const QString& folder);

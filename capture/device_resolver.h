#pragma once
// What the port name chosen by the user stands for. The serial port opens
// paths only; this turns a name into one:
// - "Acelerômetro simulado" is the built-in simulated accelerometer: Acquire
//   starts it on a fresh pseudo-terminal and gives that terminal's path;
//   Release stops it (after the port has closed, so that the port does not
//   see a hang-up);
// - a name without '/' is a device under /dev ("COM10" is /dev/COM10,
//   "ttyUSB0" is /dev/ttyUSB0);
// - a name with a '/' is a path, used as given;
// - an empty or blank name stands for nothing: Acquire says so.

#include <QString>

#include <memory>

class TSimulatedDevice;

class TDeviceResolver {
public:
    TDeviceResolver();
    ~TDeviceResolver();
    TDeviceResolver(const TDeviceResolver&) = delete;
    TDeviceResolver& operator=(const TDeviceResolver&) = delete;

    static QString SimulatedName();
    static QString SimulatedDescription();
    static bool IsSimulated(const QString& port) { return port.trimmed() == SimulatedName(); }
    // The path a device name stands for (not for the simulated device);
    // empty for a blank name.
    static QString DevicePath(const QString& port);
    // The path whose return a wait for port looks for: none for the
    // simulated device, which is started afresh.
    static QString PathToWaitFor(const QString& port) { return IsSimulated(port) ? QString() : DevicePath(port); }

    // The path to open for port, starting the simulated device when port
    // names it. Throws Exception when that cannot be done.
    QString Acquire(const QString& port);
    // Stops the simulated device, if it runs.
    void Release();

    // How messages name the device of port once acquired, e.g.
    // 'a porta "COM10" (/dev/COM10)' or 'o acelerômetro simulado (/dev/pts/4)'.
    QString Describe(const QString& port, const QString& path) const;

private:
    std::unique_ptr<TSimulatedDevice> m_simulator;
};

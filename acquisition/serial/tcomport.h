#pragma once
// The serial port: a thin layer over QSerialPort that opens, watches and
// closes the line with the program's settings, raises the receive
// notification on the GUI thread, and is the IRxSource of the frame decoder.
//
// Failure policy:
// - Opening fails (missing device, no permission, a port in use, something
//   that is not a serial port, bad settings): Exception naming the device,
//   the reason and, where there is one, what to do (open_failure.h); the
//   port stays closed. A symbolic link is followed afresh at every open.
// - Once open, the port holds an exclusive flock on the device besides
//   Qt's lock file, so tools that use either see it in use.
// - The device goes away while open (cable pulled, pty master closed): the
//   port closes and `failure` reports it once, as fkDeviceLost. On a hang-up QSerialPort may
//   report ReadError (repeatedly) or ResourceError; either closes the port.
//   UnsupportedOperationError (modem lines on a pseudo-terminal) is no
//   reason to close.
// - OnRxChar throws: the exception is caught where the notification is
//   raised (it must never cross Qt's event loop), the port closes and
//   `failure` carries the exception's text (empty for a thrown value that
//   is not an exception), as fkHandlerFailed.
// `failure` is always emitted after the notification has returned (queued),
// so no modal box is ever shown from inside one.

#include "frame_decoder.h"
#include "serial_settings.h"

#include <QObject>

#include <functional>

class TComPort : public QObject, public IRxSource {
    Q_OBJECT
public:
    // Why the port closed by itself.
    enum TFailureKind { fkDeviceLost, fkHandlerFailed };
    Q_ENUM(TFailureKind)

    explicit TComPort(QObject* parent = nullptr);
    ~TComPort() override;

    // IRxSource
    bool Connected() const override;
    // Takes up to count waiting bytes; returns how many (0 when closed).
    int Read(void* buffer, int count) override;

    // true: opens with the current settings; nothing when already open;
    // throws Exception on failure (the port stays closed). false: Close().
    void SetConnected(bool value);
    // Closes the port; nothing when already closed.
    void Close();

    // The settings; Port is the path of the device (a relative one is
    // taken from the current folder).
    const TSerialSettings& Settings() const { return m_settings; }
    // Replaces the settings. When open, the new line settings take effect at
    // once; a new device reopens the port there; Reconnect is not the port's
    // business and changes nothing. Throws Exception when they
    // cannot be applied; the port is then closed.
    void SetSettings(const TSerialSettings& settings);

    // The device the port has open, links resolved ("/dev/ttyUSB0" for
    // /dev/COM10 made by a udev rule); empty while closed.
    QString Device() const;

    // How messages name the device, e.g. 'a porta "COM10" (/dev/COM10)';
    // empty: "a porta" and the path.
    void SetDeviceLabel(const QString& label) { m_label = label; }
    QString DeviceDescription() const;

    // The receive notification: the sender (this port) and the number of all
    // bytes waiting. Raised on the GUI thread while open.
    std::function<void(QObject* sender, int count)> OnRxChar;

signals:
    void connectedChanged(bool connected);
    // One message per incident (device gone, failing receive handler),
    // delivered after the notification that met it has returned.
    void failure(const QString& message, TComPort::TFailureKind kind);

private:
    void Open();
    // Hands the line settings to the port; returns the name of the first one
    // it refused, or nullptr. Before opening, the port only stores them.
    const char* SetLine();
    void ApplyLineSettings(const QString& device);
    void ApplyModemLines();
    void OnReadyRead();
    void OnErrorOccurred(QSerialPort::SerialPortError error);
    // Closes the port and reports `message` through `failure`, queued.
    void Fail(const QString& message, TFailureKind kind);

    TSerialSettings m_settings;
    QString m_label;
    QString m_device;
    QSerialPort* m_port = nullptr;
    bool m_opening = false;
};

#pragma once
// The modal "Config. Serial" dialog: port (the machine's serial ports, the
// entries the caller adds, such as the simulated accelerometer, or a path
// typed by hand), baud rate (standard rates or a custom one), data bits,
// parity, stop bits, flow control, the DTR/RTS lines and automatic
// reconnection. It edits a copy of the settings; Settings() gives the
// user's choice.
//
// The port list follows the machine while the dialog is open: when /dev
// changes (an adapter plugged in or pulled out) the list is read again;
// what the user typed in the port box stays as typed, and typing is never
// completed inline (matching entries are offered in a list below instead).
// Each port shows what it is beside its name, and the adapters' stable
// names (/dev/serial/by-id/...) are offered too (port_choices.h).

#include "port_choices.h"
#include "serial_settings.h"

#include <QDialog>
#include <QList>

#include <functional>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QFileSystemWatcher;
class QTimer;

class TSerialSetupDialog : public QDialog {
    Q_OBJECT
public:
    TSerialSetupDialog(const TSerialSettings& settings, const QList<TPortChoice>& extraPorts,
                       QWidget* parent = nullptr);

    // The settings as the widgets show them.
    TSerialSettings Settings() const;

    // The machine's serial ports, by name, and their stable names, each
    // with its details.
    using TPortSource = std::function<QList<TPortChoice>()>;
    static QList<TPortChoice> MachinePorts();
    // Where the list comes from and which folder's changes read it again
    // (by default MachinePorts and /dev); reads it at once.
    void SetPortSource(TPortSource source, const QString& watchedFolder);
    // Reads the port list again, keeping what the port box shows.
    void RefreshPorts();

private:
    void UpdateState();
    void Watch(const QString& folder);

    QComboBox* m_port = nullptr;
    QComboBox* m_baud = nullptr;
    QComboBox* m_dataBits = nullptr;
    QComboBox* m_parity = nullptr;
    QComboBox* m_stopBits = nullptr;
    QComboBox* m_flow = nullptr;
    QCheckBox* m_dtr = nullptr;
    QCheckBox* m_rts = nullptr;
    QCheckBox* m_reconnect = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    QList<TPortChoice> m_extraPorts;
    TPortSource m_source;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_settle = nullptr;
};

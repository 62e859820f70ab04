#pragma once
// The modal "Config. Serial" dialog: port (the machine's serial ports, the
// entries the caller adds, such as the simulated accelerometer, or a path
// typed by hand), baud rate (standard rates or a custom one), data bits,
// parity, stop bits, flow control and the DTR/RTS lines. It edits a copy of
// the settings; Settings() gives the user's choice.

#include "serial_settings.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;

// A port offered besides the machine's own: its name and a tooltip.
struct TPortChoice {
    QString Name;
    QString Description;
};

class TSerialSetupDialog : public QDialog {
    Q_OBJECT
public:
    TSerialSetupDialog(const TSerialSettings& settings, const QList<TPortChoice>& extraPorts,
                       QWidget* parent = nullptr);

    // The settings as the widgets show them.
    TSerialSettings Settings() const;

private:
    void UpdateState();

    QComboBox* m_port = nullptr;
    QComboBox* m_baud = nullptr;
    QComboBox* m_dataBits = nullptr;
    QComboBox* m_parity = nullptr;
    QComboBox* m_stopBits = nullptr;
    QComboBox* m_flow = nullptr;
    QCheckBox* m_dtr = nullptr;
    QCheckBox* m_rts = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

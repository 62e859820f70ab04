#pragma once
// The modal "Config. Serial" dialog: port (the machine's serial ports, the
// simulated accelerometer, or a path typed by hand), baud rate (standard
// rates or a custom one), data bits, parity, stop bits, flow control and the
// DTR/RTS lines. It edits a copy of the settings; Settings() gives the
// user's choice.

#include "serial_settings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;

class TSerialSetupDialog : public QDialog {
    Q_OBJECT
public:
    explicit TSerialSetupDialog(const TSerialSettings& settings, QWidget* parent = nullptr);

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

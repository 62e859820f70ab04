#include "serial_setup_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QVBoxLayout>

namespace {

QComboBox* MakeChoice(QWidget* parent, const char* objectName,
                      std::initializer_list<std::pair<QString, int>> items, int current)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(objectName));
    for (const auto& [text, value] : items)
        box->addItem(text, value);
    const int index = box->findData(current);
    box->setCurrentIndex(index >= 0 ? index : 0);
    return box;
}

} // namespace

TSerialSetupDialog::TSerialSetupDialog(const TSerialSettings& s, const QList<TPortChoice>& extraPorts,
                                       QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Config. Serial"));
    setModal(true);

    m_port = new QComboBox(this);
    m_port->setObjectName(QStringLiteral("portCombo"));
    m_port->setEditable(true);
    m_port->setInsertPolicy(QComboBox::NoInsert);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        QString label = info.portName();
        m_port->addItem(label);
        QStringList details;
        if (!info.description().isEmpty())
            details << info.description();
        if (!info.manufacturer().isEmpty())
            details << info.manufacturer();
        details << info.systemLocation();
        m_port->setItemData(m_port->count() - 1, details.join(QStringLiteral(" · ")), Qt::ToolTipRole);
    }
    for (const TPortChoice& choice : extraPorts) {
        m_port->addItem(choice.Name);
        m_port->setItemData(m_port->count() - 1, choice.Description, Qt::ToolTipRole);
    }
    m_port->setCurrentText(s.Port);
    m_port->setToolTip(QStringLiteral("Nome sem '/' é um dispositivo em /dev (COM10 é /dev/COM10); "
                                      "um caminho completo é usado como está."));

    m_baud = new QComboBox(this);
    m_baud->setObjectName(QStringLiteral("baudCombo"));
    m_baud->setEditable(true);
    m_baud->setInsertPolicy(QComboBox::NoInsert);
    m_baud->setValidator(new QIntValidator(1, 4000000, m_baud));
    for (qint32 rate : StandardBaudRates())
        m_baud->addItem(QString::number(rate));
    m_baud->setCurrentText(QString::number(s.BaudRate));
    m_baud->setToolTip(QStringLiteral("Escolha uma velocidade padrão ou digite outra."));

    m_dataBits = MakeChoice(this, "dataBitsCombo",
                            {{QStringLiteral("5"), QSerialPort::Data5},
                             {QStringLiteral("6"), QSerialPort::Data6},
                             {QStringLiteral("7"), QSerialPort::Data7},
                             {QStringLiteral("8"), QSerialPort::Data8}},
                            s.DataBits);
    m_parity = MakeChoice(this, "parityCombo",
                          {{QStringLiteral("Nenhuma"), QSerialPort::NoParity},
                           {QStringLiteral("Ímpar"), QSerialPort::OddParity},
                           {QStringLiteral("Par"), QSerialPort::EvenParity},
                           {QStringLiteral("Marca"), QSerialPort::MarkParity},
                           {QStringLiteral("Espaço"), QSerialPort::SpaceParity}},
                          s.Parity);
    m_stopBits = MakeChoice(this, "stopBitsCombo",
                            {{QStringLiteral("1"), QSerialPort::OneStop},
                             {QStringLiteral("1,5"), QSerialPort::OneAndHalfStop},
                             {QStringLiteral("2"), QSerialPort::TwoStop}},
                            s.StopBits);
    m_flow = MakeChoice(this, "flowCombo",
                        {{QStringLiteral("Nenhum"), QSerialPort::NoFlowControl},
                         {QStringLiteral("Hardware (RTS/CTS)"), QSerialPort::HardwareControl},
                         {QStringLiteral("Software (XON/XOFF)"), QSerialPort::SoftwareControl}},
                        s.FlowControl);

    m_dtr = new QCheckBox(QStringLiteral("Ligado"), this);
    m_dtr->setObjectName(QStringLiteral("dtrCheck"));
    m_dtr->setChecked(s.Dtr);
    m_rts = new QCheckBox(QStringLiteral("Ligado"), this);
    m_rts->setObjectName(QStringLiteral("rtsCheck"));
    m_rts->setChecked(s.Rts);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Porta:"), m_port);
    form->addRow(QStringLiteral("Velocidade (baud):"), m_baud);
    form->addRow(QStringLiteral("Bits de dados:"), m_dataBits);
    form->addRow(QStringLiteral("Paridade:"), m_parity);
    form->addRow(QStringLiteral("Bits de parada:"), m_stopBits);
    form->addRow(QStringLiteral("Controle de fluxo:"), m_flow);
    form->addRow(QStringLiteral("Linha DTR:"), m_dtr);
    form->addRow(QStringLiteral("Linha RTS:"), m_rts);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    m_buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_buttons);

    connect(m_port, &QComboBox::currentTextChanged, this, &TSerialSetupDialog::UpdateState);
    connect(m_baud, &QComboBox::currentTextChanged, this, &TSerialSetupDialog::UpdateState);
    connect(m_flow, &QComboBox::currentIndexChanged, this, &TSerialSetupDialog::UpdateState);
    UpdateState();
}

void TSerialSetupDialog::UpdateState()
{
    // Under RTS/CTS flow control the driver owns the RTS line.
    m_rts->setEnabled(m_flow->currentData().toInt() != QSerialPort::HardwareControl);
    bool baudOk = false;
    const int baud = m_baud->currentText().toInt(&baudOk);
    const bool valid = !m_port->currentText().trimmed().isEmpty() && baudOk && baud > 0;
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(valid);
}

TSerialSettings TSerialSetupDialog::Settings() const
{
    TSerialSettings s;
    s.Port = m_port->currentText().trimmed();
    s.BaudRate = m_baud->currentText().toInt();
    s.DataBits = QSerialPort::DataBits(m_dataBits->currentData().toInt());
    s.Parity = QSerialPort::Parity(m_parity->currentData().toInt());
    s.StopBits = QSerialPort::StopBits(m_stopBits->currentData().toInt());
    s.FlowControl = QSerialPort::FlowControl(m_flow->currentData().toInt());
    s.Dtr = m_dtr->isChecked();
    s.Rts = m_rts->isChecked();
    return s;
}

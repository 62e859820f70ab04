#include "serial_setup_dialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFileSystemWatcher>
#include <QFormLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

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

// A press outside a completion list closes the list, and on X11 (as
// offscreen) Qt then drops the press: after typing a baud rate the first
// click on OK did nothing but close the list of matches. The press is
// handed on, as a click, to the widget of the dialog under it.
class TClickThrough : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::MouseButtonPress)
            return false;
        auto* popup = static_cast<QWidget*>(watched);
        const auto* press = static_cast<QMouseEvent*>(event);
        const QPoint global = press->globalPosition().toPoint();
        if (popup->rect().contains(popup->mapFromGlobal(global)))
            return false;
        popup->hide();
        QWidget* target = QApplication::widgetAt(global);
        auto* dialog = qobject_cast<QWidget*>(parent());
        if (target == nullptr || dialog == nullptr || target->window() != dialog->window() || !target->isEnabled())
            return true;
        const QPointF local = target->mapFromGlobal(press->globalPosition());
        QMouseEvent down(QEvent::MouseButtonPress, local, press->globalPosition(), press->button(), press->buttons(),
                         press->modifiers());
        QApplication::sendEvent(target, &down);
        QMouseEvent up(QEvent::MouseButtonRelease, local, press->globalPosition(), press->button(),
                       press->buttons() & ~press->button(), press->modifiers());
        QApplication::sendEvent(target, &up);
        return true;
    }
};

// An editable box whose typing is never completed inline: an inline
// completion selects the rest of the first match, so "tt" becomes "ttyS0"
// and the next key replaces the selection. Matches show in a list instead,
// which lets a click outside it through.
void OfferMatchesWithoutCompleting(QComboBox* box, QWidget* dialog)
{
    box->completer()->setCompletionMode(QCompleter::PopupCompletion);
    // Installed after the completer's own filter, so it runs first.
    box->completer()->popup()->installEventFilter(new TClickThrough(dialog));
}

// Shows the text as typed in the box and, in the list that drops down, an
// item's details (its tooltip) beside its name.
class TDetailsBesideName : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString details = index.data(Qt::ToolTipRole).toString();
        if (!details.isEmpty())
            option->text += QStringLiteral("    —  ") + details;
    }
};

// Makes the item with text current, so that the list opens on it; a text
// that is no item is shown as typed.
void ShowCurrent(QComboBox* box, const QString& text)
{
    const int index = box->findText(text);
    if (index >= 0)
        box->setCurrentIndex(index);
    box->setCurrentText(text);
}

// How long /dev is left to settle after a change: udev adds a device node,
// then its links, in a burst.
constexpr int SettleMs = 200;

} // namespace

QList<TPortChoice> TSerialSetupDialog::MachinePorts()
{
    QList<TPortFacts> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.append({info.portName(), info.systemLocation(), info.description(), info.manufacturer(),
                      info.serialNumber()});
    return PortChoices(ports, LinksByDevice(QStringLiteral("/dev/serial/by-id")));
}

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
    m_port->setItemDelegate(new TDetailsBesideName(m_port));
    OfferMatchesWithoutCompleting(m_port, this);
    m_extraPorts = extraPorts;
    m_source = &TSerialSetupDialog::MachinePorts;
    RefreshPorts();
    ShowCurrent(m_port, s.Port);
    m_settle = new QTimer(this);
    m_settle->setSingleShot(true);
    m_settle->setInterval(SettleMs);
    connect(m_settle, &QTimer::timeout, this, &TSerialSetupDialog::RefreshPorts);
    Watch(QStringLiteral("/dev"));
    m_port->setToolTip(QStringLiteral("Nome sem '/' é um dispositivo em /dev (COM10 é /dev/COM10); "
                                      "um caminho completo é usado como está."));

    m_baud = new QComboBox(this);
    m_baud->setObjectName(QStringLiteral("baudCombo"));
    m_baud->setEditable(true);
    m_baud->setInsertPolicy(QComboBox::NoInsert);
    m_baud->setValidator(new QIntValidator(1, MaxBaudRate, m_baud));
    OfferMatchesWithoutCompleting(m_baud, this);
    for (qint32 rate : StandardBaudRates())
        m_baud->addItem(QString::number(rate));
    ShowCurrent(m_baud, QString::number(s.BaudRate));
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
    m_reconnect = new QCheckBox(QStringLiteral("Reconectar automaticamente"), this);
    m_reconnect->setObjectName(QStringLiteral("reconnectCheck"));
    m_reconnect->setChecked(s.Reconnect);
    m_reconnect->setToolTip(QStringLiteral("Se o dispositivo sumir (cabo desconectado), a porta é reaberta sozinha, "
                                           "com a mesma configuração, assim que ele voltar. Para encerra a espera."));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Porta:"), m_port);
    form->addRow(QStringLiteral("Velocidade (baud):"), m_baud);
    form->addRow(QStringLiteral("Bits de dados:"), m_dataBits);
    form->addRow(QStringLiteral("Paridade:"), m_parity);
    form->addRow(QStringLiteral("Bits de parada:"), m_stopBits);
    form->addRow(QStringLiteral("Controle de fluxo:"), m_flow);
    form->addRow(QStringLiteral("Linha DTR:"), m_dtr);
    form->addRow(QStringLiteral("Linha RTS:"), m_rts);
    form->addRow(QString(), m_reconnect);

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
    s.Reconnect = m_reconnect->isChecked();
    return s;
}

void TSerialSetupDialog::SetPortSource(TPortSource source, const QString& watchedFolder)
{
    m_source = std::move(source);
    Watch(watchedFolder);
    RefreshPorts();
}

void TSerialSetupDialog::Watch(const QString& folder)
{
    delete m_watcher;
    m_watcher = new QFileSystemWatcher(this);
    m_watcher->addPath(folder);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_settle, qOverload<>(&QTimer::start));
}

void TSerialSetupDialog::RefreshPorts()
{
    QList<TPortChoice> wanted = m_source ? m_source() : QList<TPortChoice>();
    wanted += m_extraPorts;
    const auto isWanted = [&](const QString& name) {
        return std::any_of(wanted.begin(), wanted.end(), [&](const TPortChoice& c) { return c.Name == name; });
    };

    // Removing or inserting items moves the current index, and an editable
    // box then shows the text of whatever item became current: the typed
    // text, its cursor and selection go back as they were.
    QLineEdit* edit = m_port->lineEdit();
    const QString typed = edit->text();
    const int cursor = edit->cursorPosition();
    const int selectionStart = edit->selectionStart();
    const int selectionLength = edit->selectedText().size();
    {
        const QSignalBlocker blocker(m_port);
        for (int i = m_port->count() - 1; i >= 0; --i) {
            if (!isWanted(m_port->itemText(i)))
                m_port->removeItem(i);
        }
        // What is left keeps its order, which is the wanted order.
        for (int i = 0; i < wanted.size(); ++i) {
            if (i >= m_port->count() || m_port->itemText(i) != wanted[i].Name)
                m_port->insertItem(i, wanted[i].Name);
            m_port->setItemData(i, wanted[i].Description, Qt::ToolTipRole);
        }
        if (edit->text() != typed)
            edit->setText(typed);
    }
    if (selectionStart >= 0)
        edit->setSelection(selectionStart, selectionLength);
    else
        edit->setCursorPosition(cursor);
    // The list as wide as its longest entry with its details, which would
    // otherwise be cut in the middle.
    QAbstractItemView* view = m_port->view();
    view->setMinimumWidth(view->sizeHintForColumn(0) + 2 * view->frameWidth()
                          + view->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

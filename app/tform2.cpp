#include "tform2.h"
#include "ui_tform2.h"

#include "accelerometer_chart.h"
#include "data_actions.h"
#include "link_status.h"
#include "reconnector.h"
#include "serial_setup_dialog.h"
#include "tapplication.h"
#include "tchart.h"
#include "tcomled.h"
#include "tcomport.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

TForm2* Form2 = nullptr;

TForm2::TForm2(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::TForm2>())
{
    m_ui->setupUi(this);

    // Button-face colour for the window's background; a sans-serif font
    // where Tahoma is missing.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);
    QFont f = font();
    f.setStyleHint(QFont::SansSerif);
    setFont(f);

    Chart1 = m_ui->Chart1;
    Button1 = m_ui->Button1;
    Button2 = m_ui->Button2;
    Button3 = m_ui->Button3;
    ComLed1 = m_ui->ComLed1;
    StatusLine = m_ui->StatusLine;

    // The port starts closed with its start-up settings.
    ComPort1 = new TComPort(this);
    ComPort1->setObjectName(QStringLiteral("ComPort1"));

    const TAccelerometerSeries series = ApplyAccelerometerChart(*Chart1, m_session);
    Series1 = series.Series1;
    Series2 = series.Series2;
    Series3 = series.Series3;

    ComLed1->SetComPort(ComPort1);
    ComLed1->SetLedSignal(TComLed::lsConn);
    ComLed1->SetKind(TComLed::lkRedLight);

    m_data = std::make_unique<TDataActions>(*this, m_session, *Chart1);
    connect(m_data.get(), &TDataActions::recordingStateChanged, this, &TForm2::recordingStateChanged);

    // The device to wait for is the one chosen now, reopened as Inicia would.
    m_reconnector = new TReconnector(
        [this] { return TDeviceResolver::PathToWaitFor(m_settings.Port); },
        [this] { OpenPort(); }, this);
    m_linkMonitor = new TLinkMonitor(
        StatusLine, ComLed1,
        [this] {
            const TLinkState state = ComPort1->Connected() ? TLinkState::Open
                : m_reconnector->Waiting()                 ? TLinkState::Waiting
                                                           : TLinkState::Closed;
            TLinkView view = MakeLinkView(m_receiver.Counters(), state, m_settings, ComPort1->Device(),
                                          m_reconnector->LastAttempt());
            view.Recording = m_data->RecordingState();
            return view;
        },
        [this] { return m_receiver.Now(); }, this);
    // The chart's menu offers what can be done with the session too.
    Chart1->AddMenuActions(m_data->Actions());
    m_chartGeometry = Chart1->geometry();

    BindHandlers();
}

TForm2::~TForm2()
{
    // The session and the device go before the child widgets and the port:
    // nothing may reach them from here on.
    m_reconnector->blockSignals(true);
    m_reconnector->Stop();
    ComPort1->OnRxChar = nullptr;
    ComPort1->blockSignals(true);
    ComPort1->Close();
    m_devices.Release();
    Chart1->Watch(nullptr);
}

void TForm2::BindHandlers()
{
    connect(Button1, &QPushButton::clicked, this, [this] { RunGuarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { RunGuarded([this] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { RunGuarded([this] { Button3Click(); }); });
    ComPort1->OnRxChar = [this](QObject* sender, int count) { ComPort1RxChar(sender, count); };
    connect(ComPort1, &TComPort::connectedChanged, this, &TForm2::PortConnectedChanged);
    connect(Chart1->FullScreenAction(), &QAction::toggled, this, &TForm2::ShowChartAlone);
    connect(ComPort1, &TComPort::failure, this, &TForm2::PortFailed);
    connect(m_reconnector, &TReconnector::waitingChanged, this, [this](bool waiting) {
        ComLed1->SetWaiting(waiting);
        m_linkMonitor->Refresh();
    });
}

void TForm2::ComPort1RxChar(QObject* /*sender*/, int count)
{
    m_receiver.HandleRxChar(count, *ComPort1, m_session);
}

void TForm2::Button1Click()
{
    const QList<TPortChoice> extra = {{TDeviceResolver::SimulatedName(), TDeviceResolver::SimulatedDescription()}};
    TSerialSetupDialog dialog(m_settings, extra, this);
    if (dialog.exec() == QDialog::Accepted)
        SetSerialSettings(dialog.Settings());
}

void TForm2::Button2Click()
{
    if (ComPort1->Connected() || m_reconnector->Waiting())
        return;
    if (m_settings.Reconnect && !m_reconnector->DeviceThere()) {
        m_reconnector->Start(TReconnector::NotPresent());
        return;
    }
    OpenPort();
}

void TForm2::FormClose()
{
    m_reconnector->Stop();
    if (ComPort1->Connected())
        ComPort1->Close();
    // The port is closed: the recording gets every frame that came.
    m_data->Shutdown();
}

void TForm2::Button3Click()
{
    m_reconnector->Stop();
    ComPort1->Close();
}

bool TForm2::WaitingForDevice() const
{
    return m_reconnector->Waiting();
}

void TForm2::SetSerialSettings(const TSerialSettings& settings)
{
    if (!settings.Reconnect)
        m_reconnector->Stop();
    const bool otherDevice = settings.Port.trimmed() != m_settings.Port.trimmed();
    m_settings = settings;
    if (!ComPort1->Connected())
        return;
    if (otherDevice) {
        ComPort1->Close();
        OpenPort();
        return;
    }
    TSerialSettings line = settings;
    line.Port = ComPort1->Settings().Port;
    ComPort1->SetSettings(line);
}

void TForm2::OpenPort()
{
    const QString path = m_devices.Acquire(m_settings.Port);
    TSerialSettings portSettings = m_settings;
    portSettings.Port = path;
    ComPort1->SetDeviceLabel(m_devices.Describe(m_settings.Port, path));
    ComPort1->SetSettings(portSettings);
    try {
        ComPort1->SetConnected(true);
    } catch (...) {
        m_devices.Release();
        throw;
    }
}

void TForm2::PortConnectedChanged(bool open)
{
    if (open) {
        // A new stream: nothing of the last one may join it. The session's
        // times count from the first opening.
        m_receiver.StreamRestarted();
        m_session.MarkStart(m_receiver.Now());
    } else {
        // The port is closed: stopping a simulated device is no hang-up now.
        m_devices.Release();
    }
    m_linkMonitor->Refresh();
}

void TForm2::PortFailed(const QString& message, int kind)
{
    // Failures that the port met on its own reach the user like any other
    // error, unless the device went away and is to be waited for.
    if (kind == TComPort::fkDeviceLost && m_settings.Reconnect) {
        m_reconnector->Start(message);
        return;
    }
    if (Application)
        Application->ShowException(message);
}

void TForm2::StartRecording(const QString& path)
{
    m_data->StartRecording(path);
}

void TForm2::StopRecording()
{
    m_data->StopRecording();
}

bool TForm2::IsRecording() const
{
    return m_data->IsRecording();
}

TRecordingState TForm2::RecordingState() const
{
    return m_data->RecordingState();
}

QList<QAction*> TForm2::DataActions() const
{
    return m_data->Actions();
}

void TForm2::SetDataDialogs(TDataDialogs dialogs)
{
    m_data->SetDialogs(std::move(dialogs));
}

void TForm2::ShowChartAlone(bool alone)
{
    if (alone == m_chartAlone)
        return;
    m_chartAlone = alone;
    Chart1->FullScreenAction()->setChecked(alone);
    if (alone) {
        // Everything but the chart steps aside, and comes back as it was.
        m_hiddenForChart.clear();
        for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (child != Chart1 && child->isVisible()) {
                m_hiddenForChart << child;
                child->hide();
            }
        }
        m_wasMaximized = isMaximized();
        showFullScreen();
        Chart1->setGeometry(rect());
        Chart1->setFocus(Qt::OtherFocusReason);
    } else {
        if (m_wasMaximized)
            showMaximized();
        else
            showNormal();
        Chart1->setGeometry(m_chartGeometry);
        for (const QPointer<QWidget>& child : m_hiddenForChart) {
            if (child)
                child->show();
        }
        m_hiddenForChart.clear();
    }
}

void TForm2::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_chartAlone)
        Chart1->setGeometry(rect());
}

void TForm2::closeEvent(QCloseEvent* event)
{
    RunGuarded([this] { FormClose(); });
    QWidget::closeEvent(event);
}

#include "tform2.h"
#include "ui_tform2.h"

#include "accelerometer_chart.h"
#include "serial_setup_dialog.h"
#include "tapplication.h"
#include "tchart.h"
#include "tcomled.h"
#include "tcomport.h"

#include <QAction>
#include <QCloseEvent>
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

    m_chartGeometry = Chart1->geometry();

    BindHandlers();
}

TForm2::~TForm2()
{
    // The session and the device go before the child widgets and the port:
    // nothing may reach them from here on.
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
    // Failures that the port met on its own (device gone, a receive
    // handler that failed) reach the user like any other error.
    connect(ComPort1, &TComPort::failure, this, [](const QString& message) {
        if (Application)
            Application->ShowException(message);
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
    if (!ComPort1->Connected())
        OpenPort();
}

void TForm2::FormClose()
{
    if (ComPort1->Connected())
        ComPort1->Close();
}

void TForm2::Button3Click()
{
    ComPort1->Close();
}

void TForm2::SetSerialSettings(const TSerialSettings& settings)
{
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

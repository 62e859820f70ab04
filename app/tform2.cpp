#include "tform2.h"
#include "ui_tform2.h"

#include "accelerometer_chart.h"
#include "analysis_action.h"
#include "calibration_actions.h"
#include "capture.h"
#include "data_actions.h"
#include "data_jobs.h"
#include "device_resolver.h"
#include "link_status.h"
#include "recording_viewers.h"
#include "serial_setup_dialog.h"
#include "tapplication.h"
#include "tchart.h"
#include "tcomled.h"
#include "tcomport.h"
#include "window_look.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

TForm2* Form2 = nullptr;

namespace {

TLinkState LinkStateOf(TCapture::TState state)
{
    switch (state) {
    case TCapture::TState::Open:
        return TLinkState::Open;
    case TCapture::TState::Waiting:
        return TLinkState::Waiting;
    case TCapture::TState::Closed:
        break;
    }
    return TLinkState::Closed;
}

}  // namespace

TForm2::TForm2(QWidget* parent)
    : QWidget(parent),
      m_ui(std::make_unique<Ui::TForm2>()),
      m_report([this](const std::string& message) { Report(message); })
{
    m_ui->setupUi(this);

    ApplyWindowLook(*this);

    Chart1 = m_ui->Chart1;
    Button1 = m_ui->Button1;
    Button2 = m_ui->Button2;
    Button3 = m_ui->Button3;
    ComLed1 = m_ui->ComLed1;
    StatusLine = m_ui->StatusLine;

    // The port starts closed with its start-up settings; capture reads it.
    ComPort1 = new TComPort(this);
    ComPort1->setObjectName(QStringLiteral("ComPort1"));
    m_capture = std::make_unique<TCapture>(*ComPort1, m_report);
    TSession& session = m_capture->Session();

    const TAccelerometerSeries series = ApplyAccelerometerChart(*Chart1, session);
    Series1 = series.Series1;
    Series2 = series.Series2;
    Series3 = series.Series3;

    ComLed1->SetComPort(ComPort1);
    ComLed1->SetLedSignal(TComLed::lsConn);
    ComLed1->SetKind(TComLed::lkRedLight);

    m_jobs = std::make_unique<TDataJobs>(session, m_report);
    m_data = std::make_unique<TDataActions>(*this, *m_jobs, session, *Chart1, m_report);

    m_linkMonitor = new TLinkMonitor(
        StatusLine, ComLed1,
        [this] {
            const TCapture& capture = *m_capture;
            TLinkView view = MakeLinkView(capture.Receiver().Counters(), LinkStateOf(capture.State()),
                                          capture.Settings(), ComPort1->Device(), capture.LastAttempt());
            view.Recording = m_jobs->RecordingState();
            if (!m_notice.isEmpty() && m_noticeAge.isValid() && m_noticeAge.elapsed() < NoticeMs)
                view.Notice = m_notice;
            return view;
        },
        [this] { return m_capture->Receiver().Now(); }, this);
    // The chart's menu offers what can be done with the session too, and
    // opening a recording made before, which files dropped on the window
    // do as well.
    m_viewers = std::make_unique<TRecordingViewers>(m_report);
    m_openRecording = m_viewers->CreateOpenAction(*this);
    AddChartMenuActions(m_data->Actions());
    m_analysis = CreateAnalysisAction(*this, *Chart1, session);
    AddChartMenuActions({m_openRecording, m_analysis});
    m_calibration = std::make_unique<TCalibrationActions>(*this, *Chart1, session, *m_jobs, m_report);
    AddChartMenuActions(m_calibration->Actions());
    m_viewers->TakeDrops(*this, *Chart1->viewport());
    m_chartGeometry = Chart1->geometry();

    BindHandlers();
}

TForm2::~TForm2()
{
    // Capture and the jobs go before the child widgets and the port:
    // nothing of theirs may reach the window from here on, nor the chart
    // read the session. A window destroyed without closing still gives a
    // recording its last rows.
    if (!m_closing) {
        m_closing = true;
        m_capture->Stop();
        m_jobs->Shutdown();
    }
    // The analysis windows read the session, which goes before the child
    // widgets do.
    CloseAnalysis(*this);
    m_calibration.reset();
    m_jobs->disconnect(this);
    m_capture->disconnect(this);
    ComPort1->blockSignals(true);
    Chart1->Watch(nullptr);
    m_viewers.reset();
}

void TForm2::Report(const std::string& message)
{
    // Closing: nobody would see a box, and one would hold up the end.
    if (m_closing || !Application) {
        std::fprintf(stderr, "acelerometro: %s\n", message.c_str());
        std::fflush(stderr);
        return;
    }
    Application->ShowException(QString::fromStdString(message));
}

void TForm2::FileSaved(const QString& what, const QString& path, std::uint64_t rows)
{
    ShowNotice(QStringLiteral("%1: %2, %3 linhas").arg(what, QFileInfo(path).fileName(), FormatCount(rows)));
}

void TForm2::ShowNotice(const QString& notice)
{
    m_notice = notice;
    m_noticeAge.start();
    m_linkMonitor->Refresh();
}

void TForm2::BindHandlers()
{
    connect(Button1, &QPushButton::clicked, this, [this] { RunReported(m_report, [this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { RunReported(m_report, [this] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { RunReported(m_report, [this] { Button3Click(); }); });
    // The port's receive notification reaches capture through the window's
    // handler, as declared.
    ComPort1->OnRxChar = [this](QObject* sender, int count) { ComPort1RxChar(sender, count); };
    connect(Chart1->FullScreenAction(), &QAction::toggled, this, &TForm2::ShowChartAlone);
    // The lamp is lit while the port is open (its own binding) and blinks
    // while capture waits for the device.
    connect(m_capture.get(), &TCapture::stateChanged, this, [this](TCapture::TState state) {
        ComLed1->SetWaiting(state == TCapture::TState::Waiting);
        m_linkMonitor->Refresh();
    });
    connect(m_jobs.get(), &TDataJobs::recordingStateChanged, m_linkMonitor, &TLinkMonitor::Refresh);
    connect(m_jobs.get(), &TDataJobs::recordingSaved, this, [this](const QString& path, std::uint64_t rows) {
        FileSaved(QStringLiteral("Gravação salva"), path, rows);
    });
    connect(m_jobs.get(), &TDataJobs::exportSaved, this, [this](const QString& path, std::uint64_t rows) {
        FileSaved(QStringLiteral("Exportação salva"), path, rows);
    });
    connect(m_calibration.get(), &TCalibrationActions::saved, this, [this](const QString& path) {
        ShowNotice(QStringLiteral("Calibração salva: %1").arg(QFileInfo(path).fileName()));
    });
    connect(m_jobs.get(), &TDataJobs::recordingFailed, this, [this](const QString& path) {
        ShowNotice(QStringLiteral("a gravação em %1 parou por um erro").arg(QFileInfo(path).fileName()));
    });
    connect(m_jobs.get(), &TDataJobs::exportFailed, this, [this](const QString& path) {
        ShowNotice(QStringLiteral("a exportação para %1 falhou").arg(QFileInfo(path).fileName()));
    });
}

void TForm2::ComPort1RxChar(QObject* /*sender*/, int count)
{
    m_capture->Receive(count);
}

void TForm2::Button1Click()
{
    const QList<TPortChoice> extra = {{TDeviceResolver::SimulatedName(), TDeviceResolver::SimulatedDescription()}};
    TSerialSetupDialog dialog(m_capture->Settings(), extra, this);
    if (dialog.exec() == QDialog::Accepted)
        m_capture->SetSettings(dialog.Settings());
}

void TForm2::Button2Click()
{
    m_capture->Start();
}

void TForm2::FormClose()
{
    m_closing = true;
    m_viewers->CloseAll();
    m_capture->Stop();
    // The port is closed: the recording gets every frame that came.
    m_jobs->Shutdown();
}

void TForm2::Button3Click()
{
    m_capture->Stop();
}

QList<QAction*> TForm2::DataActions() const
{
    return m_data->Actions();
}

void TForm2::SetDataDialogs(TDataDialogs dialogs)
{
    m_data->SetDialogs(dialogs);
    m_viewers->SetDataDialogs(std::move(dialogs));
}

void TForm2::AddChartMenuActions(const QList<QAction*>& actions)
{
    QList<QAction*> group;
    if (m_chartActionGroups++ > 0) {
        auto* separator = new QAction(this);
        separator->setSeparator(true);
        group << separator;
    }
    Chart1->AddMenuActions(group + actions);
    addActions(actions);
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
    RunReported(m_report, [this] { FormClose(); });
    // A message still up would keep the program running without its window.
    for (QMessageBox* box : findChildren<QMessageBox*>())
        box->close();
    QWidget::closeEvent(event);
}

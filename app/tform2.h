#pragma once
// The program's one window: chart, connection lamp, the three buttons, the
// status line below the chart and the serial port, laid out by tform2.ui
// and wired when it is created. The buttons drive the capture (capture.h),
// which reads the window's port into the session the chart shows; the
// chart's menu runs the jobs on that session (data_actions.h). Errors reach
// the user through the window's one reporter, which the capture and the
// jobs are given: a message box, but once the window is closing (the
// program ends, a signal may have asked it to) standard error, as no box
// may hold up the end. Recordings made before open in viewer windows of
// their own (recording_viewers.h), which close with this one.

#include "data_dialogs.h"
#include "reporter.h"

#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <memory>

class QAction;
class QCloseEvent;
class QLabel;
class QPushButton;
class TCalibrationActions;
class TCapture;
class TChart;
class TComLed;
class TComPort;
class TDataActions;
class TDataJobs;
class TFastLineSeries;
class TLinkMonitor;
class TRecordingViewers;

namespace Ui { class TForm2; }

class TForm2 : public QWidget {
    Q_OBJECT
public:
    // How long the status line says that a file is complete.
    static constexpr int NoticeMs = 6000;

    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // Components.
    TChart* Chart1 = nullptr;
    TComPort* ComPort1 = nullptr;
    TFastLineSeries* Series1 = nullptr;
    TFastLineSeries* Series2 = nullptr;
    TFastLineSeries* Series3 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    TComLed* ComLed1 = nullptr;
    QLabel* StatusLine = nullptr;

    // Event handlers.
    void ComPort1RxChar(QObject* sender, int count);
    void Button1Click();   // "Config. Serial": the settings dialog
    void Button2Click();   // "Inicia": start capture (errors reach the caller);
                           // with reconnection on, a device not there is waited for
    void FormClose();      // closing: stop capture, end the jobs
    void Button3Click();   // "Para": stop capture, waiting or open

    // What the window shows and drives: the port read into the session.
    TCapture& Capture() const { return *m_capture; }
    // Recording and export of the session.
    TDataJobs& DataJobs() const { return *m_jobs; }
    // Shows an error to the user.
    const TReporter& Reporter() const { return m_report; }
    const TLinkMonitor& LinkMonitor() const { return *m_linkMonitor; }

    // "Gravar…", "Parar gravação", "Exportar dados…", "Salvar imagem…",
    // owned by the window, for the menus that offer them.
    QList<QAction*> DataActions() const;
    // What the actions ask the user (a file, a picture's size, the
    // recordings to open), here and in the viewers.
    void SetDataDialogs(TDataDialogs dialogs);
    // "Abrir gravação…" (Ctrl+O), owned by the window.
    QAction* OpenRecordingAction() const { return m_openRecording; }
    // "Análise…" (A): the analysis window following Chart1.
    QAction* AnalysisAction() const { return m_analysis; }
    // The recordings open in viewer windows.
    TRecordingViewers& Viewers() const { return *m_viewers; }
    // Values in g: the calibration and its actions in the chart's menu.
    TCalibrationActions& Calibration() const { return *m_calibration; }
    // Actions owned by the caller for the chart's menu, after those there
    // (a separator between), and for the window's shortcuts.
    void AddChartMenuActions(const QList<QAction*>& actions);

    // "Tela cheia": the chart alone filling the window, the window on the
    // whole screen; off again, the declared layout.
    void ShowChartAlone(bool alone);
    bool ChartAlone() const { return m_chartAlone; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BindHandlers();
    void Report(const std::string& message);
    // Says on the status line, for NoticeMs, that a file is complete or
    // has failed (the message box says why).
    void FileSaved(const QString& what, const QString& path, std::uint64_t rows);
    void ShowNotice(const QString& notice);

    std::unique_ptr<Ui::TForm2> m_ui;
    TReporter m_report;
    // The session's owner: goes after everything that reads it.
    std::unique_ptr<TCapture> m_capture;
    std::unique_ptr<TDataJobs> m_jobs;
    std::unique_ptr<TDataActions> m_data;
    std::unique_ptr<TRecordingViewers> m_viewers;
    std::unique_ptr<TCalibrationActions> m_calibration;
    QAction* m_openRecording = nullptr;
    QAction* m_analysis = nullptr;
    TLinkMonitor* m_linkMonitor = nullptr;
    int m_chartActionGroups = 0;
    bool m_closing = false;
    QString m_notice;
    QElapsedTimer m_noticeAge;
    bool m_chartAlone = false;
    bool m_wasMaximized = false;
    QRect m_chartGeometry;                   // as declared
    QList<QPointer<QWidget>> m_hiddenForChart;
};

// The one instance, set by the application when it creates the window.
extern TForm2* Form2;

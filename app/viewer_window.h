#pragma once
// A window over a recording read back from its file: the main window's
// chart, over a session of its own that the file is read into
// (recording_load.h), with the data actions that need no port ("Exportar
// dados…", "Salvar imagem…"). The chart shows what has been read while the
// rest is read; the line below it says how far, with "Cancelar", and then
// what was read. A load that stopped early leaves the window "parcial".
//
// The window owns its session: closing it frees the points. Nothing of the
// main window (its port, its session, its jobs) is touched.

#include "data_dialogs.h"
#include "recording_loader.h"
#include "reporter.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <memory>

class QAction;
class QCloseEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class TCalibrationActions;
class TChart;
class TDataActions;
class TDataJobs;
class TFastLineSeries;
class TRecordingLoad;
class TSession;

class TViewerWindow : public QWidget {
    Q_OBJECT
public:
    // How long the status line says that an export is complete.
    static constexpr int NoticeMs = 6000;

    // Opens path for reading, not yet begun. Throws Exception when the file
    // cannot be read, is not a recording or is too large for the memory.
    // Errors met later go to report.
    TViewerWindow(const QString& path, TReporter report, TLoadOptions options = {});
    ~TViewerWindow() override;

    // Begins reading the file into the chart.
    void StartLoad();
    // Stops reading where it stands; what was read stays, "parcial".
    void CancelLoad();

    // Components.
    TChart* Chart1 = nullptr;
    TFastLineSeries* Series1 = nullptr;
    TFastLineSeries* Series2 = nullptr;
    TFastLineSeries* Series3 = nullptr;
    QLabel* StatusLine = nullptr;
    QProgressBar* LoadProgress = nullptr;
    QPushButton* CancelButton = nullptr;

    const QString& Path() const { return m_path; }
    TSession& Session() const { return *m_session; }
    TDataJobs& DataJobs() const { return *m_jobs; }
    bool Loading() const { return m_load != nullptr; }
    // How the reading ended (Status Loading while it goes on).
    const TLoadResult& Result() const { return m_result; }

    // Values in g: the window's own calibration and its actions, in the
    // chart's menu.
    TCalibrationActions& Calibration() const { return *m_calibration; }

    // "Exportar dados…", "Salvar imagem…", owned by the window.
    QList<QAction*> DataActions() const;
    void SetDataDialogs(TDataDialogs dialogs);
    // Actions owned by the caller for the chart's menu, after those there
    // (a separator between), and for the window's shortcuts.
    void AddChartMenuActions(const QList<QAction*>& actions);

    // "Tela cheia": the chart alone on the whole screen; off again, the
    // window as it was.
    void ShowChartAlone(bool alone);

signals:
    // The reading ended, however (Result says how).
    void loadEnded();
    // The window was closed: its owner frees it.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowProgress(qint64 rows, int permille);
    // Says on the status line for a few seconds that an export is complete
    // or has failed (the message box says why), then what was read again.
    void ShowNotice(const QString& notice);
    void LoadFinished();
    void UpdateTitle();
    QString FileName() const;

    QString m_path;
    TReporter m_report;
    // The session's readers go before it.
    std::unique_ptr<TSession> m_session;
    std::unique_ptr<TDataJobs> m_jobs;
    std::unique_ptr<TDataActions> m_data;
    std::unique_ptr<TCalibrationActions> m_calibration;
    std::unique_ptr<TRecordingLoad> m_load;
    TLoadResult m_result;
    QString m_summary;  // what was read, for the status line
    QWidget* m_statusRow = nullptr;
    bool m_chartAlone = false;
    bool m_wasMaximized = false;
    int m_actionGroups = 0;
};

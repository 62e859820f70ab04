#pragma once
// What the user can do with the session's data, as actions of the window:
// "Gravar…" and "Parar gravação" (the recording; only where points arrive),
// "Exportar dados…" (the whole session, in the program's format or for
// spreadsheets), both run by the jobs (data_jobs.h), and "Salvar imagem…"
// (the chart as PNG or SVG, chart_image.h, written by a save of its own,
// file_save.h). The window owns the actions;
// the menus that show them add them. Here: what the user is asked, and the
// export's progress.
//
// Errors go to the reporter; capture and the chart carry on whatever
// happens to a file.

#include "data_dialogs.h"
#include "reporter.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>

class QAction;
class QProgressDialog;
class QWidget;
class TChart;
class TDataJobs;
class TSession;

class TDataActions : public QObject {
    Q_OBJECT
public:
    // Live: a session that points arrive in, which may be recorded; Stored:
    // a session read back from a file, exported and pictured only.
    enum class TSource { Live, Stored };

    // window: the actions' owner and the dialogs' parent; jobs write the
    // session's files; chart: the chart the pictures show, over session.
    // All outlive this object.
    TDataActions(QWidget& window, TDataJobs& jobs, TSession& session, const TChart& chart, TReporter report,
                 TSource source = TSource::Live);
    ~TDataActions() override;

    // In menu order: Gravar…, Parar gravação (Live only), Exportar dados…,
    // Salvar imagem…
    QList<QAction*> Actions() const;

    // Starts exporting the session to path, with its progress shown; throws
    // Exception when the file cannot be created.
    void StartExport(const QString& path, TExportFormat format = TExportFormat::Recording);
    // While held, "Exportar dados…" is off (a session still being read from
    // its file would be exported in part).
    void HoldExport(bool hold);

    // Draws the chart at size (the chart's own when not valid) and starts
    // writing it to path, on the file's own thread: the file takes the name
    // once complete; a failure then goes to the reporter. Throws Exception
    // when it cannot be drawn or the file cannot be created.
    void SaveImage(const QString& path, QSize size);

    void SetDialogs(TDataDialogs dialogs) { m_dialogs = std::move(dialogs); }

private:
    void RecordTriggered();
    void ExportTriggered();
    void ImageTriggered();
    void EndProgress();
    void UpdateActions();

    QWidget& m_window;
    TDataJobs& m_jobs;
    TSession& m_session;
    const TChart& m_chart;
    TReporter m_report;
    TDataDialogs m_dialogs;
    QPointer<QProgressDialog> m_progress;
    TSource m_source;
    bool m_exportHeld = false;
    QAction* m_record;
    QAction* m_stopRecording;
    QAction* m_exportData;
    QAction* m_saveImage;
};

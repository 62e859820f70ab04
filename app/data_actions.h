#pragma once
// What the user can do with the session's data, as actions of the window:
// "Gravar…" and "Parar gravação" (a recording, recorder.h), "Exportar
// dados…" (the whole session, session_export.h) and "Salvar imagem…" (the
// chart as PNG or SVG, chart_image.h). The window owns the actions; the
// menus that show them add them.
//
// Errors reach the user through the application object; capture and the
// chart carry on whatever happens to a file.

#include "data_dialogs.h"
#include "recorder.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QAction;
class QProgressDialog;
class QWidget;
class TChart;
class TSession;
class TSessionExport;

class TDataActions : public QObject {
    Q_OBJECT
public:
    // window: the actions' owner and the dialogs' parent; chart: the chart
    // the pictures show; both, and session, outlive this object (the
    // recording reads the session until it is destroyed).
    TDataActions(QWidget& window, TSession& session, const TChart& chart);
    ~TDataActions() override;

    // In menu order: Gravar…, Parar gravação, Exportar dados…, Salvar imagem…
    QList<QAction*> Actions() const;

    // Throws Exception when the recording cannot start.
    void StartRecording(const QString& path);
    // Throws Exception when the last rows cannot be written; the recording
    // has stopped either way.
    void StopRecording();
    bool IsRecording() const { return m_recorder.Active(); }
    TRecordingState RecordingState() const { return m_recorder.State(); }

    // Starts exporting the session to path in the background; throws
    // Exception when the file cannot be created.
    void StartExport(const QString& path);
    // Cancels a running export; nothing is left under its name.
    void CancelExport();

    // Draws the chart at size (the chart's own when not valid) to path.
    void SaveImage(const QString& path, QSize size);

    void SetDialogs(TDataDialogs dialogs) { m_dialogs = std::move(dialogs); }

    // Closing: a running export is cancelled and the recording finished.
    // Throws Exception when finishing the recording fails.
    void Shutdown();

signals:
    void recordingStateChanged(const TRecordingState& state);

private:
    void RecordTriggered();
    void ExportTriggered();
    void ImageTriggered();
    void EndExport();
    void UpdateActions();

    QWidget& m_window;
    TSession& m_session;
    const TChart& m_chart;
    TDataDialogs m_dialogs;
    TRecorder m_recorder;
    std::unique_ptr<TSessionExport> m_export;
    QPointer<QProgressDialog> m_progress;
    QAction* m_record;
    QAction* m_stopRecording;
    QAction* m_exportData;
    QAction* m_saveImage;
};

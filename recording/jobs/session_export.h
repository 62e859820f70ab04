#pragma once
// An export of the session held in memory to a CSV file: the frames held
// when it starts, in the same rows a recording writes (csv_rows.h) or in
// rows for spreadsheets (export_rows.h).
//
// The session grows on the GUI thread, so the export reads it there too,
// in slices of a few milliseconds from the event loop: the port is read
// between them, so no point is lost or delayed, and the window stays
// responsive. The rows go to a temporary file next to the chosen one,
// which takes the chosen name only once complete and synced; a
// cancellation or a failure leaves nothing under that name.

#include "export_rows.h"
#include "session.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>

class TFileWriter;

class TSessionExport : public QObject {
    Q_OBJECT
public:
    // Time spent writing per turn of the event loop.
    static constexpr int SliceMs = 4;
    // While the disk syncs the file, how often the export looks.
    static constexpr int SyncPollMs = 10;

    // Prepares the export of the session's frames held now to path, in
    // format. Throws Exception when the file cannot be created.
    TSessionExport(const TSession& session, const QString& path, TExportFormat format = TExportFormat::Recording,
                   QObject* parent = nullptr);
    ~TSessionExport() override;

    // Begins writing, from the event loop.
    void Start();
    // Stops writing and removes the temporary file; no signal follows.
    void Cancel();

    const QString& Path() const { return m_path; }

signals:
    // Rows written so far, in thousandths of the whole.
    void progress(int permille);
    // The file is complete under its name.
    void succeeded();
    // The export stopped; message names the file and the reason.
    void failed(const QString& message);

private:
    void Slice();
    void Finish();

    const TSession& m_session;
    QString m_path;
    std::unique_ptr<TFileWriter> m_file;
    TExportRows m_rows;
    bool m_cancelled = false;
    QTimer m_timer;
};

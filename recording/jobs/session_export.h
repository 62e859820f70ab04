#pragma once
// An export of the session held in memory to a CSV file: the frames held
// when it starts, in the same rows a recording writes (csv_rows.h) or in
// rows for spreadsheets (export_rows.h).
//
// The session grows on the GUI thread, so the rows are formatted there, a
// slice at a time, each once the file's own thread has taken the one
// before (session_feed.h); the writes, the sync and the rename happen on
// that thread. The port is read between the slices, so no point is lost or
// delayed, and the window stays responsive whatever the disk or a pipe's
// reader does. The rows go to a temporary file next to the chosen one,
// which takes the chosen name only once complete and synced; a
// cancellation or a failure leaves nothing under that name.

#include "export_rows.h"
#include "session.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class TSessionFeed;

class TSessionExport : public QObject {
    Q_OBJECT
public:
    // Prepares the export of the session's frames held now to path, in
    // format. Throws Exception when the file cannot be created.
    TSessionExport(const TSession& session, const QString& path, TExportFormat format = TExportFormat::Recording,
                   QObject* parent = nullptr);
    ~TSessionExport() override;

    // Begins writing, from the event loop.
    void Start();
    // Stops writing; the temporary file is removed on the file's thread,
    // and `cancelled` follows once it is.
    void Cancel();

    const QString& Path() const { return m_path; }
    // Rows the file holds once complete.
    std::uint64_t Rows() const { return m_total; }

signals:
    // Rows written so far, in thousandths of the whole.
    void progress(int permille);
    // The file is complete under its name.
    void succeeded();
    // The export stopped; message names the file and the reason.
    void failed(const QString& message);
    // Cancel has taken effect: nothing is left of the file.
    void cancelled();

private:
    void Progressed();
    void Ended();

    QString m_path;
    std::uint64_t m_total = 0;
    bool m_cancelled = false;
    std::unique_ptr<TSessionFeed> m_feed;
};

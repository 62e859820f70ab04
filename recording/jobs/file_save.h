#pragma once
// A small file saved where the user asked (a calibration, a picture of the
// chart), on the file's own thread (writer_thread.h), so that the window
// never waits for the disk or a pipe: the bytes go to a file beside the
// chosen one, which takes the name only once complete and synced; a failure
// leaves the old file as it was. Qt Core.

#include "reporter.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string_view>

class TWriterThread;

class TFileSave : public QObject {
    Q_OBJECT
public:
    // Starts writing bytes to path. Throws Exception naming the file and the
    // reason when it cannot be created.
    TFileSave(const QString& path, std::string_view bytes, QObject* parent = nullptr);
    // Gives up a write still going on; nothing is left under its name.
    ~TFileSave() override;

    const QString& Path() const { return m_path; }
    bool Ended() const { return m_ended; }

signals:
    // The file is complete under its name.
    void saved(const QString& path);
    // It could not be written; message names the file and the reason.
    void failed(const QString& message);

private:
    void OnWake();

    QString m_path;
    bool m_ended = false;
    std::unique_ptr<TWriterThread> m_writer;
};

// A save nobody waits for: owned by parent until it ends, then deleted; a
// failure goes to report. Throws as TFileSave does; returns the save, for
// whoever wants to hear it was saved.
TFileSave* StartFileSave(const QString& path, std::string_view bytes, QObject& parent, TReporter report);

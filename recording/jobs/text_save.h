#pragma once
// A short text saved to a file where the user asked (a calibration), on
// the file's own thread (writer_thread.h), so that the window never waits
// for the disk: the text goes to a file beside the chosen one, which takes
// the name only once complete and synced; a failure leaves the old file as
// it was. Qt Core.

#include <QObject>
#include <QString>

#include <memory>
#include <string>

class TWriterThread;

class TTextSave : public QObject {
    Q_OBJECT
public:
    // Starts writing text to path. Throws Exception naming the file and the
    // reason when it cannot be created.
    TTextSave(const QString& path, const std::string& text, QObject* parent = nullptr);
    // Gives up a write still going on; nothing is left under its name.
    ~TTextSave() override;

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

#include "file_save.h"

#include "file_names.h"
#include "file_writer.h"
#include "writer_thread.h"

#include <QMetaObject>

TFileSave::TFileSave(const QString& path, std::string_view bytes, QObject* parent) : QObject(parent), m_path(path)
{
    auto file = std::make_unique<TFileWriter>(EncodeFileName(path.toStdU16String()), TFileWriter::TMode::Replace);
    // Called on the writer's thread: the news is taken on this object's.
    m_writer = std::make_unique<TWriterThread>(std::move(file), TWriterThread::TClock::duration::zero(), [this] {
        QMetaObject::invokeMethod(this, &TFileSave::OnWake, Qt::QueuedConnection);
    });
    TTextBuffer slice = m_writer->TakeSpare();
    slice.Append(bytes);
    m_writer->Hand(std::move(slice), 1);
    m_writer->Close();
}

TFileSave::~TFileSave() = default;

void TFileSave::OnWake()
{
    const TWriterThread::TStatus status = m_writer->Status();
    if (!status.Ended || m_ended)
        return;
    m_ended = true;
    if (status.Closed)
        emit saved(m_path);
    else
        emit failed(QString::fromStdString(status.Error));
}

TFileSave* StartFileSave(const QString& path, std::string_view bytes, QObject& parent, TReporter report)
{
    auto* save = new TFileSave(path, bytes, &parent);
    QObject::connect(save, &TFileSave::saved, save, &QObject::deleteLater);
    QObject::connect(save, &TFileSave::failed, save, [save, report = std::move(report)](const QString& message) {
        save->deleteLater();
        if (report)
            report(message.toStdString());
    });
    return save;
}

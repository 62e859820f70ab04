#include "text_save.h"

#include "file_names.h"
#include "file_writer.h"
#include "writer_thread.h"

#include <QMetaObject>

TTextSave::TTextSave(const QString& path, const std::string& text, QObject* parent) : QObject(parent), m_path(path)
{
    auto file = std::make_unique<TFileWriter>(EncodeFileName(path.toStdU16String()), TFileWriter::TMode::Replace);
    // Called on the writer's thread: the news is taken on this object's.
    m_writer = std::make_unique<TWriterThread>(std::move(file), TWriterThread::TClock::duration::zero(), [this] {
        QMetaObject::invokeMethod(this, &TTextSave::OnWake, Qt::QueuedConnection);
    });
    TTextBuffer slice = m_writer->TakeSpare();
    slice.Append(text);
    m_writer->Hand(std::move(slice), 1);
    m_writer->Close();
}

TTextSave::~TTextSave() = default;

void TTextSave::OnWake()
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

#include "reconnector.h"

#include "exception.h"
#include "file_names.h"

#include <QTimer>

#include <sys/stat.h>

TReconnector::TReconnector(TPath path, TOpen open, QObject* parent)
    : QObject(parent), m_path(std::move(path)), m_open(std::move(open)), m_timer(new QTimer(this))
{
    m_timer->setInterval(PollMs);
    connect(m_timer, &QTimer::timeout, this, &TReconnector::Poll);
}

void TReconnector::Start(const QString& why)
{
    if (m_waiting)
        return;
    m_waiting = true;
    m_lastAttempt = why;
    m_timer->start();
    emit waitingChanged(true);
}

void TReconnector::Stop()
{
    if (!m_waiting)
        return;
    m_waiting = false;
    m_timer->stop();
    m_lastAttempt.clear();
    emit waitingChanged(false);
}

bool TReconnector::DeviceThere() const
{
    const QString path = m_path();
    // By the name's own bytes (file_names.h); stat follows a link.
    struct stat st {};
    return path.isEmpty() || ::stat(EncodeFileName(path.toStdU16String()).c_str(), &st) == 0;
}

void TReconnector::Poll()
{
    // Opening a missing path would only fail: looking is enough.
    if (!DeviceThere()) {
        m_lastAttempt = NotPresent();
        return;
    }
    try {
        m_open();
    } catch (...) {
        // Still waiting: a device that has just appeared may not be ready
        // (udev sets its group a moment after creating it).
        m_lastAttempt = QString::fromStdString(CurrentExceptionText());
        return;
    }
    Stop();
}

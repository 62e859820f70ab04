#include "file_drop.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

QStringList DroppedFiles(const QMimeData* data)
{
    QStringList paths;
    if (data == nullptr || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    return paths;
}

TFileDrop::TFileDrop(QWidget& window, std::function<void(const QStringList&)> dropped)
    : QObject(&window), m_dropped(std::move(dropped))
{
    Watch(window);
}

void TFileDrop::Watch(QWidget& widget)
{
    widget.setAcceptDrops(true);
    widget.installEventFilter(this);
}

bool TFileDrop::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (DroppedFiles(drag->mimeData()).isEmpty())
            return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QStringList paths = DroppedFiles(drop->mimeData());
        if (paths.isEmpty())
            return false;
        drop->acceptProposedAction();
        QTimer::singleShot(0, this, [this, paths] { m_dropped(paths); });
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

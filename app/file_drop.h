#pragma once
// Files dragged from a file manager and dropped on a window, handed over
// as local paths. Only drags that carry local files are taken; the paths
// are handed over once the drop has ended (whatever opens them may show a
// message box, which must not run inside the drag and drop).

#include <QObject>
#include <QStringList>

#include <functional>

class QWidget;

class TFileDrop : public QObject {
public:
    // Drops on window, owned by it, go to dropped.
    TFileDrop(QWidget& window, std::function<void(const QStringList& paths)> dropped);
    // Also drops on widget, a child of the window that takes drops of its
    // own (a chart, a text box), which would otherwise keep them.
    void Watch(QWidget& widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const QStringList&)> m_dropped;
};

// The local files a drag carries.
QStringList DroppedFiles(const class QMimeData* data);

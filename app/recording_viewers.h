#pragma once
// The recordings open in viewer windows (viewer_window.h): "Abrir
// gravação…" (Ctrl+O) and files dropped on a window open each in a window
// of its own, as does --open. Several may be open at once; each is freed
// when closed, and those still open close with their owner (the main
// window). A file that cannot be opened is reported and leaves no window.

#include "data_dialogs.h"
#include "recording_loader.h"
#include "reporter.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

class QAction;
class QWidget;
class TViewerWindow;

class TRecordingViewers : public QObject {
    Q_OBJECT
public:
    explicit TRecordingViewers(TReporter report, QObject* parent = nullptr);
    ~TRecordingViewers() override;

    // Opens path in a new viewer, shown, and starts reading it; nullptr,
    // the reason reported, when it is not a recording or cannot be read.
    TViewerWindow* Open(const QString& path);
    void Open(const QStringList& paths);
    // Asks for recordings (the dialog over parent) and opens them.
    void AskAndOpen(QWidget* parent);

    // "Abrir gravação…" with Ctrl+O for window, owned by it (the window
    // adds it to its menu and to itself for the shortcut).
    QAction* CreateOpenAction(QWidget& window);
    // Files dropped on window, or on its chart's viewport (which takes
    // drops of its own), are opened.
    void TakeDrops(QWidget& window, QWidget& chartViewport);

    QList<TViewerWindow*> Viewers() const;
    // Closes every viewer (their exports are cancelled) and frees them.
    void CloseAll();

    // What the viewers' actions ask, and the dialog of "Abrir gravação…".
    void SetDataDialogs(TDataDialogs dialogs);
    // How the next files are read (tests: the memory the system has).
    void SetLoadOptions(TLoadOptions options) { m_options = std::move(options); }

signals:
    void opened(TViewerWindow* viewer);

private:
    void Closed(TViewerWindow* viewer);

    TReporter m_report;
    TDataDialogs m_dialogs;
    TLoadOptions m_options;
    std::vector<std::unique_ptr<TViewerWindow>> m_viewers;
    std::vector<std::unique_ptr<TViewerWindow>> m_closed;  // to be freed
};

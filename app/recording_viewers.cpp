#include "recording_viewers.h"

#include "analysis_action.h"
#include "calibration_actions.h"
#include "file_drop.h"
#include "tchart.h"
#include "viewer_window.h"

#include <QAction>
#include <QKeySequence>
#include <QTimer>
#include <QWidget>

#include <algorithm>

TRecordingViewers::TRecordingViewers(TReporter report, QObject* parent)
    : QObject(parent), m_report(std::move(report)), m_dialogs(DefaultDataDialogs())
{
}

TRecordingViewers::~TRecordingViewers()
{
    CloseAll();
}

TViewerWindow* TRecordingViewers::Open(const QString& path)
{
    std::unique_ptr<TViewerWindow> viewer;
    RunReported(m_report, [&] { viewer = std::make_unique<TViewerWindow>(path, m_report, m_options); });
    if (!viewer)
        return nullptr;
    TViewerWindow* window = viewer.get();
    window->SetDataDialogs(m_dialogs);
    window->AddChartMenuActions(
        {CreateOpenAction(*window), CreateAnalysisAction(*window, *window->Chart1, window->Session())});
    window->AddChartMenuActions(window->Calibration().Actions());
    TakeDrops(*window, *window->Chart1->viewport());
    connect(window, &TViewerWindow::closed, this, [this, window] { Closed(window); });
    m_viewers.push_back(std::move(viewer));
    window->show();
    window->StartLoad();
    emit opened(window);
    return window;
}

void TRecordingViewers::Open(const QStringList& paths)
{
    for (const QString& path : paths)
        Open(path);
}

void TRecordingViewers::AskAndOpen(QWidget* parent)
{
    if (m_dialogs.RecordingsToOpen)
        Open(m_dialogs.RecordingsToOpen(parent));
}

QAction* TRecordingViewers::CreateOpenAction(QWidget& window)
{
    auto* action = new QAction(QStringLiteral("Abrir gravação…"), &window);
    action->setObjectName(QStringLiteral("OpenRecordingAction"));
    action->setToolTip(QStringLiteral("Mostra uma gravação feita antes numa janela própria"));
    action->setShortcut(QKeySequence::Open);
    action->setShortcutContext(Qt::WindowShortcut);
    QWidget* parent = &window;
    connect(action, &QAction::triggered, this, [this, parent] { AskAndOpen(parent); });
    return action;
}

void TRecordingViewers::TakeDrops(QWidget& window, QWidget& chartViewport)
{
    auto* drop = new TFileDrop(window, [this](const QStringList& paths) { Open(paths); });
    drop->Watch(chartViewport);
}

QList<TViewerWindow*> TRecordingViewers::Viewers() const
{
    QList<TViewerWindow*> viewers;
    for (const auto& viewer : m_viewers)
        viewers << viewer.get();
    return viewers;
}

void TRecordingViewers::Closed(TViewerWindow* viewer)
{
    const auto found = std::find_if(m_viewers.begin(), m_viewers.end(),
                                    [viewer](const auto& owned) { return owned.get() == viewer; });
    if (found == m_viewers.end())
        return;
    // It is inside its own close event: it goes once that returns (or
    // with this object).
    m_closed.push_back(std::move(*found));
    m_viewers.erase(found);
    QTimer::singleShot(0, this, [this] { m_closed.clear(); });
}

void TRecordingViewers::CloseAll()
{
    // Each close takes its viewer out of the list.
    while (!m_viewers.empty()) {
        TViewerWindow* viewer = m_viewers.back().get();
        viewer->close();
        if (!m_viewers.empty() && m_viewers.back().get() == viewer)
            Closed(viewer);  // a window never shown gets no close event
    }
}

void TRecordingViewers::SetDataDialogs(TDataDialogs dialogs)
{
    m_dialogs = std::move(dialogs);
    for (const auto& viewer : m_viewers)
        viewer->SetDataDialogs(m_dialogs);
}

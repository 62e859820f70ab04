#include "analysis_action.h"

#include "analysis_window.h"

#include <QAction>
#include <QKeySequence>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>

QAction* CreateAnalysisAction(QWidget& window, TChart& chart, const TSession& session)
{
    auto* action = new QAction(QStringLiteral("Análise…"), &window);
    action->setObjectName(QStringLiteral("AnalysisAction"));
    action->setToolTip(QStringLiteral("Estatísticas e espectro dos pontos que o gráfico mostra"));
    action->setShortcut(QKeySequence(Qt::Key_A));
    // The window has no text to type into, so a plain letter is free.
    action->setShortcutContext(Qt::WindowShortcut);
    window.addAction(action);
    QObject::connect(action, &QAction::triggered, &window,
                     [&window, &chart, &session] { OpenAnalysis(window, chart, session); });
    return action;
}

void OpenAnalysis(QWidget& window, TChart& chart, const TSession& session)
{
    const auto before = window.findChildren<TAnalysisWindow*>(Qt::FindDirectChildrenOnly);
    TAnalysisWindow* analysis = TAnalysisWindow::Open(chart, session, &window);
    if (!before.contains(analysis)) {
        // Beside the window, not over the chart it follows, where the screen
        // has room for it.
        const QRect frame = window.frameGeometry();
        QPoint place(frame.right() + 8, frame.top());
        if (const QScreen* screen = window.screen()) {
            const QRect free = screen->availableGeometry();
            if (place.x() + analysis->width() > free.right())
                place.setX(std::max(free.left(), free.right() - analysis->width()));
        }
        analysis->move(place);
    }
    analysis->raise();
    analysis->activateWindow();
}

void CloseAnalysis(QWidget& window)
{
    TAnalysisWindow::CloseAll(&window);
}

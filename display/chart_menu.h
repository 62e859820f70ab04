#pragma once
// The chart's context menu: the view actions with their keys (X in seconds
// among them), a line per series to hide or show it, full screen, then the
// caller's actions.

#include <QList>
#include <QPoint>

class QAction;
class QMenu;
class TChart;

// The menu as it would open now; the caller owns it.
QMenu* CreateChartMenu(TChart& chart, const QList<QAction*>& callerActions);
// Opens it at globalPosition; it deletes itself once closed.
void PopUpChartMenu(TChart& chart, const QList<QAction*>& callerActions, QPoint globalPosition);

#pragma once
// "Análise…" for a window with a chart: opens (or raises) the analysis
// window that follows the chart's view, from the chart's menu or the A key
// anywhere in the window.

class QAction;
class QWidget;
class TChart;
class TSession;

// The action, owned by window. The session must outlive the analysis
// windows, which are window's children: the window's destructor closes
// them first (CloseAnalysis).
QAction* CreateAnalysisAction(QWidget& window, TChart& chart, const TSession& session);
// Opens the analysis of chart now, as the action does.
void OpenAnalysis(QWidget& window, TChart& chart, const TSession& session);
// Closes the analysis windows of window, waiting for their spectra: while
// the session they read is still there.
void CloseAnalysis(QWidget& window);

#pragma once
// A picture of the chart for a file, drawn afresh at the size asked for
// (never the screen's pixels scaled up): a second chart that is never
// shown, on the same session, laid out and drawn at that size. PNG, or SVG
// (vector) when the name ends in ".svg".

#include <QSize>
#include <QString>

class TChart;
class TSession;

// Draws what shown shows of session at size (shown's own size when size
// is not valid) into path, which is replaced only once the picture is
// complete. Throws Exception naming the file and the reason.
void SaveChartImage(const TChart& shown, TSession& session, const QString& path, QSize size);

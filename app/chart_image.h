#pragma once
// A picture of the chart for a file, drawn afresh at the size asked for
// (never the screen's pixels scaled up): a second chart that is never
// shown, on the same session, laid out and drawn at that size. PNG, or SVG
// (vector) when the name ends in ".svg".

#include <QByteArray>
#include <QSize>
#include <QString>

class TChart;
class TSession;

// What shown shows of session drawn at size (shown's own size when size is
// not valid), as the bytes of a file named path. Drawn on the GUI thread,
// as widgets are; whoever has the bytes writes them on the file's own
// thread (file_save.h). Throws Exception naming the file and the reason.
QByteArray DrawChartImage(const TChart& shown, TSession& session, const QString& path, QSize size);

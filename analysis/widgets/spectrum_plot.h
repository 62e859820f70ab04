#pragma once
// The spectrum chart of the analysis window: one line per axis, in dB or
// linear, over frequency from 0 to half the sample rate, each axis' peak
// marked, and a readout of the density of every line at the frequency
// under the mouse. A line keeps at most two points per pixel column (the
// lowest and highest bin there), so a segment of 65,536 points draws as
// fast as one of 256 and no peak is lost. Can be saved as PNG or SVG.

#include "spectrum.h"

#include <QChartView>
#include <QColor>
#include <QString>

#include <vector>

class QLineSeries;
class QScatterSeries;
class QValueAxis;

class TSpectrumPlot : public QChartView {
    Q_OBJECT
public:
    struct TCurve {
        QString Title;
        QColor Color;
        TSpectrum Spectrum;
    };

    explicit TSpectrumPlot(QWidget* parent = nullptr);

    void SetCurves(std::vector<TCurve> curves);
    const std::vector<TCurve>& Curves() const { return m_curves; }
    void SetDecibels(bool decibels);
    bool Decibels() const { return m_decibels; }
    // The unit of the values whose densities are shown (the axis' title):
    // empty for counts.
    void SetUnit(const QString& unit);

    // The readout for a frequency ("" when there is nothing to read), and
    // the one shown now (the mouse's).
    QString ReadoutAt(double frequency) const;
    QString ReadoutText() const { return m_readout; }

    // Draws the chart into path at size (its own size when not valid),
    // drawn afresh at that size, never scaled: SVG when the name ends in
    // ".svg", PNG otherwise; the file is replaced only once complete.
    // Throws Exception naming the file and the reason.
    void SaveImage(const QString& path, QSize size = QSize());

    // Points handed to the lines (for tests: bounded by the width).
    qsizetype DrawnPoints() const;

signals:
    void ReadoutChanged(const QString& text);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void Redraw();
    void SetReadout(const QString& text);

    QValueAxis* m_axisX;
    QValueAxis* m_axisY;
    std::vector<QLineSeries*> m_lines;  // owned by the chart
    QScatterSeries* m_peaks;            // owned by the chart
    std::vector<TCurve> m_curves;
    bool m_decibels = true;
    QString m_unit;
    int m_drawnWidth = -1;
    QString m_readout;
};

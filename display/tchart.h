#pragma once
// A thin chart layer over Qt Charts offering what the program asks of its
// chart library: a chart widget with a title, a legend and fast line
// series.
//
// A series shows the points of a store it does not own (one axis of the
// session, session.h), never copied into Qt Charts: appending costs only
// the store. The session tells the chart when points arrive, and at most
// once per displayed frame (a 16 ms timer) the chart reduces every series
// to what each pixel
// column of the plot can show (column_reduction.h) and hands Qt Charts only
// those points, with replace(). A series is drawn by one Qt line series per
// band of columns, and only the bands whose points changed are replaced;
// the bottom axis grows in steps, so while points arrive only the last band
// changes. Axis ranges come from the stores' min/max pyramids. The lines
// are one pixel wide and drawn without antialiasing, so the reduced drawing
// lights exactly the pixels a drawing of every point would.

#include "plotdata/column_reduction.h"
#include "sample_store.h"
#include "session.h"

#include <QChartView>
#include <QColor>
#include <QImage>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <vector>

class QChart;
class QLineSeries;
class QValueAxis;

// Converts a colour word 0x00BBGGRR to a colour.
QColor ColorFromWord(uint32_t colourWord);

class TFastLineSeries {
public:
    qint64 Count() const { return m_values->Count(); }
    double XValue(qint64 index) const { return double(index); }
    double YValue(qint64 index) const { return double(m_values->Value(index)); }
    QString Title() const;
    QColor Color() const;

    const TSampleStore& Store() const { return *m_values; }

private:
    friend class TChart;

    // The series is drawn by several Qt line series, one per band of pixel
    // columns, so that new points at the right end redraw only the last
    // bands. Each band ends with the first point of the next band, which
    // draws the line joining them.
    struct TBand {
        QLineSeries* Line;    // owned by the QChart
        qint64 First = -1;    // indices [First, End) drawn by the band
        qint64 End = -1;
    };

    explicit TFastLineSeries(const TSampleStore& values) : m_values(&values) {}

    const TSampleStore* m_values;
    std::vector<TBand> m_bands;
};

class TChart : public QChartView, private ISessionListener {
    Q_OBJECT
public:
    explicit TChart(QWidget* parent = nullptr);
    ~TChart() override;

    void SetTitle(const QString& text);
    QString Title() const;

    // Adds a line series titled title in the colour word 0x00BBGGRR showing
    // values, which must outlive the series. The chart owns the series.
    TFastLineSeries* AddSeries(const QString& title, uint32_t colourWord, const TSampleStore& values);
    // The session whose appends the chart redraws for (nullptr: none). It
    // must outlive the chart or be replaced first.
    void Watch(TSession* session);
    int SeriesCount() const { return int(m_series.size()); }
    TFastLineSeries* Series(int index) const { return m_series[std::size_t(index)].get(); }

    // A fixed range for the top axis. No series uses it; it is kept as a
    // setting and not drawn, which leaves the small chart its room.
    void SetTopAxis(double minimum, double maximum);
    double TopAxisMinimum() const { return m_topMinimum; }
    double TopAxisMaximum() const { return m_topMaximum; }

    // Applies pending points to the Qt Charts objects now. Normally the
    // redraw timer does it, at most once per displayed frame.
    void Flush();

    // The whole chart as it looks now (pending points applied), drawn on
    // white into an image of the widget's size.
    QImage Picture();

    // When false, Flush hands Qt Charts every point instead of the reduced
    // polyline. For comparing the two drawings only.
    void SetReduction(bool enabled);

    // Points currently held by the Qt Charts series, over all series.
    qint64 DrawnPointCount() const;
    // Points handed to Qt Charts by the last Flush.
    qint64 ReplacedPointCount() const { return m_replacedPoints; }

    QChart* Chart() const { return m_chart; }

    static constexpr int FrameIntervalMs = 16;
    static constexpr int BandCount = 16;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class TFastLineSeries;
    void SessionGrew() override;
    void ScheduleFlush();
    void UpdateRanges();
    void ClearBands();
    static void SetAxis(QValueAxis& axis, double minimum, double maximum, double tickInterval);
    void FlushBands(TFastLineSeries& series, const TColumnMapping& mapping, bool remap);
    void UpdateFonts();

    TSession* m_session = nullptr;
    QChart* m_chart;  // owned by the view
    QValueAxis* m_axisX;
    QValueAxis* m_axisY;
    std::vector<std::unique_ptr<TFastLineSeries>> m_series;
    QTimer m_flushTimer;
    bool m_reduction = true;
    double m_topMinimum = 0;
    double m_topMaximum = 0;
    qint64 m_replacedPoints = 0;
    TColumnMapping m_mapping;
    bool m_remapPending = true;
    std::vector<TPlotPoint> m_reduced;  // reused between flushes
};

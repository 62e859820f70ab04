#pragma once
// A thin chart layer over Qt Charts offering what the program asks of its
// chart library: a chart widget with a title, a legend and fast line
// series, and a view of the history that the user moves with the mouse and
// the keyboard.
//
// A series shows the points of a store it does not own (one axis of the
// session, session.h), never copied: appending costs only the store. The
// session tells the chart when points arrive and the chart redraws about
// once per displayed frame (redraw_pacer.h), reducing every series to what
// each pixel column of the plot can show (series_drawing.h). Axis ranges
// come from the view (view/chart_view.h) and the stores' min/max pyramids
// (series_ranges.h).
//
// X is each point's position in its series, or, with "Eixo X em segundos"
// (T, the context menu), the time it arrived, counted from the session's
// start: every view, gesture and picture works the same in both, and over
// time the lines are broken where the port was closed. Faint marks show
// where the port opened again, in both (opening_marks.h).
//
// The chart adapts Qt Charts (its series, legend and layout) and hands
// the rest to rooms of its own: its axes (chart_axes.h), where its series
// lie along X in either unit (series_ranges.h), the gestures
// (gestures.h), the readout (readout.h), the sign of a frozen view
// (frozen_sign.h), the marks of the openings (opening_marks.h), the
// context menu (chart_menu.h), full screen (full_screen.h) and its look
// (chart_look.h). Clicking a legend entry hides or shows its series.

#include "chart_axes.h"
#include "chart_look.h"
#include "frozen_sign.h"
#include "gestures.h"
#include "opening_marks.h"
#include "readout.h"
#include "redraw_pacer.h"
#include "series_drawing.h"
#include "series_ranges.h"
#include "sample_store.h"
#include "session.h"
#include "value_scale.h"
#include "view/chart_view.h"

#include <QChartView>
#include <QColor>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class QAction;
class QChart;
class QLegendMarker;
class QLineSeries;
class QMenu;
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

    explicit TFastLineSeries(const TSampleStore& values) : m_values(&values) {}

    const TSampleStore* m_values;
    // Qt Charts' own series, empty: it gives the legend entry, the title
    // and the colour, and it is attached to the axes. Its line item in the
    // scene holds the pieces.
    QLineSeries* m_line = nullptr;  // owned by the QChart
    QLegendMarker* m_marker = nullptr;
};

class TChart : public QChartView, private ISessionListener, private IGestureTarget {
    Q_OBJECT
public:
    explicit TChart(QWidget* parent = nullptr);
    ~TChart() override;

    void SetTitle(const QString& text);
    QString Title() const;

    // Adds a line series titled title in the colour word 0x00BBGGRR showing
    // values, which must outlive the series. The chart owns the series.
    TFastLineSeries* AddSeries(const QString& title, uint32_t colourWord, const TSampleStore& values);
    // The session whose appends the chart redraws for (nullptr: none), and
    // whose receive times the readout shows. It must outlive the chart or be
    // replaced first.
    void Watch(TSession* session);
    int SeriesCount() const { return int(m_series.size()); }
    TFastLineSeries* Series(int index) const { return m_series[std::size_t(index)].get(); }

    // What the left axis shows (value_scale.h): counts by default. The
    // series are drawn, fitted and read out through their maps, each
    // lighting the pixels a drawing of its every point so mapped would; the
    // stores keep their counts. A new unit fits the left axis again.
    void SetValueScale(const TValueScale& scale);
    const TValueScale& ValueScale() const { return m_scale; }

    // A fixed range for the top axis. No series uses it; it is kept as a
    // setting and not drawn, which leaves the small chart its room.
    void SetTopAxis(double minimum, double maximum);
    double TopAxisMinimum() const { return m_topMinimum; }
    double TopAxisMaximum() const { return m_topMaximum; }

    // The view. View() reports the ranges shown by the last redraw.
    TChartView View() const;
    void SetView(const TChartView& view);

    // X in seconds since the session's start (each point at the time it
    // arrived) or in positions; what was shown stays in view. Seconds need
    // a session (Watch).
    void SetSecondsAxis(bool seconds);
    bool SecondsAxis() const { return m_view.Seconds; }
    bool CanShowSeconds() const { return m_session != nullptr; }
    // The bottom axis' labels and title as drawn by the last redraw.
    QStringList BottomAxisLabels() const;
    QString BottomAxisTitle() const;
    // Marks of the port's openings in view.
    int OpeningMarkCount() const { return m_openingMarks.Count(); }

    // The view actions, as the context menu and the keys offer them.
    void ShowAll();                           // the whole history
    void FollowNewest();                      // the right edge to the newest point
    void ZoomX(double factor);                // width times factor, about the centre
                                              // (about the right edge while following)
    void PanX(double fraction);               // by a fraction of the width, + to the right
    void PanY(double fraction);               // by a fraction of the height, + upwards
    void FitY();                              // the left axis fits the data again
    void SetSeriesVisible(int index, bool visible);
    bool SeriesVisible(int index) const;

    // Actions owned by the caller, shown in the context menu after the
    // chart's own and a separator.
    void AddMenuActions(const QList<QAction*>& actions);
    // The menu as it would open now (for tests); the caller owns it.
    QMenu* CreateContextMenu();
    // "Tela cheia" (F11): checkable; the window decides what it means.
    QAction* FullScreenAction() const { return m_fullScreen; }

    // The readout shown while hovering over the plot (empty when hidden).
    QString ReadoutText() const;
    bool ReadoutVisible() const;
    // The sign that the view is frozen (frozen_sign.h), in widget
    // coordinates; empty when not shown. Shown only on screen.
    QRectF FrozenSignArea() const;

    // Where a value lies in the widget, and the value at a widget position,
    // as of the last redraw.
    QPointF WidgetPosition(double x, double y) const;
    QPointF ValueAt(QPointF widgetPosition) const override;
    // The plot area in widget coordinates.
    QRectF PlotArea() const override;

    // Applies pending points to the drawing now. Normally the redraw timer
    // does it, at most once per displayed frame.
    void Flush();

    // The whole chart as it looks now (pending points applied), drawn on
    // white into an image of the widget's size.
    QImage Picture();

    // The chart is a picture of one that is onScreen large on the screen:
    // larger than that, its text, axis lines and margins are scaled with
    // it (chart_look.h).
    void SetOnScreenSize(QSize onScreen);

    // When false, Flush draws every point instead of the reduced polyline.
    // For comparing the two drawings only.
    void SetReduction(bool enabled);

    // Points currently drawn, over all series.
    qint64 DrawnPointCount() const;
    // Points given to the pieces by the last Flush.
    qint64 ReplacedPointCount() const { return m_drawing.ReplacedPointCount(); }
    // Pieces given new points since the chart was made.
    qint64 ReplacedBandCount() const { return m_drawing.ReplacedBandCount(); }

    QChart* Chart() const { return m_chart; }

    static constexpr int FrameIntervalMs = TRedrawPacer::FrameIntervalMs;
    static constexpr int BandCount = TSeriesDrawing::BandCount;
    // The narrowest view, in points and in seconds.
    static constexpr double MinimumViewWidth = ViewLimits::MinimumWidth;
    static constexpr double MinimumViewSeconds = ViewLimits::Seconds.MinimumWidth;

signals:
    // The user or a caller changed the view, or what its values stand for
    // (not emitted for the sliding of a following view).
    void ViewChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void SessionGrew() override;
    void ScheduleFlush();
    // The ranges to show now, from the view and the data.
    void UpdateRanges();
    void UpdateOpeningMarks(const QRectF& plot);
    void UpdateLook();
    void UpdateMarker(int index);
    void ShowReadout(QPoint position);

    // For the gestures.
    const TChartView& CurrentView() const override { return m_view; }
    TShown ShownRanges() const override { return m_shown; }
    double Newest() const override;
    // Shows a settled view (chart_view.h), unless it is the one shown.
    void ChangeView(const TChartView& view) override;
    void OpenMenu(QPoint globalPosition) override;
    void HideReadout() override;

    TSession* m_session = nullptr;
    QChart* m_chart;  // owned by the view
    TChartAxes m_axes;
    std::vector<std::unique_ptr<TFastLineSeries>> m_series;
    TSeriesRanges m_ranges;  // where the series lie, for the axes' ranges
    TRedrawPacer m_pacer;
    TSeriesDrawing m_drawing;
    TChartLook m_look;
    TValueScale m_scale;
    QSize m_onScreen;  // invalid: the chart is what is on screen
    double m_topMinimum = 0;
    double m_topMaximum = 0;

    TChartView m_view;
    TShown m_shown;  // what the last redraw showed

    TChartGestures m_gestures;
    TReadout m_readout;
    TFrozenSign m_frozenSign;
    TOpeningMarks m_openingMarks;
    QAction* m_fullScreen;
    QList<QAction*> m_menuActions;  // the caller's
};

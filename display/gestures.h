#pragma once
// The gestures that move a chart's view. Each reads where the pointer is
// in the chart's values and asks the view's rules (view/chart_view.h) for
// the view it means; the chart shows it.
//
//   left-drag down and to the right   zoom into the rectangle
//   left-drag leftwards, double-click the whole history
//   right-drag                        pan; a right click without dragging
//                                     opens the context menu
//   wheel / Ctrl+wheel                zoom the bottom / left axis about
//                                     the cursor
//   arrows, PgUp, PgDn                pan
//   + / -                             zoom the bottom axis
//   Home / End                        the whole history / follow the newest
//   Menu, Shift+F10                   the context menu
//
// (T, X in seconds or in positions, is the chart's own.)

#include "view/chart_view.h"

#include <QPoint>
#include <QPointF>
#include <QRectF>

#include <cstdint>

class QAbstractScrollArea;
class QKeyEvent;
class QMouseEvent;
class QRubberBand;
class QWheelEvent;

// Zoom and pan steps.
namespace GestureSteps {
constexpr double WheelZoom = 1.25;  // a wheel notch
constexpr double KeyZoom = 1.5;     // + and -
constexpr double KeyPan = 0.1;      // an arrow, of the width or height
constexpr double PagePan = 0.9;     // PgUp and PgDn
}  // namespace GestureSteps

// What the gestures ask of the chart they move.
class IGestureTarget {
public:
    // The plot area, and the values at a position, in the widget.
    virtual QRectF PlotArea() const = 0;
    virtual QPointF ValueAt(QPointF widgetPosition) const = 0;
    // The view as set (not as reported), what its last redraw showed, and
    // the newest point's X in the view's unit (-1: none).
    virtual const TChartView& CurrentView() const = 0;
    virtual TShown ShownRanges() const = 0;
    virtual double Newest() const = 0;
    // Shows a settled view.
    virtual void ChangeView(const TChartView& view) = 0;
    virtual void OpenMenu(QPoint globalPosition) = 0;
    // A drag hides the values under the pointer.
    virtual void HideReadout() = 0;

protected:
    ~IGestureTarget() = default;
};

// Left-drag: a rubber band over the plot, then the view it covers.
class TRectangleZoom {
public:
    TRectangleZoom(IGestureTarget& target, QAbstractScrollArea& widget) : m_target(target), m_widget(widget) {}

    void Begin(QPoint position);
    void Move(QPoint position);
    void End(QPoint position);
    void Cancel();

private:
    IGestureTarget& m_target;
    QAbstractScrollArea& m_widget;
    QPoint m_press;
    QRubberBand* m_band = nullptr;  // owned by the widget's viewport
};

// Right-drag: the view at the press, moved with the hand. A right click
// that does not drag opens the menu instead.
class TDragPan {
public:
    explicit TDragPan(IGestureTarget& target) : m_target(target) {}

    void Begin(QPoint position);
    void Move(QPoint position);
    void End(QPoint globalPosition);

private:
    IGestureTarget& m_target;
    QPoint m_press;
    TChartView m_pressView;
    bool m_dragging = false;
};

// The wheel: true when it was over the plot and turned.
bool WheelGesture(IGestureTarget& target, const QWheelEvent& event);
// The keys: true when the key was a gesture's.
bool KeyGesture(IGestureTarget& target, const QKeyEvent& event, QAbstractScrollArea& widget);

// The gestures of one chart: hands each event to the gesture it starts or
// continues. Each handler returns true when the event was a gesture's
// (the chart accepts it), false when the chart handles it as it would
// without them.
class TChartGestures {
public:
    TChartGestures(IGestureTarget& target, QAbstractScrollArea& widget);

    bool Press(const QMouseEvent& event);
    bool Move(const QMouseEvent& event);
    bool Release(const QMouseEvent& event);
    bool DoubleClick(const QMouseEvent& event);
    bool Wheel(const QWheelEvent& event);
    bool Key(const QKeyEvent& event);

private:
    enum class TGesture { None, Zoom, Pan };

    IGestureTarget& m_target;
    QAbstractScrollArea& m_widget;
    TGesture m_gesture = TGesture::None;
    TRectangleZoom m_zoom;
    TDragPan m_pan;
};

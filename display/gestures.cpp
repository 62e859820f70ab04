#include "gestures.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

using namespace GestureSteps;

void TRectangleZoom::Begin(QPoint position)
{
    m_press = position;
    if (!m_band)
        m_band = new QRubberBand(QRubberBand::Rectangle, m_widget.viewport());
    m_band->setGeometry(QRect(position, QSize()));
}

void TRectangleZoom::Move(QPoint position)
{
    const QRect plot = m_target.PlotArea().toAlignedRect();
    const QPoint end(std::clamp(position.x(), plot.left(), plot.right()),
                     std::clamp(position.y(), plot.top(), plot.bottom()));
    m_band->setGeometry(QRect(m_press, end).normalized());
    if ((end - m_press).manhattanLength() >= QApplication::startDragDistance())
        m_band->show();
    m_target.HideReadout();
}

void TRectangleZoom::End(QPoint position)
{
    const QRect band = m_band->geometry();
    const bool shown = m_band->isVisible();
    m_band->hide();
    if (!shown)
        return;  // a click
    const double newest = m_target.Newest();
    if (position.x() < m_press.x()) {
        // Dragged leftwards: back to the whole history.
        m_target.ChangeView(ShowAll(m_target.CurrentView(), newest));
        return;
    }
    const QPointF topLeft = m_target.ValueAt(QPointF(band.left(), band.top()));
    const QPointF bottomRight = m_target.ValueAt(QPointF(band.right() + 1, band.bottom() + 1));
    // A flat rectangle leaves the left axis as it is.
    const TSpan values{bottomRight.y(), topLeft.y()};
    const bool tall = band.height() >= QApplication::startDragDistance();
    m_target.ChangeView(
        ZoomInto(m_target.CurrentView(), newest, {topLeft.x(), bottomRight.x()}, tall ? &values : nullptr));
}

void TRectangleZoom::Cancel()
{
    if (m_band)
        m_band->hide();
}

void TDragPan::Begin(QPoint position)
{
    m_press = position;
    m_pressView = m_target.CurrentView();
    m_dragging = false;
}

void TDragPan::Move(QPoint position)
{
    if (!m_dragging) {
        if ((position - m_press).manhattanLength() < QApplication::startDragDistance())
            return;
        m_dragging = true;
        m_target.HideReadout();
    }
    const QRectF plot = m_target.PlotArea();
    const QPointF drag = position - m_press;
    m_target.ChangeView(Drag(m_pressView, m_target.Newest(), drag.x() / plot.width(), drag.y() / plot.height()));
}

void TDragPan::End(QPoint globalPosition)
{
    if (!m_dragging)
        m_target.OpenMenu(globalPosition);
}

bool WheelGesture(IGestureTarget& target, const QWheelEvent& event)
{
    const QPointF position = event.position();
    const int delta = event.angleDelta().y() != 0 ? event.angleDelta().y() : event.angleDelta().x();
    if (!target.PlotArea().contains(position) || delta == 0)
        return false;
    // Away from the user (positive) zooms in.
    const double factor = std::pow(WheelZoom, -delta / 120.0);
    const QPointF value = target.ValueAt(position);
    const TChartView& view = target.CurrentView();
    if (event.modifiers() & Qt::ControlModifier)
        target.ChangeView(ZoomYAbout(view, target.ShownRanges(), target.Newest(), factor, value.y()));
    else
        target.ChangeView(ZoomXAbout(view, target.ShownRanges(), target.Newest(), factor, value.x()));
    return true;
}

bool KeyGesture(IGestureTarget& target, const QKeyEvent& event, QAbstractScrollArea& widget)
{
    const TChartView& view = target.CurrentView();
    const TShown shown = target.ShownRanges();
    const double newest = target.Newest();
    switch (event.key()) {
    case Qt::Key_Left:
        target.ChangeView(PanX(view, shown, newest, -KeyPan));
        return true;
    case Qt::Key_Right:
        target.ChangeView(PanX(view, shown, newest, KeyPan));
        return true;
    case Qt::Key_PageUp:
        target.ChangeView(PanX(view, shown, newest, -PagePan));
        return true;
    case Qt::Key_PageDown:
        target.ChangeView(PanX(view, shown, newest, PagePan));
        return true;
    case Qt::Key_Up:
        target.ChangeView(PanY(view, shown, newest, KeyPan));
        return true;
    case Qt::Key_Down:
        target.ChangeView(PanY(view, shown, newest, -KeyPan));
        return true;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        target.ChangeView(ZoomX(view, shown, newest, 1 / KeyZoom));
        return true;
    case Qt::Key_Minus:
        target.ChangeView(ZoomX(view, shown, newest, KeyZoom));
        return true;
    case Qt::Key_Home:
        target.ChangeView(ShowAll(view, newest));
        return true;
    case Qt::Key_End:
        target.ChangeView(FollowNewest(view, shown, newest));
        return true;
    case Qt::Key_F10:
        if (!(event.modifiers() & Qt::ShiftModifier))
            return false;
        Q_FALLTHROUGH();
    case Qt::Key_Menu:
        target.OpenMenu(widget.mapToGlobal(target.PlotArea().center().toPoint()));
        return true;
    default:
        return false;
    }
}

TChartGestures::TChartGestures(IGestureTarget& target, QAbstractScrollArea& widget)
    : m_target(target), m_widget(widget), m_zoom(target, widget), m_pan(target)
{
}

bool TChartGestures::Press(const QMouseEvent& event)
{
    const QPoint position = event.position().toPoint();
    if (!m_target.PlotArea().contains(position) || m_gesture != TGesture::None)
        return false;
    m_widget.setFocus(Qt::MouseFocusReason);
    if (event.button() == Qt::LeftButton) {
        m_gesture = TGesture::Zoom;
        m_zoom.Begin(position);
    } else if (event.button() == Qt::RightButton) {
        m_gesture = TGesture::Pan;
        m_pan.Begin(position);
    }
    return true;
}

bool TChartGestures::Move(const QMouseEvent& event)
{
    const QPoint position = event.position().toPoint();
    switch (m_gesture) {
    case TGesture::Zoom:
        m_zoom.Move(position);
        return true;
    case TGesture::Pan:
        m_pan.Move(position);
        return true;
    case TGesture::None:
        break;
    }
    return false;
}

bool TChartGestures::Release(const QMouseEvent& event)
{
    const TGesture gesture = m_gesture;
    if (gesture == TGesture::None)
        return false;
    // Another button let go during the gesture changes nothing.
    if (event.button() != (gesture == TGesture::Zoom ? Qt::LeftButton : Qt::RightButton))
        return true;
    m_gesture = TGesture::None;
    if (gesture == TGesture::Pan)
        m_pan.End(event.globalPosition().toPoint());
    else
        m_zoom.End(event.position().toPoint());
    return true;
}

bool TChartGestures::DoubleClick(const QMouseEvent& event)
{
    if (event.button() != Qt::LeftButton || !m_target.PlotArea().contains(event.position()))
        return false;
    m_target.ChangeView(ShowAll(m_target.CurrentView(), m_target.Newest()));
    return true;
}

bool TChartGestures::Wheel(const QWheelEvent& event)
{
    return WheelGesture(m_target, event);
}

bool TChartGestures::Key(const QKeyEvent& event)
{
    if (event.key() == Qt::Key_Escape) {
        // Ends a drag where it is; otherwise not the gestures' key.
        if (m_gesture == TGesture::None)
            return false;
        m_zoom.Cancel();
        m_gesture = TGesture::None;
        return true;
    }
    return KeyGesture(m_target, event, m_widget);
}

#include "tchart.h"

#include "axis_times.h"
#include "chart_menu.h"
#include "format/brazilian.h"
#include "full_screen.h"

#include <QChart>
#include <QContextMenuEvent>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QKeyEvent>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <stdexcept>

QColor ColorFromWord(uint32_t colourWord)
{
    return QColor(int(colourWord & 0xFF), int((colourWord >> 8) & 0xFF), int((colourWord >> 16) & 0xFF));
}

QString TFastLineSeries::Title() const
{
    return m_line->name();
}

QColor TFastLineSeries::Color() const
{
    return m_line->pen().color();
}

TChart::TChart(QWidget* parent)
    : QChartView(parent),
      m_chart(chart()),
      m_pacer(this, [this] { Flush(); }),
      m_gestures(*this, *this),
      m_readout(m_chart),
      m_frozenSign(m_chart),
      m_openingMarks(m_chart)
{
    // Lines must be aliased and one pixel wide for the reduced drawing to
    // match a drawing of every point; text stays antialiased.
    setRenderHint(QPainter::Antialiasing, false);
    setRenderHint(QPainter::TextAntialiasing, true);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);

    // The line items change their geometry at every redraw: an index of
    // the scene would be rebuilt each time for a handful of items.
    scene()->setItemIndexMethod(QGraphicsScene::NoIndex);
    m_chart->setTheme(QChart::ChartThemeLight);
    // The theme paints the background with a gradient from white to white.
    // The raster engine fills a gradient span by span, handing large fills
    // to worker threads, at every redraw of the strip where points arrive;
    // plain white is the same picture, filled in one step.
    m_chart->setBackgroundBrush(QBrush(Qt::white));
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->setBackgroundRoundness(0);
    if (m_chart->layout())
        m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    m_chart->legend()->setVisible(true);
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setLocale(BrazilianLocale());
    m_chart->setLocalizeNumbers(true);

    m_axes.AddTo(*m_chart);

    m_fullScreen = new TFullScreenAction(this);
    addAction(m_fullScreen);

    UpdateLook();
    UpdateRanges();

    // A new plot area moves the pixel columns: reduce again.
    connect(m_chart, &QChart::plotAreaChanged, this, &TChart::ScheduleFlush);
}

TChart::~TChart()
{
    Watch(nullptr);
}

void TChart::Watch(TSession* session)
{
    if (m_session)
        m_session->CancelNotify(*this);
    m_session = session;
    m_ranges.Watch(session);
    if (m_session)
        m_session->NotifyOnGrowth(*this);
    ScheduleFlush();
}

void TChart::SessionGrew()
{
    ScheduleFlush();
}

void TChart::SetTitle(const QString& text)
{
    m_chart->setTitle(text);
}

QString TChart::Title() const
{
    return m_chart->title();
}

TFastLineSeries* TChart::AddSeries(const QString& title, uint32_t colourWord, const TSampleStore& values)
{
    m_series.emplace_back(new TFastLineSeries(values));
    TFastLineSeries& series = *m_series.back();
    const int index = int(m_series.size()) - 1;
    QPen pen(ColorFromWord(colourWord));
    pen.setWidth(1);
    auto* line = new QLineSeries;
    line->setName(title);
    // Qt Charts makes the series' line item as the series is added: the
    // one child of the chart that was not there before.
    const QList<QGraphicsItem*> before = m_chart->childItems();
    m_chart->addSeries(line);  // the chart takes ownership
    QGraphicsItem* lineItem = nullptr;
    for (QGraphicsItem* item : m_chart->childItems()) {
        if (!before.contains(item))
            lineItem = item;
    }
    if (!lineItem)
        throw std::logic_error("Qt Charts made no item for a line series");
    line->attachAxis(m_axes.Positions());
    line->attachAxis(m_axes.Left());
    line->setPen(pen);
    line->setPointsVisible(false);
    line->setPointLabelsVisible(false);
    series.m_line = line;
    const QList<QLegendMarker*> markers = m_chart->legend()->markers(line);
    if (!markers.isEmpty()) {
        series.m_marker = markers.first();
        if (m_look.Scale != 1)
            series.m_marker->setLabel(m_look.LegendLabel(title, font()));
        connect(series.m_marker, &QLegendMarker::clicked, this,
                [this, index] { SetSeriesVisible(index, !SeriesVisible(index)); });
    }
    m_drawing.AddSeries(values, lineItem, line->pen());
    m_ranges.AddSeries(values);
    m_drawing.SetValueMap(std::size_t(index), m_scale.Map(index));
    m_view.Hidden.resize(m_series.size(), false);
    ScheduleFlush();
    return &series;
}

void TChart::SetValueScale(const TValueScale& scale)
{
    if (scale == m_scale)
        return;
    const bool newUnit = scale.Unit != m_scale.Unit || scale.Step != m_scale.Step;
    m_scale = scale;
    for (std::size_t i = 0; i < m_series.size(); ++i)
        m_drawing.SetValueMap(i, m_scale.Map(int(i)));
    m_axes.Left()->setTitleText(m_scale.AxisTitle);
    m_axes.Left()->setTitleFont(m_look.LabelFont(font()));
    m_view.UnitY = m_scale.Step;
    // A zoomed range in the old unit means nothing in the new.
    if (newUnit)
        m_view.ZoomedY = false;
    Flush();
    emit ViewChanged();
}

void TChart::SetTopAxis(double minimum, double maximum)
{
    m_topMinimum = minimum;
    m_topMaximum = maximum;
}

void TChart::SetReduction(bool enabled)
{
    m_drawing.SetReduction(enabled);
    ScheduleFlush();
}

qint64 TChart::DrawnPointCount() const
{
    return m_drawing.DrawnPointCount();
}

void TChart::ScheduleFlush()
{
    m_pacer.Schedule();
}

double TChart::Newest() const
{
    return m_ranges.Newest(m_view.Seconds);
}

void TChart::UpdateRanges()
{
    m_axes.UseBottom(m_view.Seconds);
    const double newest = Newest();
    m_view = Slide(m_view, newest, m_chart->plotArea().width());
    const TSpan x = ShownX(m_view, newest);
    const TSpan y = m_view.ZoomedY ? TSpan{m_view.MinY, m_view.MaxY} : m_ranges.FitY(m_view, x, m_scale);
    m_axes.Show(x, y, m_look.TickParts(), m_scale.Step);
    m_shown = {x, y};
}

QStringList TChart::BottomAxisLabels() const
{
    return m_axes.BottomLabels();
}

QString TChart::BottomAxisTitle() const
{
    return m_axes.BottomTitle();
}

void TChart::Flush()
{
    m_pacer.Started();
    // Told of the next append once this flush has taken in the points so far.
    if (m_session)
        m_session->NotifyOnGrowth(*this);
    // A hidden widget gets its resize event only when shown or rendered;
    // the chart must have its final size before the columns are computed.
    if (m_chart->size() != QSizeF(size())) {
        m_chart->resize(QSizeF(size()));
        setSceneRect(QRectF(QPointF(0, 0), QSizeF(size())));
        UpdateLook();
    }
    UpdateRanges();
    // Settle the layout now so the plot area matches the new axis labels.
    if (m_chart->layout())
        m_chart->layout()->activate();

    const QRectF plot = m_chart->plotArea();
    const QTransform toDevice = m_chart->sceneTransform() * viewportTransform();
    m_drawing.SetTimes(m_view.Seconds ? m_session : nullptr);
    m_drawing.Update(TSeriesDrawing::Mapping(plot, toDevice, size(), m_shown), plot, m_view.Hidden);
    UpdateOpeningMarks(plot);
    // A hint for the user at the screen: not in a picture drawn offscreen.
    m_frozenSign.Update(Frozen(m_view) && isVisible(), plot);
    if (m_readout.Hover().x() >= 0)
        ShowReadout(m_readout.Hover());
}

void TChart::UpdateOpeningMarks(const QRectF& plot)
{
    std::vector<double> xs;
    if (m_session) {
        // Not the first opening: the history begins there.
        const std::vector<TOpening>& openings = m_session->Openings();
        for (std::size_t k = 1; k < openings.size(); ++k) {
            const TOpening& opening = openings[k];
            // Over positions, between the last point before it and the
            // first after it, of the longest series.
            const double x = m_view.Seconds
                ? SecondsOf(opening.TimeUs)
                : double(*std::max_element(std::begin(opening.Points), std::end(opening.Points))) - 0.5;
            xs.push_back(plot.left() + (x - m_shown.X.Min) / m_shown.X.Width() * plot.width());
        }
    }
    m_openingMarks.Update(xs, plot);
}

QImage TChart::Picture()
{
    Flush();
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QWidget::render(&image);
    return image;
}

void TChart::SetOnScreenSize(QSize onScreen)
{
    m_onScreen = onScreen;
    UpdateLook();
    ScheduleFlush();
}

void TChart::UpdateLook()
{
    m_look = m_onScreen.isValid() ? TChartLook::ForPicture(m_onScreen, size()) : TChartLook::ForHeight(height());
    ApplyLook(*m_chart, m_look, font());
    m_readout.SetFont(m_look.LabelFont(font()));
    if (!m_scale.AxisTitle.isEmpty())
        m_axes.Left()->setTitleFont(m_look.LabelFont(font()));
    m_frozenSign.SetFont(m_look.LabelFont(font()));
    if (m_look.Scale != 1) {
        for (const auto& series : m_series) {
            if (series->m_marker)
                series->m_marker->setLabel(m_look.LegendLabel(series->Title(), font()));
        }
    }
}

void TChart::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    UpdateLook();
    HideReadout();
    ScheduleFlush();
}

void TChart::showEvent(QShowEvent* event)
{
    QChartView::showEvent(event);
    ScheduleFlush();
}

void TChart::hideEvent(QHideEvent* event)
{
    QChartView::hideEvent(event);
    ScheduleFlush();
}

// The view.

TChartView TChart::View() const
{
    return Reported(m_view, m_shown);
}

void TChart::SetView(const TChartView& view)
{
    const std::vector<bool> hidden = m_view.Hidden;
    m_view = view;
    m_view.Hidden.resize(m_series.size(), false);
    m_view.UnitY = m_scale.Step;
    if (m_view.Whole)
        m_view.Following = false;
    for (std::size_t i = 0; i < m_series.size(); ++i) {
        if (hidden[i] != m_view.Hidden[i]) {
            UpdateMarker(int(i));
            m_drawing.Invalidate();
        }
    }
    Flush();
    emit ViewChanged();
}

void TChart::ChangeView(const TChartView& view)
{
    if (view == m_view)
        return;
    m_view = view;
    Flush();
    emit ViewChanged();
}

void TChart::SetSecondsAxis(bool seconds)
{
    if (seconds == m_view.Seconds || (seconds && !m_session))
        return;
    // The same stretch of history, in the other unit.
    const TSpan x = m_view.Whole ? m_shown.X : m_ranges.InOtherUnit(m_shown.X, seconds, m_view.Hidden);
    ChangeView(InUnit(m_view, seconds, x, m_ranges.Newest(seconds)));
}

void TChart::ShowAll()
{
    ChangeView(::ShowAll(m_view, Newest()));
}

void TChart::FollowNewest()
{
    ChangeView(::FollowNewest(m_view, m_shown, Newest()));
}

void TChart::ZoomX(double factor)
{
    ChangeView(::ZoomX(m_view, m_shown, Newest(), factor));
}

void TChart::PanX(double fraction)
{
    ChangeView(::PanX(m_view, m_shown, Newest(), fraction));
}

void TChart::PanY(double fraction)
{
    ChangeView(::PanY(m_view, m_shown, Newest(), fraction));
}

void TChart::FitY()
{
    ChangeView(FitLeftAxis(m_view, Newest()));
}

bool TChart::SeriesVisible(int index) const
{
    return !m_view.Hidden[std::size_t(index)];
}

void TChart::SetSeriesVisible(int index, bool visible)
{
    if (SeriesVisible(index) == visible)
        return;
    TChartView view = m_view;
    view.Hidden[std::size_t(index)] = !visible;
    m_view = view;
    UpdateMarker(index);
    m_drawing.Invalidate();
    Flush();
    emit ViewChanged();
}

void TChart::UpdateMarker(int index)
{
    // A hidden series keeps its legend entry, greyed.
    TFastLineSeries& series = *m_series[std::size_t(index)];
    if (!series.m_marker)
        return;
    const bool hidden = m_view.Hidden[std::size_t(index)];
    QColor colour = series.Color();
    QColor label = m_chart->legend()->labelColor();
    if (hidden) {
        colour.setAlpha(50);
        label = QColor(150, 150, 150);
    }
    series.m_marker->setBrush(colour);
    series.m_marker->setLabelBrush(label);
}

void TChart::AddMenuActions(const QList<QAction*>& actions)
{
    m_menuActions << actions;
}

QMenu* TChart::CreateContextMenu()
{
    return CreateChartMenu(*this, m_menuActions);
}

void TChart::OpenMenu(QPoint globalPosition)
{
    PopUpChartMenu(*this, m_menuActions, globalPosition);
}

// Geometry.

QRectF TChart::PlotArea() const
{
    return viewportTransform().mapRect(m_chart->mapRectToScene(m_chart->plotArea()));
}

QPointF TChart::WidgetPosition(double x, double y) const
{
    const QRectF plot = m_chart->plotArea();
    const QPointF inChart(plot.left() + (x - m_shown.X.Min) / (m_shown.X.Max - m_shown.X.Min) * plot.width(),
                          plot.top() + (m_shown.Y.Max - y) / (m_shown.Y.Max - m_shown.Y.Min) * plot.height());
    return viewportTransform().map(m_chart->mapToScene(inChart));
}

QPointF TChart::ValueAt(QPointF widgetPosition) const
{
    const QRectF plot = m_chart->plotArea();
    const QPointF inChart = m_chart->mapFromScene(viewportTransform().inverted().map(widgetPosition));
    return QPointF(m_shown.X.Min + (inChart.x() - plot.left()) / plot.width() * (m_shown.X.Max - m_shown.X.Min),
                   m_shown.Y.Max - (inChart.y() - plot.top()) / plot.height() * (m_shown.Y.Max - m_shown.Y.Min));
}

// The readout.

bool TChart::ReadoutVisible() const
{
    return m_readout.Visible();
}

QString TChart::ReadoutText() const
{
    return m_readout.Text();
}

QRectF TChart::FrozenSignArea() const
{
    const QRectF area = m_frozenSign.Area();
    return area.isEmpty() ? QRectF() : viewportTransform().mapRect(m_chart->mapRectToScene(area));
}

void TChart::HideReadout()
{
    m_readout.Hide();
}

void TChart::ShowReadout(QPoint position)
{
    const double newest = Newest();
    if (!PlotArea().contains(position) || newest < 0) {
        m_readout.Hide();
        return;
    }
    const QPointF at = m_chart->mapFromScene(mapToScene(position));
    const double x = ValueAt(QPointF(position.x() + 0.5, position.y())).x();
    std::vector<TReadoutSeries> series;
    for (int i = 0; i < SeriesCount(); ++i)
        series.push_back({Series(i)->Title(), &Series(i)->Store(), SeriesVisible(i), m_scale.Map(i)});
    if (m_view.Seconds) {
        // Each series its own points: they arrived at their own times.
        const TColumnMapping& mapping = m_drawing.CurrentMapping();
        for (int i = 0; i < SeriesCount(); ++i) {
            TReadoutSeries& s = series[std::size_t(i)];
            s.Axis = m_ranges.SessionAxis(i);
            if (s.Axis < 0)
                continue;
            TAxisTimes times(*m_session, TAxis(s.Axis));
            PointsUnderColumn(times, mapping, position.x(), x, s.First, s.End);
        }
        // Microseconds where a pixel column is shorter than a millisecond.
        const int decimals = mapping.DeltaX > 1000 ? 6 : 3;
        m_readout.Show(position, at.x(), m_chart->plotArea(), ReadoutTimeText(series, *m_session, decimals, m_scale));
        return;
    }
    std::int64_t first = 0;
    std::int64_t end = 0;
    PointsUnderColumn(m_series.front()->Store(), m_drawing.CurrentMapping(), std::int64_t(newest) + 1, position.x(), x,
                      first, end);
    m_readout.Show(position, at.x(), m_chart->plotArea(), ::ReadoutText(first, end, series, m_session, m_scale));
}

// Events: the gestures' first, then as Qt Charts handles them.

void TChart::mousePressEvent(QMouseEvent* event)
{
    if (m_gestures.Press(*event)) {
        event->accept();
        return;
    }
    // Qt Charts asks the item under the press whether it takes mouse
    // buttons without looking whether there is one: where the scene has
    // none, the press goes to the view as it would without Qt Charts'
    // rubber band, which the chart does not use.
    if (itemAt(event->position().toPoint()))
        QChartView::mousePressEvent(event);
    else
        QGraphicsView::mousePressEvent(event);
}

void TChart::mouseMoveEvent(QMouseEvent* event)
{
    if (m_gestures.Move(*event))
        return;
    QChartView::mouseMoveEvent(event);
    ShowReadout(event->position().toPoint());
}

void TChart::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_gestures.Release(*event))
        event->accept();
    else
        QChartView::mouseReleaseEvent(event);
}

void TChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_gestures.DoubleClick(*event))
        event->accept();
    else
        QChartView::mouseDoubleClickEvent(event);
}

void TChart::wheelEvent(QWheelEvent* event)
{
    event->setAccepted(m_gestures.Wheel(*event));
}

void TChart::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_T && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        SetSecondsAxis(!m_view.Seconds);
        event->accept();
        return;
    }
    if (m_gestures.Key(*event))
        event->accept();
    else
        QChartView::keyPressEvent(event);
}

void TChart::contextMenuEvent(QContextMenuEvent* event)
{
    // The menu opens on the release of a right click that did not drag,
    // not on the press that the platform reports.
    if (event->reason() != QContextMenuEvent::Mouse)
        OpenMenu(event->globalPos());
    event->accept();
}

void TChart::leaveEvent(QEvent* event)
{
    HideReadout();
    QChartView::leaveEvent(event);
}

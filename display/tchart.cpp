#include "tchart.h"

#include "format/brazilian.h"
#include "line_item.h"

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFont>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QKeyEvent>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QList>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QRubberBand>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace {

// Zoom steps: a wheel notch, a key.
constexpr double WheelZoom = 1.25;
constexpr double KeyZoom = 1.5;
constexpr double KeyPan = 0.1;

}  // namespace

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
      m_axisX(new QValueAxis),
      m_axisY(new QValueAxis),
      m_pacer(this, [this] { Flush(); })
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
    m_chart->setMargins(QMargins(2, 2, 2, 2));
    if (m_chart->layout())
        m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    m_chart->legend()->setVisible(true);
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setLocale(BrazilianLocale());
    m_chart->setLocalizeNumbers(true);

    for (QValueAxis* axis : {m_axisX, m_axisY}) {
        axis->setLabelFormat("%.0f");
        // Ticks at round multiples, whatever the range.
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(0);
    }
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);

    m_fullScreen = new QAction(QStringLiteral("Tela cheia"), this);
    m_fullScreen->setCheckable(true);
    m_fullScreen->setShortcut(QKeySequence(Qt::Key_F11));
    m_fullScreen->setShortcutContext(Qt::WindowShortcut);
    // Esc leaves full screen too, and only then means that.
    connect(m_fullScreen, &QAction::toggled, this, [this](bool on) {
        QList<QKeySequence> keys{QKeySequence(Qt::Key_F11)};
        if (on)
            keys << QKeySequence(Qt::Key_Escape);
        m_fullScreen->setShortcuts(keys);
    });
    addAction(m_fullScreen);

    UpdateFonts();
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
    line->attachAxis(m_axisX);
    line->attachAxis(m_axisY);
    line->setPen(pen);
    line->setPointsVisible(false);
    line->setPointLabelsVisible(false);
    series.m_line = line;
    const QList<QLegendMarker*> markers = m_chart->legend()->markers(line);
    if (!markers.isEmpty()) {
        series.m_marker = markers.first();
        connect(series.m_marker, &QLegendMarker::clicked, this,
                [this, index] { SetSeriesVisible(index, !SeriesVisible(index)); });
    }
    m_drawing.AddSeries(values, lineItem, line->pen());
    m_view.Hidden.resize(m_series.size(), false);
    ScheduleFlush();
    return &series;
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

qint64 TChart::NewestIndex() const
{
    qint64 longest = 0;
    for (const auto& series : m_series)
        longest = std::max(longest, series->Count());
    return longest - 1;
}

void TChart::UpdateRanges()
{
    const qint64 newest = NewestIndex();
    m_view = Slide(m_view, newest, m_chart->plotArea().width());
    const TSpan x = ShownX(m_view, newest);
    TSpan y{m_view.MinY, m_view.MaxY};
    if (!m_view.ZoomedY) {
        // The points in view of the series shown.
        std::int64_t from = 0;
        std::int64_t to = 0;
        PointsWithin(x, from, to);
        TMinMax values;
        for (std::size_t i = 0; i < m_series.size(); ++i) {
            if (m_view.Hidden[i])
                continue;
            const TSampleStore& store = m_series[i]->Store();
            const qint64 end = std::min<qint64>(to, store.Count());
            if (from < end)
                values.Include(store.MinMax(from, end));
        }
        y = ::FitY(values);
    }

    const int parts = m_look.TickParts();
    SetAxis(*m_axisX, x.Min, x.Max, TickInterval(x.Width(), parts));
    SetAxis(*m_axisY, y.Min, y.Max, TickInterval(y.Width(), parts));
    m_shownMinX = x.Min;
    m_shownMaxX = x.Max;
    m_shownMinY = y.Min;
    m_shownMaxY = y.Max;
}

void TChart::SetAxis(QValueAxis& axis, double minimum, double maximum, double tickInterval)
{
    // Never let the axis hold a wide range with a narrow interval, even for
    // a moment: it would create a label for every tick.
    const bool widening = tickInterval > axis.tickInterval();
    if (widening)
        axis.setTickInterval(tickInterval);
    if (axis.min() != minimum || axis.max() != maximum)
        axis.setRange(minimum, maximum);
    if (!widening && tickInterval != axis.tickInterval())
        axis.setTickInterval(tickInterval);
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
        UpdateFonts();
    }
    UpdateRanges();
    // Settle the layout now so the plot area matches the new axis labels.
    if (m_chart->layout())
        m_chart->layout()->activate();

    const QRectF plot = m_chart->plotArea();
    const QTransform toDevice = m_chart->sceneTransform() * viewportTransform();
    m_drawing.Update(TSeriesDrawing::Mapping(plot, toDevice, size(), Shown()), plot, m_view.Hidden);
    if (m_hover.x() >= 0)
        ShowReadout(m_hover);
}

QImage TChart::Picture()
{
    Flush();
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QWidget::render(&image);
    return image;
}

void TChart::UpdateFonts()
{
    m_look = TChartLook::ForHeight(height());
    ApplyLook(*m_chart, m_look, font());
    m_readoutFont = m_look.LabelFont(font());
    if (m_readout)
        m_readout->setFont(m_readoutFont);
}

void TChart::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    UpdateFonts();
    HideReadout();
    ScheduleFlush();
}

// The view.

TChartView TChart::View() const
{
    return Reported(m_view, Shown());
}

void TChart::SetView(const TChartView& view)
{
    const std::vector<bool> hidden = m_view.Hidden;
    m_view = view;
    m_view.Hidden.resize(m_series.size(), false);
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

void TChart::ShowAll()
{
    ChangeView(::ShowAll(m_view, NewestIndex()));
}

void TChart::FollowNewest()
{
    ChangeView(::FollowNewest(m_view, Shown(), NewestIndex()));
}

void TChart::ZoomX(double factor)
{
    ChangeView(::ZoomX(m_view, Shown(), NewestIndex(), factor));
}

void TChart::PanX(double fraction)
{
    ChangeView(::PanX(m_view, Shown(), NewestIndex(), fraction));
}

void TChart::PanY(double fraction)
{
    ChangeView(::PanY(m_view, Shown(), NewestIndex(), fraction));
}

void TChart::FitY()
{
    ChangeView(FitLeftAxis(m_view, NewestIndex()));
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
    auto* menu = new QMenu(this);
    auto add = [this, menu](const QString& text, const char* key, auto slot) {
        QAction* action = menu->addAction(key ? text + QLatin1Char('\t') + QLatin1String(key) : text);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add(QStringLiteral("Mostrar tudo"), "Home", [this] { ShowAll(); });
    QAction* follow = add(QStringLiteral("Acompanhar"), "End", [this] { FollowNewest(); });
    follow->setCheckable(true);
    follow->setChecked(!m_view.Whole && m_view.Following);
    add(QStringLiteral("Aproximar"), "+", [this] { ZoomX(1 / KeyZoom); });
    add(QStringLiteral("Afastar"), "-", [this] { ZoomX(KeyZoom); });
    QAction* fit = add(QStringLiteral("Ajustar eixo vertical"), nullptr, [this] { FitY(); });
    fit->setEnabled(m_view.ZoomedY);
    menu->addSeparator();
    for (int i = 0; i < SeriesCount(); ++i) {
        QAction* show = add(Series(i)->Title(), nullptr, [this, i](bool on) { SetSeriesVisible(i, on); });
        show->setCheckable(true);
        show->setChecked(SeriesVisible(i));
    }
    menu->addSeparator();
    menu->addAction(m_fullScreen);
    if (!m_menuActions.isEmpty()) {
        menu->addSeparator();
        menu->addActions(m_menuActions);
    }
    return menu;
}

void TChart::OpenMenu(QPoint globalPosition)
{
    QMenu* menu = CreateContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPosition);
}

// Geometry.

QRectF TChart::PlotArea() const
{
    return viewportTransform().mapRect(m_chart->mapRectToScene(m_chart->plotArea()));
}

QPointF TChart::WidgetPosition(double x, double y) const
{
    const QRectF plot = m_chart->plotArea();
    const QPointF inChart(plot.left() + (x - m_shownMinX) / (m_shownMaxX - m_shownMinX) * plot.width(),
                          plot.top() + (m_shownMaxY - y) / (m_shownMaxY - m_shownMinY) * plot.height());
    return viewportTransform().map(m_chart->mapToScene(inChart));
}

QPointF TChart::ValueAt(QPointF widgetPosition) const
{
    const QRectF plot = m_chart->plotArea();
    const QPointF inChart = m_chart->mapFromScene(viewportTransform().inverted().map(widgetPosition));
    return QPointF(m_shownMinX + (inChart.x() - plot.left()) / plot.width() * (m_shownMaxX - m_shownMinX),
                   m_shownMaxY - (inChart.y() - plot.top()) / plot.height() * (m_shownMaxY - m_shownMinY));
}

// The readout.

int TChart::SeriesAxis(const TFastLineSeries& series) const
{
    if (!m_session)
        return -1;
    for (int axis = 0; axis < AxisCount; ++axis) {
        if (&m_session->Values(TAxis(axis)) == &series.Store())
            return axis;
    }
    return -1;
}

bool TChart::ReadoutVisible() const
{
    return m_readoutBox != nullptr;
}

QString TChart::ReadoutText() const
{
    return ReadoutVisible() ? m_readout->text() : QString();
}

void TChart::HideReadout()
{
    m_hover = QPoint(-1, -1);
    // Out of the scene while hidden: the scene looks at every item it holds
    // at each repaint.
    delete m_cursor;
    delete m_readoutBox;  // with the text
    m_cursor = nullptr;
    m_readoutBox = nullptr;
    m_readout = nullptr;
}

void TChart::ShowReadout(QPoint position)
{
    const QRectF area = PlotArea();
    const qint64 newest = NewestIndex();
    if (!area.contains(position) || newest < 0) {
        HideReadout();
        return;
    }
    m_hover = position;
    // The points whose pixel column is the one under the cursor; when none
    // is (zoomed in), the nearest point.
    const qint64 count = newest + 1;
    const TSampleStore& any = m_series.front()->Store();
    qint64 first = FirstIndexAtFixedX(any, m_drawing.CurrentMapping(), 0, count, ColumnStart(position.x()));
    qint64 end = FirstIndexAtFixedX(any, m_drawing.CurrentMapping(), first, count, ColumnStart(position.x() + 1));
    if (first == end) {
        const double x = ValueAt(QPointF(position.x() + 0.5, position.y())).x();
        first = std::clamp<qint64>(qint64(std::llround(x)), 0, newest);
        end = first + 1;
    }
    QStringList lines;
    lines << QStringLiteral("X: ") + FormatRange(double(first), double(end - 1));
    QString time;
    for (int i = 0; i < SeriesCount(); ++i) {
        const TFastLineSeries& series = *m_series[std::size_t(i)];
        const qint64 stop = std::min(end, series.Count());
        if (!SeriesVisible(i) || first >= stop)
            continue;
        const TMinMax values = series.Store().MinMax(first, stop);
        lines << series.Title() + QStringLiteral(": ") + FormatRange(values.Min, values.Max);
        const int axis = SeriesAxis(series);
        if (time.isEmpty() && axis >= 0 && m_session->Started()) {
            const QString from = FormatDuration(m_session->TimeUs(TAxis(axis), first));
            const QString to = FormatDuration(m_session->TimeUs(TAxis(axis), stop - 1));
            time = QStringLiteral("t: ") + (from == to ? from : from + QStringLiteral(" – ") + to);
        }
    }
    if (!time.isEmpty())
        lines << time;
    if (!m_readoutBox) {
        // A thin cursor and a box of text beside it, over the lines.
        m_cursor = new QGraphicsLineItem(m_chart);
        m_cursor->setPen(QPen(QColor(90, 90, 90), 0));
        m_cursor->setZValue(1000);
        m_readoutBox = new QGraphicsRectItem(m_chart);
        m_readoutBox->setBrush(QColor(255, 255, 255, 235));
        m_readoutBox->setPen(QPen(QColor(160, 160, 160), 0));
        m_readoutBox->setZValue(1001);
        m_readout = new QGraphicsSimpleTextItem(m_readoutBox);
        m_readout->setFont(m_readoutFont);
    }
    m_readout->setText(lines.join(QLatin1Char('\n')));

    // The cursor on the pixel column, the box beside it inside the plot.
    const QRectF plot = m_chart->plotArea();
    const QPointF at = m_chart->mapFromScene(mapToScene(position));
    const double x = std::floor(at.x()) + 0.5;
    m_cursor->setLine(x, plot.top(), x, plot.bottom());
    const QRectF text = m_readout->boundingRect();
    const QSizeF box(text.width() + 8, text.height() + 6);
    double left = x + 8;
    if (left + box.width() > plot.right())
        left = x - 8 - box.width();
    left = std::max(left, plot.left());
    m_readoutBox->setRect(0, 0, box.width(), box.height());
    m_readoutBox->setPos(std::floor(left), std::floor(plot.top() + 4));
    m_readout->setPos(4, 3);
}

// Mouse and keys.

void TChart::mousePressEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    if (!PlotArea().contains(position) || m_gesture != TGesture::None) {
        // Qt Charts asks the item under the press whether it takes mouse
        // buttons without looking whether there is one: where the scene
        // has none, the press goes to the view as it would without Qt
        // Charts' rubber band, which the chart does not use.
        if (itemAt(position))
            QChartView::mousePressEvent(event);
        else
            QGraphicsView::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_pressPosition = position;
    m_pressView = m_view;
    if (event->button() == Qt::LeftButton) {
        m_gesture = TGesture::Zoom;
        if (!m_rubberBand)
            m_rubberBand = new QRubberBand(QRubberBand::Rectangle, viewport());
        m_rubberBand->setGeometry(QRect(position, QSize()));
    } else if (event->button() == Qt::RightButton) {
        m_gesture = TGesture::PanPending;
    }
    event->accept();
}

void TChart::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    switch (m_gesture) {
    case TGesture::Zoom: {
        const QRect plot = PlotArea().toAlignedRect();
        const QPoint end(std::clamp(position.x(), plot.left(), plot.right()),
                         std::clamp(position.y(), plot.top(), plot.bottom()));
        m_rubberBand->setGeometry(QRect(m_pressPosition, end).normalized());
        if ((end - m_pressPosition).manhattanLength() >= QApplication::startDragDistance())
            m_rubberBand->show();
        HideReadout();
        break;
    }
    case TGesture::PanPending:
        if ((position - m_pressPosition).manhattanLength() < QApplication::startDragDistance())
            break;
        m_gesture = TGesture::Pan;
        HideReadout();
        Q_FALLTHROUGH();
    case TGesture::Pan: {
        // The view as at the press, moved by the drag.
        const QRectF plot = PlotArea();
        const QPointF drag = position - m_pressPosition;
        ChangeView(Drag(m_pressView, NewestIndex(), drag.x() / plot.width(), drag.y() / plot.height()));
        break;
    }
    case TGesture::None:
        QChartView::mouseMoveEvent(event);
        ShowReadout(position);
        break;
    }
}

void TChart::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    const TGesture gesture = m_gesture;
    if (gesture == TGesture::None) {
        QChartView::mouseReleaseEvent(event);
        return;
    }
    if ((gesture == TGesture::Zoom && event->button() != Qt::LeftButton)
        || (gesture != TGesture::Zoom && event->button() != Qt::RightButton)) {
        event->accept();
        return;
    }
    m_gesture = TGesture::None;
    event->accept();
    if (gesture == TGesture::PanPending) {
        OpenMenu(event->globalPosition().toPoint());
        return;
    }
    if (gesture == TGesture::Pan)
        return;

    // The zoom rectangle.
    const QRect band = m_rubberBand->geometry();
    const bool shown = m_rubberBand->isVisible();
    m_rubberBand->hide();
    if (!shown)
        return;  // a click
    if (position.x() < m_pressPosition.x()) {
        // Dragged leftwards: back to the whole history.
        ShowAll();
        return;
    }
    const QPointF topLeft = ValueAt(QPointF(band.left(), band.top()));
    const QPointF bottomRight = ValueAt(QPointF(band.right() + 1, band.bottom() + 1));
    const TSpan values{bottomRight.y(), topLeft.y()};
    const bool tall = band.height() >= QApplication::startDragDistance();
    ChangeView(ZoomInto(m_view, NewestIndex(), {topLeft.x(), bottomRight.x()}, tall ? &values : nullptr));
}

void TChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && PlotArea().contains(event->position())) {
        ShowAll();
        event->accept();
        return;
    }
    QChartView::mouseDoubleClickEvent(event);
}

void TChart::wheelEvent(QWheelEvent* event)
{
    const QPointF position = event->position();
    const int delta = event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
    if (!PlotArea().contains(position) || delta == 0) {
        event->ignore();
        return;
    }
    // Away from the user (positive) zooms in.
    const double factor = std::pow(WheelZoom, -delta / 120.0);
    const QPointF value = ValueAt(position);
    if (event->modifiers() & Qt::ControlModifier)
        ChangeView(::ZoomYAbout(m_view, Shown(), NewestIndex(), factor, value.y()));
    else
        ChangeView(::ZoomXAbout(m_view, Shown(), NewestIndex(), factor, value.x()));
    event->accept();
}

void TChart::keyPressEvent(QKeyEvent* event)
{
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Left:
        PanX(-KeyPan);
        break;
    case Qt::Key_Right:
        PanX(KeyPan);
        break;
    case Qt::Key_PageUp:
        PanX(-0.9);
        break;
    case Qt::Key_PageDown:
        PanX(0.9);
        break;
    case Qt::Key_Up:
        PanY(KeyPan);
        break;
    case Qt::Key_Down:
        PanY(-KeyPan);
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        ZoomX(1 / KeyZoom);
        break;
    case Qt::Key_Minus:
        ZoomX(KeyZoom);
        break;
    case Qt::Key_Home:
        ShowAll();
        break;
    case Qt::Key_End:
        FollowNewest();
        break;
    case Qt::Key_Escape:
        if (m_gesture == TGesture::None) {
            QChartView::keyPressEvent(event);
            return;
        }
        if (m_rubberBand)
            m_rubberBand->hide();
        m_gesture = TGesture::None;
        break;
    case Qt::Key_Menu:
        OpenMenu(mapToGlobal(PlotArea().center().toPoint()));
        break;
    case Qt::Key_F10:
        if (!shift) {
            QChartView::keyPressEvent(event);
            return;
        }
        OpenMenu(mapToGlobal(PlotArea().center().toPoint()));
        break;
    default:
        QChartView::keyPressEvent(event);
        return;
    }
    event->accept();
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

#include "chart_menu.h"

#include "gestures.h"
#include "tchart.h"

#include <QAction>
#include <QMenu>

QMenu* CreateChartMenu(TChart& chart, const QList<QAction*>& callerActions)
{
    auto* menu = new QMenu(&chart);
    auto add = [&chart, menu](const QString& text, const char* key, auto slot) {
        QAction* action = menu->addAction(key ? text + QLatin1Char('\t') + QLatin1String(key) : text);
        QObject::connect(action, &QAction::triggered, &chart, slot);
        return action;
    };
    TChart* target = &chart;
    const TChartView view = chart.View();
    add(QStringLiteral("Mostrar tudo"), "Home", [target] { target->ShowAll(); });
    QAction* follow = add(QStringLiteral("Acompanhar"), "End", [target] { target->FollowNewest(); });
    follow->setCheckable(true);
    follow->setChecked(view.Following);
    add(QStringLiteral("Aproximar"), "+", [target] { target->ZoomX(1 / GestureSteps::KeyZoom); });
    add(QStringLiteral("Afastar"), "-", [target] { target->ZoomX(GestureSteps::KeyZoom); });
    QAction* fit = add(QStringLiteral("Ajustar eixo vertical"), nullptr, [target] { target->FitY(); });
    fit->setEnabled(view.ZoomedY);
    QAction* seconds
        = add(QStringLiteral("Eixo X em segundos"), "T", [target](bool on) { target->SetSecondsAxis(on); });
    seconds->setCheckable(true);
    seconds->setChecked(view.Seconds);
    seconds->setEnabled(chart.CanShowSeconds());
    menu->addSeparator();
    for (int i = 0; i < chart.SeriesCount(); ++i) {
        QAction* show = add(chart.Series(i)->Title(), nullptr, [target, i](bool on) { target->SetSeriesVisible(i, on); });
        show->setCheckable(true);
        show->setChecked(chart.SeriesVisible(i));
    }
    menu->addSeparator();
    menu->addAction(chart.FullScreenAction());
    if (!callerActions.isEmpty()) {
        menu->addSeparator();
        menu->addActions(callerActions);
    }
    return menu;
}

void PopUpChartMenu(TChart& chart, const QList<QAction*>& callerActions, QPoint globalPosition)
{
    QMenu* menu = CreateChartMenu(chart, callerActions);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPosition);
}

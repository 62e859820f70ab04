#pragma once
// "Tela cheia" (F11): a checkable action; the window decides what showing
// the chart alone means. While it is on, Esc leaves it too, and only then
// means that, so that Esc keeps its other uses otherwise.

#include <QAction>

class TFullScreenAction : public QAction {
public:
    explicit TFullScreenAction(QObject* parent);
};

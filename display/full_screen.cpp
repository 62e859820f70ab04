#include "full_screen.h"

#include <QKeySequence>
#include <QList>

TFullScreenAction::TFullScreenAction(QObject* parent) : QAction(QStringLiteral("Tela cheia"), parent)
{
    setCheckable(true);
    setShortcut(QKeySequence(Qt::Key_F11));
    setShortcutContext(Qt::WindowShortcut);
    connect(this, &QAction::toggled, this, [this](bool on) {
        QList<QKeySequence> keys{QKeySequence(Qt::Key_F11)};
        if (on)
            keys << QKeySequence(Qt::Key_Escape);
        setShortcuts(keys);
    });
}

#include "window_look.h"

#include <QFont>
#include <QPalette>
#include <QWidget>

void ApplyWindowLook(QWidget& window)
{
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    window.setPalette(pal);
    window.setAutoFillBackground(true);
    QFont f(QStringLiteral("Tahoma"), 8);
    f.setStyleHint(QFont::SansSerif);
    window.setFont(f);
}

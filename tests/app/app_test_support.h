#pragma once
#include <QStringList>

// Messages that the application object would have shown, in order.
extern QStringList g_reported;

#pragma once
#include "pty_pair.h"
#include "tform2.h"

#include <QStringList>

// Messages that the application object would have shown, in order.
extern QStringList g_reported;

// Has the window's serial settings name the pseudo-terminal's device, as
// choosing it in "Config. Serial" would.
inline void UsePty(TForm2& form, const TPtyPair& pty)
{
    TSerialSettings settings = form.SerialSettings();
    settings.Port = QString::fromStdString(pty.SlavePath());
    form.SetSerialSettings(settings);
}

#pragma once
#include "pty_pair.h"
#include "stream_builder.h"
#include "tform2.h"

#include <QStringList>

// Messages that the application object would have shown, in order.
extern QStringList g_reported;

// A stream in which one frame in twenty fails its check and one byte in
// twenty is junk.
inline TStreamOptions FaultyStream(uint32_t seed = 1)
{
    TStreamOptions options;
    options.FailureRate = 0.05;
    options.JunkRate = 0.05;
    options.Seed = seed;
    return options;
}

// Has the window's serial settings name the pseudo-terminal's device, as
// choosing it in "Config. Serial" would.
inline void UsePty(TForm2& form, const TPtyPair& pty)
{
    TSerialSettings settings = form.SerialSettings();
    settings.Port = QString::fromStdString(pty.SlavePath());
    form.SetSerialSettings(settings);
}

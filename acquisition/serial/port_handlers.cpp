#include "port_handlers.h"

#include "frame_decoder.h"
#include "tcomport.h"

TPortHandlers::TPortHandlers(TComPort& comPort1, ISampleSink& sink, QWidget* dialogParent)
    : ComPort1(comPort1), m_sink(sink), m_dialogParent(dialogParent)
{
}

void TPortHandlers::Button1Click()
{
    ComPort1.ShowSetupDialog(m_dialogParent);
}

void TPortHandlers::Button2Click()
{
    ComPort1.SetConnected(true);
}

void TPortHandlers::Button3Click()
{
    ComPort1.Close();
}

void TPortHandlers::FormClose()
{
    if (ComPort1.Connected())
        ComPort1.Close();
}

void TPortHandlers::ComPort1RxChar(QObject* /*sender*/, int count)
{
    HandleRxChar(count, ComPort1, m_sink);
}

#include "serial_settings.h"

bool TSerialSettings::SameLine(const TSerialSettings& o) const
{
    return BaudRate == o.BaudRate && DataBits == o.DataBits && Parity == o.Parity && StopBits == o.StopBits
        && FlowControl == o.FlowControl && Dtr == o.Dtr && Rts == o.Rts;
}

bool TSerialSettings::operator==(const TSerialSettings& o) const
{
    return Port == o.Port && SameLine(o) && Reconnect == o.Reconnect;
}

const QList<qint32>& StandardBaudRates()
{
    static const QList<qint32> rates = {110,   300,   600,   1200,   2400,   4800,   9600,
                                        19200, 38400, 57600, 115200, 230400, 460800, 921600};
    return rates;
}

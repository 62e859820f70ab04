#include "value_scale.h"

#include "format/brazilian.h"

TValueMap TValueScale::Map(int series) const
{
    return series >= 0 && std::size_t(series) < Maps.size() ? Maps[std::size_t(series)] : TValueMap{};
}

QString TValueScale::Text(double value) const
{
    if (Unit.isEmpty())
        return FormatNumber(value);
    return FormatDecimal(value, Decimals) + QLatin1Char(' ') + Unit;
}

QString TValueScale::RangeText(double low, double high) const
{
    if (Unit.isEmpty())
        return FormatRange(low, high);
    const QString from = FormatDecimal(low, Decimals);
    const QString to = FormatDecimal(high, Decimals);
    return (from == to ? from : from + QStringLiteral(" – ") + to) + QLatin1Char(' ') + Unit;
}

bool TValueScale::operator==(const TValueScale& other) const
{
    return Maps == other.Maps && Unit == other.Unit && AxisTitle == other.AxisTitle && Decimals == other.Decimals
        && Step == other.Step;
}

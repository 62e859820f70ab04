#include "value_scale.h"

#include "format/brazilian.h"

#include <cmath>

TValueMap TValueScale::Map(int series) const
{
    return series >= 0 && std::size_t(series) < Maps.size() ? Maps[std::size_t(series)] : TValueMap{};
}

namespace {

QString Decimal(double value, int decimals)
{
    // No "-0,000" for a value that rounds to zero.
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0;
    return BrazilianLocale().toString(value, 'f', decimals);
}

}  // namespace

QString TValueScale::Text(double value) const
{
    if (Unit.isEmpty())
        return FormatNumber(value);
    return Decimal(value, Decimals) + QLatin1Char(' ') + Unit;
}

QString TValueScale::RangeText(double low, double high) const
{
    if (Unit.isEmpty())
        return FormatRange(low, high);
    const QString from = Decimal(low, Decimals);
    const QString to = Decimal(high, Decimals);
    return (from == to ? from : from + QStringLiteral(" – ") + to) + QLatin1Char(' ') + Unit;
}

bool TValueScale::operator==(const TValueScale& other) const
{
    return Maps == other.Maps && Unit == other.Unit && AxisTitle == other.AxisTitle && Decimals == other.Decimals
        && Step == other.Step;
}

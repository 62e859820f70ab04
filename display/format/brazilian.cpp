#include "brazilian.h"

#include <algorithm>
#include <cmath>

const QLocale& BrazilianLocale()
{
    static const QLocale locale(QLocale::Portuguese, QLocale::Brazil);
    return locale;
}

QString FormatCount(std::uint64_t count)
{
    return BrazilianLocale().toString(qulonglong(count));
}

QString FormatNumber(double value)
{
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return BrazilianLocale().toString(qint64(value));
    return BrazilianLocale().toString(value, 'f', 2);
}

QString FormatDecimal(double value, int decimals)
{
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0;
    return BrazilianLocale().toString(value, 'f', decimals);
}

QString FormatRange(double low, double high)
{
    return low == high ? FormatNumber(low) : FormatNumber(low) + QStringLiteral(" – ") + FormatNumber(high);
}

QString FormatShare(std::uint64_t part, std::uint64_t whole)
{
    const double percent = whole == 0 ? 0.0 : 100.0 * double(part) / double(whole);
    // A share that rounds to nothing is still not none, one that rounds
    // to everything still not all.
    if (part > 0 && percent < 0.05)
        return QStringLiteral("<%1%").arg(BrazilianLocale().toString(0.1, 'f', 1));
    if (part < whole && percent >= 99.95)
        return QStringLiteral(">%1%").arg(BrazilianLocale().toString(99.9, 'f', 1));
    return QStringLiteral("%1%").arg(BrazilianLocale().toString(percent, 'f', 1));
}

QString FormatRate(double perSecond)
{
    return BrazilianLocale().toString(qRound64(perSecond));
}

QString FormatDuration(std::int64_t us, int decimals)
{
    decimals = std::clamp(decimals, 0, 6);
    std::int64_t unit = 1;
    for (int d = decimals; d < 6; ++d)
        unit *= 10;
    const std::int64_t perSecond = 1000000 / unit;
    const std::int64_t ticks = (us + unit / 2) / unit;
    const std::int64_t seconds = ticks / perSecond;
    const QString fraction
        = decimals == 0 ? QString() : QStringLiteral(",%1").arg(ticks % perSecond, decimals, 10, QLatin1Char('0'));
    if (seconds < 60)
        return QStringLiteral("%1%2 s").arg(seconds).arg(fraction);
    const QString secs = QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (seconds < 3600)
        return QStringLiteral("%1:%2%3 min").arg(seconds / 60).arg(secs, fraction);
    const QString mins = QStringLiteral("%1").arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2:%3%4 h").arg(seconds / 3600).arg(mins, secs, fraction);
}

int ClockFields(double largestSeconds)
{
    const double t = std::fabs(largestSeconds);
    return t < 60 ? 1 : t < 3600 ? 2 : 3;
}

int ClockDecimals(double interval)
{
    int decimals = 0;
    double scaled = std::fabs(interval);
    while (decimals < 9 && std::fabs(scaled - std::round(scaled)) > 1e-6 * std::max(1.0, scaled)) {
        scaled *= 10;
        ++decimals;
    }
    return decimals;
}

QString FormatClock(double seconds, int decimals, int fields)
{
    decimals = std::clamp(decimals, 0, 9);
    std::int64_t perSecond = 1;
    for (int d = 0; d < decimals; ++d)
        perSecond *= 10;
    const std::int64_t ticks = std::llround(std::fabs(seconds) * double(perSecond));
    const std::int64_t whole = ticks / perSecond;
    QString text = seconds < 0 && ticks > 0 ? QStringLiteral("-") : QString();
    auto two = [](std::int64_t n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    if (fields <= 1)
        text += QString::number(whole);
    else if (fields == 2)
        text += QString::number(whole / 60) + QLatin1Char(':') + two(whole % 60);
    else
        text += QString::number(whole / 3600) + QLatin1Char(':') + two(whole / 60 % 60) + QLatin1Char(':') + two(whole % 60);
    if (decimals > 0)
        text += QStringLiteral(",%1").arg(ticks % perSecond, decimals, 10, QLatin1Char('0'));
    return text;
}

QString ClockTitle(int fields)
{
    return fields <= 1 ? QStringLiteral("tempo (s)") : fields == 2 ? QStringLiteral("tempo (min:s)")
                                                                   : QStringLiteral("tempo (h:min:s)");
}

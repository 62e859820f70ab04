#include "brazilian.h"

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

QString FormatDuration(std::int64_t us)
{
    const std::int64_t ms = (us + 500) / 1000;
    const std::int64_t seconds = ms / 1000;
    const QString fraction = QStringLiteral("%1").arg(ms % 1000, 3, 10, QLatin1Char('0'));
    if (seconds < 60)
        return QStringLiteral("%1,%2 s").arg(seconds).arg(fraction);
    const QString secs = QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (seconds < 3600)
        return QStringLiteral("%1:%2,%3 min").arg(seconds / 60).arg(secs, fraction);
    const QString mins = QStringLiteral("%1").arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2:%3,%4 h").arg(seconds / 3600).arg(mins, secs, fraction);
}

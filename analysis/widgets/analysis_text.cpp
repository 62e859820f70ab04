#include "analysis_text.h"

#include "format/brazilian.h"

#include <cmath>

namespace analysis_text {

namespace {

const QString Dash = QStringLiteral("—");
// Of a value in a unit (g: a tenth of a milli-g).
constexpr int UnitDecimals = 4;

}  // namespace

QString Number(double value, int decimals)
{
    if (!std::isfinite(value))
        return Dash;
    return FormatDecimal(value, decimals);
}

QString Percent(double share)
{
    if (!std::isfinite(share))
        return Dash;
    return Number(100 * share, 2) + QLatin1Char('%');
}

QString FrequencyUnit(const TSampleRate& rate)
{
    return rate.Hertz ? QStringLiteral("Hz") : QStringLiteral("ciclos/ponto");
}

QString Frequency(double frequency, const TSampleRate& rate)
{
    return Number(frequency, rate.Hertz ? 3 : 5) + QLatin1Char(' ') + FrequencyUnit(rate);
}

QString Rate(const TSampleRate& rate)
{
    if (!rate.Hertz)
        return QStringLiteral("sem tempos");
    return Number(rate.PerUnit, 2) + QStringLiteral(" pontos/s");
}

QString Density(double density, bool decibels)
{
    if (decibels)
        return Number(ToDecibels(density), 1) + QStringLiteral(" dB");
    return BrazilianLocale().toString(density, 'g', 4);
}

QString RowTitle(TStatRow row)
{
    switch (row) {
    case TStatRow::Points: return QStringLiteral("Pontos");
    case TStatRow::Minimum: return QStringLiteral("Mínimo");
    case TStatRow::Maximum: return QStringLiteral("Máximo");
    case TStatRow::Mean: return QStringLiteral("Média");
    case TStatRow::Rms: return QStringLiteral("RMS");
    case TStatRow::StdDev: return QStringLiteral("Desvio padrão");
    case TStatRow::PeakToPeak: return QStringLiteral("Pico a pico");
    case TStatRow::Held: return QStringLiteral("Valores retidos");
    case TStatRow::Rate: return QStringLiteral("Taxa de amostragem");
    case TStatRow::Peak: return QStringLiteral("Pico do espectro");
    case TStatRow::PeakAmplitude: return QStringLiteral("Amplitude do pico");
    case TStatRow::Count: break;
    }
    return QString();
}

namespace {

// A value of the range: in counts with decimals, or in unit.
QString Value(double value, int decimals, const QString& unit)
{
    if (unit.isEmpty())
        return Number(value, decimals);
    if (!std::isfinite(value))
        return Dash;
    return Number(value, UnitDecimals) + QLatin1Char(' ') + unit;
}

}  // namespace

QString StatText(TStatRow row, const TRangeStats& stats, const TSampleRate& rate, const QString& unit)
{
    switch (row) {
    case TStatRow::Points: return FormatCount(std::uint64_t(stats.Count));
    case TStatRow::Minimum: return Value(stats.Minimum, 0, unit);
    case TStatRow::Maximum: return Value(stats.Maximum, 0, unit);
    case TStatRow::Mean: return Value(stats.Mean, 2, unit);
    case TStatRow::Rms: return Value(stats.Rms, 2, unit);
    case TStatRow::StdDev: return Value(stats.StdDev, 2, unit);
    case TStatRow::PeakToPeak: return Value(stats.PeakToPeak, 0, unit);
    case TStatRow::Held:
        return stats.Count == 0 ? Dash : FormatCount(std::uint64_t(stats.Held)) + QStringLiteral(" (") + Percent(stats.HeldShare) + ')';
    case TStatRow::Rate: return stats.Count == 0 ? Dash : Rate(rate);
    default: break;
    }
    return QString();
}

QString PeakText(TStatRow row, const TSpectrum* spectrum, const QString& unit)
{
    if (!spectrum || !spectrum->Peak.Found)
        return Dash;
    if (row == TStatRow::Peak)
        return Frequency(spectrum->Peak.Frequency, spectrum->Rate);
    if (row == TStatRow::PeakAmplitude)
        return Value(spectrum->Peak.Amplitude, 2, unit);
    return QString();
}

}  // namespace analysis_text

#pragma once
// Numbers and times as the program writes them wherever a person reads
// them (the chart's axes and readout, the status line, the lamp's
// tooltip): the Brazilian way, digits grouped by dots (150.000.000) and
// decimals after a comma (1,5%). Qt Core only.

#include <QLocale>
#include <QString>

#include <cstdint>

// Portuguese as written in Brazil, for Qt's own labels (Qt Charts' axes).
const QLocale& BrazilianLocale();

QString FormatCount(std::uint64_t count);                     // "1.234.567"
// A whole number grouped, anything else with two decimals.
QString FormatNumber(double value);                           // "150.000.000", "2.047,50"
// With as many decimals as asked; one that rounds to zero reads without
// a sign.
QString FormatDecimal(double value, int decimals);            // "2.047,53", "0,000" for -0,0001
// One number when low and high are the same.
QString FormatRange(double low, double high);                 // "12 – 15", "7"
// Always with one decimal; a share that is neither none nor all never
// reads as one.
QString FormatShare(std::uint64_t part, std::uint64_t whole); // "0,0%", "<0,1%", "0,3%", "1,5%", ">99,9%"
QString FormatRate(double perSecond);                         // "320"
// A time since the session's start, to the millisecond (or to as many
// decimals of a second as asked, up to 6), with its unit.
QString FormatDuration(std::int64_t us, int decimals = 3);    // "5,123 s", "2:05,123 min", "1:02:05,123 h"

// The labels of an axis of seconds, all of one shape, that of its largest
// (ClockFields): seconds alone, minutes and seconds, or hours, minutes and
// seconds; with the decimals its tick interval needs (ClockDecimals). The
// axis' title names the shape (ClockTitle).
int ClockFields(double largestSeconds);                       // 1 below a minute, 2 below an hour, else 3
int ClockDecimals(double interval);                           // 0 for whole seconds, 1 for 0,5, 3 for 0,001
QString FormatClock(double seconds, int decimals, int fields); // "30", "1:05", "1:05:30,250"
QString ClockTitle(int fields);                               // "tempo (s)", "tempo (min:s)", "tempo (h:min:s)"

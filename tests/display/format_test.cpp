// Numbers and times as the chart and the status line write them.
#include "format/brazilian.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

TEST(BrazilianNumbers, CountsAndNumbersGroupTheirDigits)
{
    const std::pair<std::uint64_t, QString> counts[] = {
        {0, "0"}, {999, "999"}, {1000, "1.000"}, {1234567, "1.234.567"}, {12345678901ull, "12.345.678.901"}};
    for (const auto& [count, text] : counts)
        EXPECT_EQ(FormatCount(count), text) << count;

    const std::pair<double, QString> numbers[] = {
        {0, "0"}, {-12, "-12"}, {150000000, "150.000.000"}, {2047.5, "2.047,50"}, {0.125, "0,13"}, {-1.5, "-1,50"}};
    for (const auto& [number, text] : numbers)
        EXPECT_EQ(FormatNumber(number), text) << number;
    EXPECT_EQ(FormatRange(7, 7), "7");
    EXPECT_EQ(FormatRange(1999, 2010), "1.999 – 2.010");

    EXPECT_EQ(FormatRate(319.6), "320");
    EXPECT_EQ(FormatRate(12345.0), "12.345");
    EXPECT_EQ(FormatRate(0.4), "0");
}

// Values in a unit keep their decimals; one that rounds to zero has no
// sign, which would read as a value below zero.
TEST(BrazilianNumbers, DecimalsAsAskedWithoutANegativeZero)
{
    struct TCase {
        double Value;
        int Decimals;
        QString Text;
    };
    const TCase cases[] = {
        {2047.5, 2, "2.047,50"}, {-0.0004, 3, "0,000"},   {-0.004, 2, "0,00"},    {-0.006, 2, "-0,01"},
        {0.99849, 3, "0,998"},   {-12.34567, 4, "-12,3457"}, {1234567.0, 0, "1.234.567"}, {-0.4, 0, "0"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(FormatDecimal(c.Value, c.Decimals), c.Text) << c.Value << " " << c.Decimals;
}

// A share has one decimal whatever its size, so that the status line does
// not jump between "0%" and "1,0%"; one that rounds to none or to all says
// it is not quite that.
TEST(BrazilianNumbers, SharesAlwaysHaveOneDecimal)
{
    struct TCase {
        std::uint64_t Part, Whole;
        QString Text;
    };
    const TCase cases[] = {
        {0, 0, "0,0%"},          {0, 500, "0,0%"},      {1, 1000000, "<0,1%"}, {1, 2001, "<0,1%"},
        {1, 2000, "0,1%"},       {3, 1000, "0,3%"},     {1, 400, "0,3%"},      {4, 1000, "0,4%"},
        {49, 10000, "0,5%"},     {5, 1000, "0,5%"},     {15, 1000, "1,5%"},    {5, 100, "5,0%"},
        {1, 3, "33,3%"},         {999, 1000, "99,9%"},  {9999, 10000, ">99,9%"}, {1000, 1000, "100,0%"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(FormatShare(c.Part, c.Whole), c.Text) << c.Part << "/" << c.Whole;
}

// Times since the start always carry their unit: seconds, then minutes
// and hours with the seconds after a colon.
TEST(BrazilianNumbers, DurationsCarryTheirUnit)
{
    const std::pair<std::int64_t, QString> cases[] = {
        {0, "0,000 s"},
        {499, "0,000 s"},
        {500, "0,001 s"},
        {3474000, "3,474 s"},
        {59999499, "59,999 s"},
        {59999500, "1:00,000 min"},
        {66713000, "1:06,713 min"},
        {3599999000, "59:59,999 min"},
        {3600000000, "1:00:00,000 h"},
        {3725123000, "1:02:05,123 h"},
        {360000000000, "100:00:00,000 h"},
    };
    for (const auto& [us, text] : cases)
        EXPECT_EQ(FormatDuration(us), text) << us;
}

// The labels of an axis of seconds: all of one shape, that of the largest
// time in view, with the decimals the ticks need.
TEST(BrazilianNumbers, ClockLabelsTakeTheShapeOfTheLargestTime)
{
    struct TCase {
        double Seconds;
        double Interval;
        double Largest;
        QString Text;
    };
    const TCase cases[] = {
        {0, 5, 40, "0"},
        {35, 5, 40, "35"},
        {10.25, 0.05, 11, "10,25"},
        {10.007, 0.001, 10.008, "10,007"},
        {30, 15, 100, "0:30"},
        {65, 5, 100, "1:05"},
        {61.25, 0.05, 61.7, "1:01,25"},
        {3930.25, 0.05, 3931, "1:05:30,25"},
        {3930.25, 0.001, 3931, "1:05:30,250"},
        {1800, 900, 7200, "0:30:00"},
        {360000, 3600, 400000, "100:00:00"},
        {0.0002, 0.0001, 0.0008, "0,0002"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(FormatClock(c.Seconds, ClockDecimals(c.Interval), ClockFields(c.Largest)), c.Text) << c.Seconds;
    EXPECT_EQ(ClockTitle(ClockFields(59)), "tempo (s)");
    EXPECT_EQ(ClockTitle(ClockFields(60)), "tempo (min:s)");
    EXPECT_EQ(ClockTitle(ClockFields(3600)), "tempo (h:min:s)");
}

// The readout over time gives microseconds when a pixel column is shorter
// than a millisecond.
TEST(BrazilianNumbers, DurationsToTheMicrosecond)
{
    EXPECT_EQ(FormatDuration(3750, 6), "0,003750 s");
    EXPECT_EQ(FormatDuration(66713250, 6), "1:06,713250 min");
    EXPECT_EQ(FormatDuration(3474499, 3), "3,474 s");
    EXPECT_EQ(FormatDuration(3474500, 0), "3 s");
}

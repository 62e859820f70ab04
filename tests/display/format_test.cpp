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

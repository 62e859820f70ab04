#pragma once
// Comparing whole files of many megabytes: EXPECT_EQ on two such strings
// makes GoogleTest build a diff of every line, which takes gigabytes and
// ends the test binary. SameLines reports only the first line that
// differs, with its number and both versions, and the sizes.
//
//     EXPECT_TRUE(SameLines(ReadFile(path), expected));

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace SameLinesDetail {

inline std::size_t LineCount(std::string_view text)
{
    return std::size_t(std::count(text.begin(), text.end(), '\n')) + (text.empty() || text.back() == '\n' ? 0 : 1);
}

// A line as it reads in a message: the line end shown, a long line cut.
inline std::string Shown(std::string_view text, std::size_t begin)
{
    if (begin >= text.size())
        return "(end of text)";
    const std::size_t end = text.find('\n', begin);
    std::string line(text.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));
    if (line.size() > 200)
        line = line.substr(0, 200) + "…";
    return "\"" + line + (end == std::string_view::npos ? "\" (no line end)" : "\\n\"");
}

}  // namespace SameLinesDetail

inline ::testing::AssertionResult SameLines(std::string_view actual, std::string_view expected)
{
    if (actual == expected)
        return ::testing::AssertionSuccess();
    const std::size_t common = std::size_t(
        std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end()).first - actual.begin());
    const std::size_t lineStart = common == 0 ? 0 : actual.rfind('\n', common - 1) + 1;  // npos + 1 is 0
    const std::size_t lineNumber = std::size_t(std::count(actual.begin(), actual.begin() + std::ptrdiff_t(lineStart), '\n')) + 1;
    return ::testing::AssertionFailure()
        << "line " << lineNumber << " differs\n  expected: " << SameLinesDetail::Shown(expected, lineStart)
        << "\n    actual: " << SameLinesDetail::Shown(actual, lineStart) << "\n  expected " << expected.size()
        << " bytes in " << SameLinesDetail::LineCount(expected) << " lines, got " << actual.size() << " bytes in "
        << SameLinesDetail::LineCount(actual) << " lines";
}

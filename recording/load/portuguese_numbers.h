#pragma once
// Whole numbers for messages, grouped the Brazilian way: 1.234.567.
// Qt-free.

#include <cstdint>
#include <string>

inline std::string GroupedNumber(std::uint64_t value)
{
    const std::string digits = std::to_string(value);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += '.';
        text += digits[i];
    }
    return text;
}

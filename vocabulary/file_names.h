#pragma once
// File names as Linux has them: bytes, UTF-8 by custom but not by rule. A
// name taken from the command line is held as text (UTF-16, as Qt holds
// it) and must give back the very bytes it came from, or a recording would
// go to another file and a port would not be found. Qt's own conversion
// (QFile::decodeName) turns every byte that is not valid UTF-8 into
// U+FFFD, which loses it; here such a byte b becomes the lone surrogate
// U+DC00 + b, which valid UTF-8 never yields, and turns back into b.
//
// Headers only, no Qt: QString::fromStdU16String and toStdU16String carry
// the text across.

#include <string>
#include <string_view>

namespace file_names_detail {

// Length of the valid UTF-8 sequence at s[i], or 0 when there is none.
inline std::size_t ValidSequence(std::string_view s, std::size_t i, char32_t& code)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    std::size_t length;
    char32_t min;
    if (b0 < 0x80) {
        code = b0;
        return 1;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2, code = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3, code = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4, code = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > s.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

inline void PutUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

}  // namespace file_names_detail

// The bytes of a name as text: valid UTF-8 decoded, any other byte kept as
// a lone surrogate.
inline std::u16string DecodeFileName(std::string_view bytes)
{
    std::u16string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t code = 0;
        const std::size_t length = file_names_detail::ValidSequence(bytes, i, code);
        if (length == 0) {
            text += char16_t(0xDC00 + static_cast<unsigned char>(bytes[i]));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            text += char16_t(0xD800 + ((code - 0x10000) >> 10));
            text += char16_t(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            text += char16_t(code);
        }
        i += length;
    }
    return text;
}

// The bytes that text stands for: the reverse of DecodeFileName. A lone
// surrogate that it cannot have made becomes U+FFFD.
inline std::string EncodeFileName(std::u16string_view text)
{
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            file_names_detail::PutUtf8(bytes, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
            bytes += char(unit - 0xDC00);
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            file_names_detail::PutUtf8(bytes, 0xFFFD);
        } else {
            file_names_detail::PutUtf8(bytes, unit);
        }
    }
    return bytes;
}

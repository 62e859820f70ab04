#include "row_parser.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// The numbers and times are read eight bytes at a time, the first byte the
// lowest.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);

constexpr std::uint64_t MaxTimeUs = std::uint64_t(std::numeric_limits<std::int64_t>::max());
constexpr std::uint64_t MaxSeconds = MaxTimeUs / 1000000;
constexpr std::uint64_t MaxIndex = std::uint64_t(std::numeric_limits<std::int64_t>::max()) - 1;
constexpr unsigned MaxValue = 4095;

// The decimal digits at p, up to end, as a number: at most 19 of them, so
// that it cannot overflow (every number a row may hold has fewer). Returns
// the end of the digits, or nullptr when there are none or too many.
//
// Eight bytes at a time where eight can be read: a row's numbers take a
// few instructions each this way, against a few per digit one by one,
// and parsing them is most of the time a load takes.
inline const char* ParseDigits(const char* p, const char* end, std::uint64_t& value)
{
    constexpr std::uint64_t Zeros = 0x3030303030303030u;
    constexpr std::uint64_t High = 0x8080808080808080u;
    const char* const first = p;
    std::uint64_t v = 0;
    while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        // Each byte minus '0': a digit gives 0-9; the first byte that is
        // not one gives more than 9 or borrows (a high bit), and what it
        // does to the bytes after it does not matter.
        const std::uint64_t d = word - Zeros;
        const std::uint64_t notDigit = ((d + 0x7676767676767676u) | d) & High;
        const unsigned digits = notDigit == 0 ? 8 : unsigned(__builtin_ctzll(notDigit)) / 8;
        if (digits == 0)
            break;
        // The digits to the top bytes, zeros before them, then pairs,
        // fours and eights of digits joined (the first digit is the lowest
        // byte, as it comes first in memory).
        std::uint64_t x = digits == 8 ? d : d << (8 * (8 - digits));
        x = ((x & 0x0F0F0F0F0F0F0F0Fu) * 2561) >> 8;
        x = ((x & 0x00FF00FF00FF00FFu) * 6553601) >> 16;
        x = ((x & 0x0000FFFF0000FFFFu) * 42949672960001u) >> 32;
        static constexpr std::uint64_t Scale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
        if (p - first + digits > 19)
            return nullptr;
        v = v * Scale[digits] + x;
        p += digits;
        if (digits < 8) {
            value = v;
            return p;
        }
    }
    // The last bytes of the file, one by one.
    for (; p < end && p - first <= 19; ++p) {
        const unsigned digit = unsigned(static_cast<unsigned char>(*p)) - unsigned('0');
        if (digit > 9)
            break;
        v = v * 10 + digit;
    }
    if (p == first || p - first > 19)
        return nullptr;
    value = v;
    return p;
}

// True when the bytes bytes (1 to 16) at a and at b are the same; reads 16
// bytes at each.
inline bool SameText(const char* a, const char* b, std::size_t bytes)
{
    std::uint64_t a0, a1, b0, b1;
    std::memcpy(&a0, a, 8);
    std::memcpy(&a1, a + 8, 8);
    std::memcpy(&b0, b, 8);
    std::memcpy(&b1, b + 8, 8);
    const auto mask = [](std::size_t n) { return n >= 8 ? ~std::uint64_t(0) : (std::uint64_t(1) << (8 * n)) - 1; };
    return ((a0 ^ b0) & mask(bytes)) == 0 && (bytes <= 8 || ((a1 ^ b1) & mask(bytes - 8)) == 0);
}

// "12.345678" to microseconds: whole seconds, a point, exactly six
// decimals (the recording's own form, so that it is written back the
// same). Returns the end of what it read, or nullptr.
inline const char* ParseTime(const char* p, const char* end, std::uint64_t& us)
{
    std::uint64_t seconds;
    const char* const q = ParseDigits(p, end, seconds);
    if (q == nullptr || end - q < 7 || *q != '.' || seconds > MaxSeconds)
        return nullptr;
    std::uint64_t fraction;
    if (ParseDigits(q + 1, end, fraction) != q + 7)
        return nullptr;
    us = seconds * 1000000 + fraction;
    if (us > MaxTimeUs)
        return nullptr;
    return q + 7;
}

// An unsigned number then a comma; returns what follows the comma, or
// nullptr.
inline const char* ParseField(const char* p, const char* end, std::uint64_t& value)
{
    const char* const q = ParseDigits(p, end, value);
    if (q == nullptr || q == end || *q != ',')
        return nullptr;
    return q + 1;
}

// True when a zero byte comes in [p, lineEnd) and every byte from it to the
// end of the file is zero.
bool ZerosToTheEnd(const char* p, const char* lineEnd, const char* fileEnd)
{
    const char* zero = static_cast<const char*>(std::memchr(p, 0, std::size_t(lineEnd - p)));
    if (zero == nullptr)
        return false;
    for (; zero < fileEnd; ++zero)
        if (*zero != 0)
            return false;
    return true;
}

const char* const FieldNames[] = {"tempo_s", "eixo", "indice", "valor", "valido"};

}  // namespace

void TParsedSlice::Reset(std::size_t rows)
{
    if (rows > Capacity) {
        // Both or neither: a failure leaves the old arrays and capacity.
        std::unique_ptr<std::int64_t[]> times(new std::int64_t[rows]);
        std::unique_ptr<std::uint16_t[]> packed(new std::uint16_t[rows]);
        TimeUs = std::move(times);
        Packed = std::move(packed);
        Capacity = rows;
    }
    Rows = 0;
    for (int a = 0; a < AxisCount; ++a) {
        FirstRow[a] = NoRow;
        FirstIndex[a] = 0;
    }
    End = TEnd::SliceEnd;
    BadLineBytes = 0;
    BadLineTooLong = false;
    Begin = 0;
    ParsedEnd = 0;
}

std::uint64_t FirstLineStart(const char* data, std::uint64_t begin, std::uint64_t end)
{
    if (begin == 0 || begin >= end)
        return begin >= end ? end : 0;
    // A line starts after each line end in [begin - 1, end - 1).
    const void* found = std::memchr(data + begin - 1, '\n', std::size_t(end - begin));
    return found == nullptr ? end : std::uint64_t(static_cast<const char*>(found) - data) + 1;
}

void ParseRows(const char* data, std::uint64_t size, std::uint64_t begin, std::uint64_t end, TParsedSlice& slice)
{
    const char* p = data + begin;
    const char* const stop = data + (end < size ? end : size);
    const char* const fileEnd = data + size;
    slice.Begin = begin;
    std::int64_t* const times = slice.TimeUs.get();
    std::uint16_t* const packed = slice.Packed.get();
    std::size_t rows = 0;
    std::int64_t lastTime = -1;
    std::int64_t expected[AxisCount] = {-1, -1, -1};
    // The text of the last time parsed, when at most 16 bytes (0: none).
    const char* lastTimeText = nullptr;
    std::size_t timeBytes = 0;

    while (p < stop) {
        // A row is parsed as it comes, without looking for its end first;
        // only a line that is not one is looked at again, as a line.
        const char* const limit = std::size_t(fileEnd - p) > MaxRowLineBytes ? p + MaxRowLineBytes : fileEnd;
        std::uint64_t time;
        std::uint64_t index;
        std::uint64_t value;
        const char* q;
        if (timeBytes != 0 && limit - p > 16 && SameText(p, lastTimeText, timeBytes) && p[timeBytes] == ',') {
            // The frames of one read share their time: its text again.
            time = std::uint64_t(lastTime);
            q = p + timeBytes;
        } else {
            q = ParseTime(p, limit, time);
            lastTimeText = p;
            timeBytes = q != nullptr && q - p <= 16 ? std::size_t(q - p) : 0;
        }
        bool ok = q != nullptr && limit - q >= 3 && q[0] == ',' && q[2] == ',';
        const unsigned axis = ok ? unsigned(q[1] - 'X') : 0;
        ok = ok && axis < unsigned(AxisCount);
        ok = ok && (q = ParseField(q + 3, limit, index)) != nullptr && index <= MaxIndex;
        ok = ok && (q = ParseField(q, limit, value)) != nullptr && value <= MaxValue;
        const char* next = nullptr;
        if (ok && limit - q >= 2 && (q[0] == '0' || q[0] == '1')) {
            if (q[1] == '\n')
                next = q + 2;
            else if (q[1] == '\r' && limit - q >= 3 && q[2] == '\n')
                next = q + 3;
        }
        ok = next != nullptr && std::int64_t(time) >= lastTime;
        if (ok) {
            if (expected[axis] < 0) {
                slice.FirstRow[axis] = rows;
                slice.FirstIndex[axis] = std::int64_t(index);
            } else if (std::int64_t(index) != expected[axis]) {
                ok = false;
            }
        }
        if (!ok) {
            const std::size_t room = std::size_t(fileEnd - p) < MaxRowLineBytes ? std::size_t(fileEnd - p)
                                                                                : MaxRowLineBytes;
            const char* const lineEnd = static_cast<const char*>(std::memchr(p, '\n', room));
            if (ZerosToTheEnd(p, lineEnd ? lineEnd : p + room, fileEnd)) {
                // A file that lost its last blocks to a power cut: its size
                // was kept, its last bytes read as zeros.
                slice.End = TParsedSlice::TEnd::CutRow;
            } else if (lineEnd == nullptr) {
                if (std::size_t(fileEnd - p) <= MaxRowLineBytes) {
                    slice.End = TParsedSlice::TEnd::CutRow;
                } else {
                    slice.End = TParsedSlice::TEnd::BadRow;
                    slice.BadLineTooLong = true;
                }
            } else {
                const char* const e = (lineEnd > p && lineEnd[-1] == '\r') ? lineEnd - 1 : lineEnd;
                slice.End = TParsedSlice::TEnd::BadRow;
                slice.BadLineBytes = std::size_t(e - p);
                std::memcpy(slice.BadLine, p, slice.BadLineBytes);
            }
            break;
        }
        expected[axis] = std::int64_t(index) + 1;
        lastTime = std::int64_t(time);
        times[rows] = std::int64_t(time);
        packed[rows] = std::uint16_t(unsigned(value) | unsigned(q[0] == '1') << 12 | axis << 13);
        ++rows;
        p = next;
    }
    slice.Rows = rows;
    slice.ParsedEnd = std::uint64_t(p - data);
    slice.BadLastTimeUs = lastTime;
    for (int a = 0; a < AxisCount; ++a)
        slice.BadExpectedIndex[a] = expected[a];
}

std::string TParsedSlice::DescribeProblem() const
{
    if (BadLineTooLong)
        return "a linha passa de " + std::to_string(MaxRowLineBytes) + " caracteres sem terminar";
    return DescribeBadRow(BadLine, BadLine + BadLineBytes, BadLastTimeUs, BadExpectedIndex);
}

std::string DescribeBadRow(const char* begin, const char* end, std::int64_t lastTimeUs,
                           const std::int64_t expectedIndex[AxisCount])
{
    if (begin == end)
        return "a linha está vazia";
    std::vector<std::pair<const char*, const char*>> fields;
    for (const char* p = begin;;) {
        const char* comma = static_cast<const char*>(std::memchr(p, ',', std::size_t(end - p)));
        fields.emplace_back(p, comma ? comma : end);
        if (comma == nullptr)
            break;
        p = comma + 1;
    }
    if (fields.size() != 5)
        return "a linha tem " + std::to_string(fields.size()) + (fields.size() == 1 ? " campo" : " campos")
            + " em vez de 5 (tempo_s,eixo,indice,valor,valido, separados por vírgula)";
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].first == fields[i].second)
            return std::string("o campo ") + FieldNames[i] + " está vazio";

    const auto [timeBegin, timeEnd] = fields[0];
    std::uint64_t time = 0;
    const char* timeStop = ParseTime(timeBegin, timeEnd, time);
    if (timeStop != timeEnd) {
        std::uint64_t seconds;
        const auto [q, error] = std::from_chars(timeBegin, timeEnd, seconds);
        if (error == std::errc::result_out_of_range || (error == std::errc() && seconds > MaxSeconds))
            return "tempo_s " + QuotedText(timeBegin, timeEnd) + " é grande demais";
        (void)q;
        return "tempo_s " + QuotedText(timeBegin, timeEnd)
            + " não é um tempo em segundos com seis casas decimais e ponto (como 12.345678)";
    }

    const auto [axisBegin, axisEnd] = fields[1];
    if (axisEnd - axisBegin != 1 || unsigned(axisBegin[0] - 'X') >= unsigned(AxisCount))
        return "eixo " + QuotedText(axisBegin, axisEnd) + " desconhecido (deveria ser X, Y ou Z)";
    const TAxis axis = TAxis(axisBegin[0] - 'X');

    const auto [indexBegin, indexEnd] = fields[2];
    std::uint64_t index = 0;
    const auto indexRead = std::from_chars(indexBegin, indexEnd, index);
    if (indexRead.ec == std::errc::result_out_of_range || (indexRead.ec == std::errc() && index > MaxIndex
                                                           && indexRead.ptr == indexEnd))
        return "indice " + QuotedText(indexBegin, indexEnd) + " é grande demais";
    if (indexRead.ec != std::errc() || indexRead.ptr != indexEnd)
        return "indice " + QuotedText(indexBegin, indexEnd) + " não é um número inteiro de 0 para cima";

    const auto [valueBegin, valueEnd] = fields[3];
    long long value = 0;
    const auto valueRead = std::from_chars(valueBegin, valueEnd, value);
    if (valueRead.ec == std::errc::result_out_of_range
        || (valueRead.ec == std::errc() && valueRead.ptr == valueEnd && (value < 0 || value > MaxValue)))
        return "valor " + QuotedText(valueBegin, valueEnd) + " fora da faixa de 0 a 4095";
    if (valueRead.ec != std::errc() || valueRead.ptr != valueEnd)
        return "valor " + QuotedText(valueBegin, valueEnd) + " não é um número inteiro";

    const auto [validBegin, validEnd] = fields[4];
    if (validEnd - validBegin != 1 || (validBegin[0] != '0' && validBegin[0] != '1'))
        return "valido " + QuotedText(validBegin, validEnd) + " deveria ser 0 ou 1";

    if (std::int64_t(time) < lastTimeUs)
        return TimeGoesBackText(std::int64_t(time), lastTimeUs);
    if (expectedIndex[axis] >= 0 && std::int64_t(index) != expectedIndex[axis])
        return IndexGapText(axis, std::int64_t(index), expectedIndex[axis]);
    return "a linha não está no formato de uma gravação";
}

std::string SecondsText(std::int64_t timeUs)
{
    std::string fraction = std::to_string(timeUs % 1000000);
    return std::to_string(timeUs / 1000000) + "." + std::string(6 - fraction.size(), '0') + fraction;
}

std::string TimeGoesBackText(std::int64_t timeUs, std::int64_t previousUs)
{
    return "o tempo volta para trás: tempo_s " + SecondsText(timeUs) + " vem depois de " + SecondsText(previousUs);
}

std::string IndexGapText(TAxis axis, std::int64_t index, std::int64_t expected)
{
    return "o indice " + std::to_string(index) + " do eixo " + char('X' + int(axis))
        + " não segue o anterior desse eixo (deveria ser " + std::to_string(expected) + ")";
}

std::string QuotedText(const char* begin, const char* end, std::size_t longest)
{
    // Cut between characters, not inside one of UTF-8's several bytes.
    const char* cut = std::size_t(end - begin) > longest ? begin + longest : end;
    while (cut > begin && cut < end && (static_cast<unsigned char>(*cut) & 0xC0) == 0x80)
        --cut;
    std::string text = "\"";
    for (const char* p = begin; p < cut; ++p)
        text += (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F) ? '?' : *p;
    if (cut < end)
        text += "…";
    return text + "\"";
}

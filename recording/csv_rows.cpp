#include "csv_rows.h"

#include "file_writer.h"
#include "text_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Formatting by hand: an export writes ten million rows a second, which
// leaves no room for the C library's formatted output.

constexpr char Pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

inline char* PutPair(char* out, unsigned value)
{
    std::memcpy(out, Pairs + 2 * value, 2);
    return out + 2;
}

// Number of decimal digits of value.
inline unsigned DigitCount(std::uint64_t value)
{
    static constexpr std::uint64_t Powers[20] = {1ULL,
                                                 10ULL,
                                                 100ULL,
                                                 1000ULL,
                                                 10000ULL,
                                                 100000ULL,
                                                 1000000ULL,
                                                 10000000ULL,
                                                 100000000ULL,
                                                 1000000000ULL,
                                                 10000000000ULL,
                                                 100000000000ULL,
                                                 1000000000000ULL,
                                                 10000000000000ULL,
                                                 100000000000000ULL,
                                                 1000000000000000ULL,
                                                 10000000000000000ULL,
                                                 100000000000000000ULL,
                                                 1000000000000000000ULL,
                                                 10000000000000000000ULL};
    // log10 from log2 (1233 / 4096 is just above log10(2)), then corrected;
    // 0 has one digit like 1, and no power of ten lies between the two.
    const std::uint64_t v = value | 1;
    const unsigned guess = unsigned((64 - __builtin_clzll(v)) * 1233) >> 12;
    return guess + (v >= Powers[guess] ? 1 : 0);
}

// Written from its last digit back, straight into place.
inline char* PutUnsigned(char* out, std::uint64_t value)
{
    char* const end = out + DigitCount(value);
    char* p = end;
    while (value >= 100) {
        p -= 2;
        std::memcpy(p, Pairs + 2 * (value % 100), 2);
        value /= 100;
    }
    if (value >= 10) {
        p -= 2;
        std::memcpy(p, Pairs + 2 * value, 2);
    } else {
        *--p = char('0' + value);
    }
    return end;
}

inline char* PutSigned(char* out, std::int64_t value)
{
    if (value < 0) {
        *out++ = '-';
        return PutUnsigned(out, std::uint64_t(0) - std::uint64_t(value));
    }
    return PutUnsigned(out, std::uint64_t(value));
}

// Seconds with six decimals and the comma after them. The session's times
// are never before its start.
inline char* PutTime(char* out, std::int64_t us)
{
    const std::uint64_t t = us < 0 ? 0 : std::uint64_t(us);
    out = PutUnsigned(out, t / 1000000);
    *out++ = '.';
    const unsigned fraction = unsigned(t % 1000000);
    out = PutPair(out, fraction / 10000);
    out = PutPair(out, fraction / 100 % 100);
    out = PutPair(out, fraction % 100);
    *out++ = ',';
    return out;
}

// The row after its time.
inline char* PutPoint(char* out, const TFrameRecord& frame)
{
    *out++ = char('X' + int(frame.Axis));
    *out++ = ',';
    out = PutSigned(out, frame.Index);
    *out++ = ',';
    // The values are whole numbers (12-bit readings); a float holds them
    // exactly, so rounding only gives the integer back.
    const float v = frame.Value;
    if (v >= 0 && v < 9999.5f) {
        const unsigned n = unsigned(v + 0.5f);
        if (n < 10) {
            *out++ = char('0' + n);
        } else if (n < 100) {
            out = PutPair(out, n);
        } else if (n < 1000) {
            *out++ = char('0' + n / 100);
            out = PutPair(out, n % 100);
        } else {
            out = PutPair(out, n / 100);
            out = PutPair(out, n % 100);
        }
    } else {
        out = PutSigned(out, std::isfinite(v) ? std::int64_t(std::llrint(v)) : 0);
    }
    *out++ = ',';
    *out++ = frame.Valid ? '1' : '0';
    *out++ = '\n';
    return out;
}

// Rows gathered in the writer's buffer before it is asked for room again.
constexpr std::uint64_t RowsPerBatch = 4096;
static_assert(RowsPerBatch * MaxCsvRowBytes <= TFileWriter::BufferBytes);

// The longest time with its comma: 13 digits of seconds, the point, 6
// decimals. It is copied with a fixed length, which the room of a row takes.
constexpr std::size_t TimeTextBytes = 24;
static_assert(13 + 1 + 6 + 1 <= TimeTextBytes && TimeTextBytes <= MaxCsvRowBytes);

}  // namespace

char* FormatCsvRow(char* out, const TFrameRecord& frame)
{
    return PutPoint(PutTime(out, frame.TimeUs), frame);
}

namespace {

// Rows of [from, to) in batches of at most RowsPerBatch: room(rows) gives
// space for that many rows, done(end) takes the end of what was written.
template <class TRoom, class TDone>
void FormatRows(const TSession& session, std::uint64_t from, std::uint64_t to, TRoom room, TDone done)
{
    to = std::min<std::uint64_t>(to, session.FrameCount());
    if (from >= to)
        return;
    // Frames of one time in a row (a read on a line not known, frames held
    // at the read before) share its text: it is formatted once.
    char time[TimeTextBytes];
    std::size_t timeLength = 0;
    std::int64_t timeUs = -1;
    TSession::TReader reader(session, from);
    for (std::uint64_t left = to - from; left > 0;) {
        const std::uint64_t batch = std::min(left, RowsPerBatch);
        char* p = room(std::size_t(batch));
        for (std::uint64_t i = 0; i < batch; ++i, reader.Next()) {
            const TFrameRecord frame = reader.Record();
            if (frame.TimeUs != timeUs) {
                timeUs = frame.TimeUs;
                timeLength = std::size_t(PutTime(time, timeUs) - time);
            }
            // A copy of fixed length is a few moves; what it writes past
            // the time is overwritten by the rest of the row.
            std::memcpy(p, time, sizeof time);
            p = PutPoint(p + timeLength, frame);
        }
        done(p);
        left -= batch;
    }
}

}  // namespace

void WriteSessionRows(const TSession& session, std::uint64_t from, std::uint64_t to, TFileWriter& out)
{
    FormatRows(
        session, from, to, [&](std::size_t rows) { return out.Reserve(rows * MaxCsvRowBytes); },
        [&](const char* end) { out.Commit(end); });
}

void AppendSessionRows(const TSession& session, std::uint64_t from, std::uint64_t to, TTextBuffer& text)
{
    FormatRows(
        session, from, to, [&](std::size_t rows) { return text.Reserve(rows * MaxCsvRowBytes); },
        [&](const char* end) { text.Commit(end); });
}

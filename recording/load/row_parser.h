#pragma once
// The rows of a recording (csv_rows.h) read back, a slice of the file at a
// time, so that slices can be parsed side by side and handed on in order.
//
// A slice owns the lines that start inside it. Each row is checked on its
// own (five fields, a time in seconds with six decimals, X, Y or Z, an
// index, a value from 0 to 4095, a validity of 0 or 1) and against the rows
// before it in the slice (time never going back, each index the next of its
// axis); what links a slice to the ones before it (the first time, the
// first index of each axis) is kept for whoever joins them.
//
// Parsing stops at the first row that is wrong, at a last line without its
// line end (a recording cut short), or at the end of the slice. Lines may
// end in "\n" or "\r\n". Qt-free.

#include "sensor_axes.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Longest line taken for a row: anything longer is not one.
constexpr std::size_t MaxRowLineBytes = 128;
// Shortest row, with its line end: "0.000000,X,0,0,0\n".
constexpr std::size_t MinRowBytes = 17;

// The frames of one slice, in file order.
struct TParsedSlice {
    enum class TEnd {
        SliceEnd,    // every line of the slice was a row
        BadRow,      // the line after the rows is not a row: DescribeProblem
        NoMemory,    // there was no memory for the slice's rows
        CutRow,      // the file ends with a line without its line end
        FileShrank,  // the file became shorter while it was read
    };
    static constexpr std::size_t NoRow = ~std::size_t(0);

    // Rows the arrays have room for.
    std::size_t Capacity = 0;
    std::unique_ptr<std::int64_t[]> TimeUs;
    // Value in bits 0-11, validity in bit 12, axis in bits 13-14.
    std::unique_ptr<std::uint16_t[]> Packed;

    std::size_t Rows = 0;
    // Per axis: the row of its first frame here (NoRow when none) and the
    // index that frame has.
    std::size_t FirstRow[AxisCount];
    std::int64_t FirstIndex[AxisCount];
    TEnd End = TEnd::SliceEnd;
    // BadRow: the line (its first MaxRowLineBytes when longer), and the time
    // and expected indexes of the rows before it, for DescribeProblem.
    char BadLine[MaxRowLineBytes];
    std::size_t BadLineBytes = 0;
    bool BadLineTooLong = false;
    std::int64_t BadLastTimeUs = -1;
    std::int64_t BadExpectedIndex[AxisCount];
    // Bytes of the file: where the first line starts, and the end of the
    // last row taken (where parsing stopped).
    std::uint64_t Begin = 0;
    std::uint64_t ParsedEnd = 0;

    static TAxis AxisOf(std::uint16_t packed) { return TAxis(packed >> 13); }
    static bool ValidOf(std::uint16_t packed) { return (packed >> 12) & 1u; }
    static unsigned ValueOf(std::uint16_t packed) { return packed & 0xFFFu; }

    // Empties the slice, with room for at least rows rows. Throws
    // std::bad_alloc, leaving it as it was.
    void Reset(std::size_t rows);
    // BadRow: what is wrong with the line, in Portuguese, without its number.
    std::string DescribeProblem() const;
};

// Start of the first line that starts in [begin, end) of data, or end when
// none does. begin > 0: the line that holds byte begin - 1 started before.
std::uint64_t FirstLineStart(const char* data, std::uint64_t begin, std::uint64_t end);

// Parses the lines of data (size bytes in all) that start in [begin, end),
// begin being the start of a line, into slice, which must have room for
// (end - begin) / MinRowBytes + 1 rows. Allocates nothing, so that a read
// cut off by a shrinking file leaves no harm.
void ParseRows(const char* data, std::uint64_t size, std::uint64_t begin, std::uint64_t end, TParsedSlice& slice);

// What is wrong with a line that is not a row, in Portuguese, without the
// line number. The line is [begin, end) without its line end; lastTimeUs
// (or -1) and the expected index of its axis (or -1) are those of the row
// before it.
std::string DescribeBadRow(const char* begin, const char* end, std::int64_t lastTimeUs,
                           const std::int64_t expectedIndex[AxisCount]);

// The words for the two faults that span rows, shared with whoever joins
// slices.
std::string TimeGoesBackText(std::int64_t timeUs, std::int64_t previousUs);
std::string IndexGapText(TAxis axis, std::int64_t index, std::int64_t expected);

// Microseconds as the recording writes them: "12.345678".
std::string SecondsText(std::int64_t timeUs);

// Text from a file for a message: quoted, cut after longest bytes, with
// what is not printable shown as '?'.
std::string QuotedText(const char* begin, const char* end, std::size_t longest = 24);

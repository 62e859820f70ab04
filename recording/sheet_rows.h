#pragma once
// Rows for spreadsheets: one per set of X, Y and Z samples of one index,
//
//     tempo_s,indice,x,y,z,valido_x,valido_y,valido_z
//     0.003125,0,2048,2050,2457,1,1,0
//
// indice: the points' position in their series, shared by the set;
// x, y, z: their values; valido_*: 1 for a reading as sent, 0 for a held
// value; tempo_s: the receive time of the set's last point to arrive (when
// the set was complete), six decimals. Where an axis has no point of that
// index (its series began later or ends sooner, as when the port stopped
// between frames of a set), its value and validity are left empty: the
// rows run from the smallest first index to the largest last one.
//
// The Brazilian style separates fields with ';' and writes the decimal
// comma (0,003125), as spreadsheets set to Portuguese (Brasil) read CSV.
//
// Only the recording format (csv_rows.h) is read back by the program.
// Qt-free.

#include "session.h"

#include <cstdint>
#include <string_view>

class TFileWriter;
class TTextBuffer;

enum class TSheetStyle { Comma, Brazilian };

std::string_view SheetHeader(TSheetStyle style);

// Writes the rows of the session's points held when it is made, a part at
// a time (an export writes in slices between other work).
class TSheetRowWriter {
public:
    TSheetRowWriter(const TSession& session, TSheetStyle style);

    // Number of rows in all, and how many are written.
    std::uint64_t RowCount() const { return std::uint64_t(m_end - m_first); }
    std::uint64_t RowsWritten() const { return std::uint64_t(m_next - m_first); }
    bool AtEnd() const { return m_next >= m_end; }

    // Writes up to rows more rows to out (the header is the caller's).
    void Write(std::uint64_t rows, TFileWriter& out);
    // The same appended to text, for a writer on another thread.
    void Append(std::uint64_t rows, TTextBuffer& text);

private:
    // Either: room for some bytes, then the end of what was written there.
    template <typename TOut>
    void Format(std::uint64_t rows, TOut& out);

    // The points of one axis in index order, each with its receive time.
    class TAxisCursor {
    public:
        TAxisCursor(const TSession& session, TAxis axis);
        // The point of index, when the axis has it; indexes are asked for
        // in increasing order.
        const TFrameRecord* At(std::int64_t index);

    private:
        TSession::TReader m_reader;
        TAxis m_axis;
        std::int64_t m_first;
        std::int64_t m_end;
        TFrameRecord m_record{};
        bool m_loaded = false;
    };

    TSheetStyle m_style;
    std::int64_t m_first = 0;
    std::int64_t m_end = 0;
    std::int64_t m_next = 0;
    TAxisCursor m_cursors[AxisCount];
};

#include "sheet_rows.h"

#include "file_writer.h"
#include "text_buffer.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

constexpr std::size_t MaxSheetRowBytes = 128;
constexpr std::uint64_t RowsPerReserve = 4096;
static_assert(RowsPerReserve * MaxSheetRowBytes <= TFileWriter::BufferBytes);

char* PutInteger(char* out, std::int64_t value)
{
    return std::to_chars(out, out + 20, value).ptr;
}

char* PutTime(char* out, std::int64_t us, char decimalPoint)
{
    const std::int64_t t = us < 0 ? 0 : us;
    out = PutInteger(out, t / 1000000);
    *out++ = decimalPoint;
    std::int64_t fraction = t % 1000000;
    for (int i = 5; i >= 0; --i, fraction /= 10)
        out[i] = char('0' + fraction % 10);
    return out + 6;
}

}  // namespace

std::string_view SheetHeader(TSheetStyle style)
{
    return style == TSheetStyle::Comma ? "tempo_s,indice,x,y,z,valido_x,valido_y,valido_z\n"
                                       : "tempo_s;indice;x;y;z;valido_x;valido_y;valido_z\n";
}

TSheetRowWriter::TAxisCursor::TAxisCursor(const TSession& session, TAxis axis)
    : m_reader(session, 0),
      m_axis(axis),
      m_first(session.FirstIndex(axis)),
      m_end(session.FirstIndex(axis) + session.Count(axis))
{
}

const TFrameRecord* TSheetRowWriter::TAxisCursor::At(std::int64_t index)
{
    if (index < m_first || index >= m_end)
        return nullptr;
    // The axis' frames come in index order among the others: step on to the
    // next of them until it reaches index.
    while (!(m_loaded && m_record.Index >= index) && !m_reader.AtEnd()) {
        const TFrameRecord record = m_reader.Record();
        m_reader.Next();
        if (record.Axis == m_axis) {
            m_record = record;
            m_loaded = true;
        }
    }
    return m_loaded && m_record.Index == index ? &m_record : nullptr;
}

TSheetRowWriter::TSheetRowWriter(const TSession& session, TSheetStyle style)
    : m_style(style), m_cursors{{session, axX}, {session, axY}, {session, axZ}}
{
    bool any = false;
    for (int a = 0; a < AxisCount; ++a) {
        const TAxis axis = TAxis(a);
        if (session.Count(axis) == 0)
            continue;
        const std::int64_t first = session.FirstIndex(axis);
        const std::int64_t end = first + session.Count(axis);
        m_first = any ? std::min(m_first, first) : first;
        m_end = any ? std::max(m_end, end) : end;
        any = true;
    }
    m_next = m_first;
}

void TSheetRowWriter::Write(std::uint64_t rows, TFileWriter& out)
{
    Format(rows, out);
}

void TSheetRowWriter::Append(std::uint64_t rows, TTextBuffer& text)
{
    Format(rows, text);
}

template <typename TOut>
void TSheetRowWriter::Format(std::uint64_t rows, TOut& out)
{
    const char separator = m_style == TSheetStyle::Comma ? ',' : ';';
    const char decimalPoint = m_style == TSheetStyle::Comma ? '.' : ',';
    rows = std::min(rows, std::uint64_t(m_end - m_next));
    while (rows > 0) {
        const std::uint64_t batch = std::min(rows, RowsPerReserve);
        char* p = out.Reserve(std::size_t(batch) * MaxSheetRowBytes);
        for (std::uint64_t i = 0; i < batch; ++i, ++m_next) {
            const TFrameRecord* points[AxisCount];
            std::int64_t timeUs = 0;
            for (int a = 0; a < AxisCount; ++a) {
                points[a] = m_cursors[a].At(m_next);
                if (points[a] != nullptr)
                    timeUs = std::max(timeUs, points[a]->TimeUs);
            }
            p = PutTime(p, timeUs, decimalPoint);
            *p++ = separator;
            p = PutInteger(p, m_next);
            for (const TFrameRecord* point : points) {
                *p++ = separator;
                if (point != nullptr)
                    p = PutInteger(p, std::isfinite(point->Value) ? std::int64_t(std::llrint(point->Value)) : 0);
            }
            for (const TFrameRecord* point : points) {
                *p++ = separator;
                if (point != nullptr)
                    *p++ = point->Valid ? '1' : '0';
            }
            *p++ = '\n';
        }
        out.Commit(p);
        rows -= batch;
    }
}

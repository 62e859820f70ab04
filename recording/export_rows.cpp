#include "export_rows.h"

#include "csv_rows.h"

#include <algorithm>

TExportRows::TExportRows(const TSession& session, TExportFormat format) : m_session(session), m_format(format)
{
    if (format == TExportFormat::Recording) {
        m_total = session.FrameCount();
        return;
    }
    m_sheet.emplace(session, format == TExportFormat::SheetComma ? TSheetStyle::Comma : TSheetStyle::Brazilian);
    m_total = m_sheet->RowCount();
}

std::string_view TExportRows::Header() const
{
    switch (m_format) {
    case TExportFormat::Recording:
        break;
    case TExportFormat::SheetComma:
        return SheetHeader(TSheetStyle::Comma);
    case TExportFormat::SheetBrazilian:
        return SheetHeader(TSheetStyle::Brazilian);
    }
    return CsvHeader;
}

void TExportRows::Append(std::uint64_t rows, TTextBuffer& text)
{
    const std::uint64_t to = std::min(m_total, m_done + rows);
    if (m_sheet)
        m_sheet->Append(to - m_done, text);
    else
        AppendSessionRows(m_session, m_done, to, text);
    m_done = to;
}

#pragma once
// The rows an export writes, in the format the user chose: the program's
// own (csv_rows.h), the only one it reads back, or one row per X, Y, Z set
// for spreadsheets (sheet_rows.h), with ',' and '.' or the Brazilian ';'
// and decimal comma. One face for all three, so that the export job writes
// any of them a slice at a time without knowing which. Qt-free.

#include "session.h"
#include "sheet_rows.h"

#include <cstdint>
#include <optional>
#include <string_view>

class TTextBuffer;

enum class TExportFormat { Recording, SheetComma, SheetBrazilian };

class TExportRows {
public:
    // The rows of the session's points held now.
    TExportRows(const TSession& session, TExportFormat format);

    std::string_view Header() const;
    std::uint64_t RowCount() const { return m_total; }
    std::uint64_t RowsWritten() const { return m_done; }
    bool AtEnd() const { return m_done >= m_total; }
    // Appends up to rows more rows to text.
    void Append(std::uint64_t rows, TTextBuffer& text);

private:
    const TSession& m_session;
    TExportFormat m_format;
    std::optional<TSheetRowWriter> m_sheet;  // the spreadsheet formats
    std::uint64_t m_total = 0;
    std::uint64_t m_done = 0;
};

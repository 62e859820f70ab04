#pragma once
// Whether a file is a recording (csv_rows.h), from its first line: the
// header, in the program's own words, with "\n" or "\r\n" after it (a byte
// order mark before it is passed over, as some editors add one).
//
// Whatever else it is (empty, binary, another CSV, the same columns with
// another separator, an export for spreadsheets) gets its own reason,
// with the header a recording starts with. Qt-free.

#include <cstdint>
#include <string>

// Where the rows begin in the size bytes of data, the file named path.
// Throws Exception saying why it is not a recording.
std::uint64_t RowsBegin(const char* data, std::uint64_t size, const std::string& path);

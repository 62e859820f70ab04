#pragma once
// The recording format: CSV, UTF-8, '\n' line ends, a header line, then
// one row per frame in arrival order:
//
//     tempo_s,eixo,indice,valor,valido
//     0.000000,X,0,2048,1
//
// tempo_s: the frame's arrival time (session.h: its read's time less the
// line's time for the bytes after it), in seconds from the session's
// start, with six decimals (exact: formatted from the integer
// microseconds); eixo: X, Y or Z; indice: the point's
// position in its axis' series; valor: the plotted value as an integer;
// valido: 1 for a reading as sent, 0 for a held value that replaced a
// reading whose check failed.
//
// A recording and an export write their rows with the same function, so
// the two cannot differ. Qt-free.

#include "session.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

class TFileWriter;
class TTextBuffer;

constexpr std::string_view CsvHeader = "tempo_s,eixo,indice,valor,valido\n";

// Longest row FormatCsvRow can write, with its line end.
constexpr std::size_t MaxCsvRowBytes = 80;

// Writes the row of one frame at out (room for MaxCsvRowBytes); returns
// the end of what it wrote.
char* FormatCsvRow(char* out, const TFrameRecord& frame);

// Writes the rows of the session's frames [from, to) to out, in arrival
// order; to is cut to the frames the session holds.
void WriteSessionRows(const TSession& session, std::uint64_t from, std::uint64_t to, TFileWriter& out);
// The same rows appended to text, for a writer on another thread.
void AppendSessionRows(const TSession& session, std::uint64_t from, std::uint64_t to, TTextBuffer& text);

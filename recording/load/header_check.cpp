#include "header_check.h"

#include "csv_rows.h"
#include "exception.h"
#include "row_parser.h"
#include "sheet_rows.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

// A line's text without its line end.
std::string_view Line(std::string_view text)
{
    return text.substr(0, text.size() - 1);
}

bool LooksBinary(std::string_view bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 && b != '\t' && b != '\r' && b != '\n';
    });
}

}  // namespace

std::uint64_t RowsBegin(const char* data, std::uint64_t size, const std::string& path)
{
    const std::string_view header = Line(CsvHeader);
    auto notRecording = [&](const std::string& why) {
        return Exception("\"" + path + "\" não é uma gravação do Acelerômetro: " + why
                         + ". Uma gravação é um arquivo CSV cuja primeira linha é \"" + std::string(header) + "\".");
    };
    if (size == 0)
        throw notRecording("o arquivo está vazio");

    // The first line, as far as the first few kilobytes go.
    const std::string_view start(data, std::size_t(std::min<std::uint64_t>(size, 4096)));
    std::size_t begin = 0;
    if (start.substr(0, 3) == "\xEF\xBB\xBF")
        begin = 3;
    const std::size_t newline = start.find('\n', begin);
    const bool ended = newline != std::string_view::npos;
    std::string_view line = start.substr(begin, (ended ? newline : start.size()) - begin);
    if (ended && !line.empty() && line.back() == '\r')
        line.remove_suffix(1);

    if (line == header) {
        if (ended)
            return newline + 1;
        if (start.size() == size)
            return size;  // the header alone, its line end not yet written
    }
    if (start.substr(0, 2) == "\xFF\xFE" || start.substr(0, 2) == "\xFE\xFF")
        throw notRecording("o texto está em UTF-16, e uma gravação é UTF-8");
    if (LooksBinary(start))
        throw notRecording("o arquivo não é de texto (tem bytes de controle, como um arquivo binário)");
    if (!ended && start.size() == size && !line.empty() && header.substr(0, line.size()) == line)
        throw notRecording("o arquivo termina no meio da primeira linha");
    if (line == Line(SheetHeader(TSheetStyle::Comma)) || line == Line(SheetHeader(TSheetStyle::Brazilian)))
        throw notRecording("é uma exportação para planilhas (uma linha por conjunto X, Y, Z), que o programa "
                           "não abre de volta");
    const bool commas = line.find(',') != std::string_view::npos;
    if (!commas && line.find(';') != std::string_view::npos)
        throw notRecording("os campos estão separados por ponto e vírgula (;), e não por vírgula");
    if (!commas && line.find('\t') != std::string_view::npos)
        throw notRecording("os campos estão separados por tabulação, e não por vírgula");
    if (line.empty())
        throw notRecording("a primeira linha está vazia");
    throw notRecording("a primeira linha é " + QuotedText(line.data(), line.data() + line.size(), 60));
}

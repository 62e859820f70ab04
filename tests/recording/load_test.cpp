// A recording read back: files that are recordings (whole, cut short, with
// CRLF line ends, still being written), files that are not, bad rows of
// every kind wherever they are, the round trip back to the same bytes,
// cancelling, a file truncated meanwhile, and memory running out. Each load
// runs with slices of a few sizes, so that rows fall on every side of the
// joins between slices.
#include "csv_rows.h"
#include "exception.h"
#include "failing_allocation.h"
#include "file_writer.h"
#include "recording_loader.h"
#include "row_parser.h"
#include "scratch_dir.h"
#include "session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;

std::string Row(std::int64_t timeUs, TAxis axis, std::int64_t index, int value, bool valid)
{
    char buffer[MaxCsvRowBytes];
    return std::string(buffer, FormatCsvRow(buffer, {timeUs, axis, index, float(value), valid}));
}

// Rows as the device gives them: X, Y, Z in turn, a few per read, a held
// value now and then.
std::vector<std::string> GoodRows(int count)
{
    std::vector<std::string> rows;
    std::int64_t index[AxisCount] = {};
    for (int n = 0; n < count; ++n) {
        const TAxis axis = TAxis(n % 3);
        rows.push_back(Row(3125 * (n / 4), axis, index[axis]++, (2000 + n) % 4096, n % 5 != 2));
    }
    return rows;
}

std::string Join(const std::vector<std::string>& rows, std::size_t count)
{
    std::string text(CsvHeader);
    for (std::size_t i = 0; i < count && i < rows.size(); ++i)
        text += rows[i];
    return text;
}

std::string Join(const std::vector<std::string>& rows)
{
    return Join(rows, rows.size());
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The session's frames in the recording format, header first.
std::string Export(const TSession& session)
{
    TScratchDir dir;
    const std::string path = dir.File("export.csv");
    TFileWriter out(path, TFileWriter::TMode::Direct);
    out.Write(CsvHeader);
    WriteSessionRows(session, 0, session.FrameCount(), out);
    out.Close();
    return ReadFile(path);
}

// Where two long texts first differ, for a short message.
::testing::AssertionResult SameText(const std::string& got, const std::string& want)
{
    if (got == want)
        return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at])
        ++at;
    const std::size_t from = at < 40 ? 0 : at - 40;
    return ::testing::AssertionFailure() << "sizes " << got.size() << " and " << want.size() << ", first difference at "
                                         << at << ": got \"" << got.substr(from, 80) << "\", want \""
                                         << want.substr(from, 80) << "\"";
}

// Slices of one row or so, of a few rows, and the default.
std::vector<TLoadOptions> SliceSettings()
{
    std::vector<TLoadOptions> settings(3);
    settings[0].Parsing.SliceBytes = 16;
    settings[0].Parsing.Window = 2;
    settings[1].Parsing.SliceBytes = 70;
    settings[1].Parsing.Window = 3;
    settings[1].Parsing.Threads = 1;
    return settings;
}

std::string SettingsName(const TLoadOptions& options)
{
    return "slices of " + std::to_string(options.Parsing.SliceBytes) + " bytes";
}

std::string Load(const std::string& path, TSession& session, TLoadResult& result, TLoadOptions options = {})
{
    try {
        result = LoadRecording(path, session, std::move(options));
    } catch (const Exception& e) {
        return e.Message();
    }
    return "";
}

class RecordingLoad : public ::testing::Test {
protected:
    TScratchDir Dir;
    std::string Path = Dir.File("gravacao.csv");
};

TEST_F(RecordingLoad, RecordingsOpenWhole)
{
    const std::vector<std::string> rows = GoodRows(40);
    std::string crlf(CsvHeader.substr(0, CsvHeader.size() - 1));
    crlf += "\r\n";
    for (const std::string& row : rows)
        crlf += row.substr(0, row.size() - 1) + "\r\n";
    struct TCase {
        const char* Name;
        std::string Text;
        std::string Expected;  // the session exported again
    };
    const TCase cases[] = {
        {"rows", Join(rows), Join(rows)},
        {"CRLF line ends", crlf, Join(rows)},
        {"a byte order mark first", "\xEF\xBB\xBF" + Join(rows), Join(rows)},
        {"the header alone", std::string(CsvHeader), std::string(CsvHeader)},
        {"the header without its line end", std::string(CsvHeader.substr(0, CsvHeader.size() - 1)),
         std::string(CsvHeader)},
        {"one row", Join(rows, 1), Join(rows, 1)},
    };
    for (const TCase& c : cases) {
        for (const TLoadOptions& options : SliceSettings()) {
            SCOPED_TRACE(std::string(c.Name) + ", " + SettingsName(options));
            WriteText(Path, c.Text);
            TSession session;
            TLoadResult result;
            ASSERT_EQ(Load(Path, session, result, options), "");
            EXPECT_EQ(result.Status, TLoadStatus::Complete);
            EXPECT_FALSE(result.Partial());
            EXPECT_FALSE(result.LastRowCut);
            EXPECT_EQ(result.Message, "");
            EXPECT_EQ(result.Rows, session.FrameCount());
            EXPECT_TRUE(SameText(Export(session), c.Expected));
        }
    }
}

TEST_F(RecordingLoad, ALastRowCutShortIsLeftOutAndSaidSo)
{
    const std::vector<std::string> rows = GoodRows(20);
    const std::string whole = Join(rows);
    const std::string last = rows.back();
    struct TCase {
        const char* Name;
        std::string Text;
    };
    const TCase cases[] = {
        {"cut in a number", whole.substr(0, whole.size() - 4)},
        {"cut before its line end", whole.substr(0, whole.size() - 1)},
        {"cut after its first byte", whole.substr(0, whole.size() - last.size() + 1)},
        {"cut between CR and LF", whole.substr(0, whole.size() - 1) + "\r"},
        {"zeros after a power cut", whole.substr(0, whole.size() - last.size()) + std::string(300, '\0')},
        {"a row cut by zeros", whole.substr(0, whole.size() - last.size() + 5) + std::string(9000, '\0')},
    };
    for (const TCase& c : cases) {
        for (const TLoadOptions& options : SliceSettings()) {
            SCOPED_TRACE(std::string(c.Name) + ", " + SettingsName(options));
            WriteText(Path, c.Text);
            TSession session;
            TLoadResult result;
            ASSERT_EQ(Load(Path, session, result, options), "");
            EXPECT_EQ(result.Status, TLoadStatus::Complete);
            EXPECT_FALSE(result.Partial());
            EXPECT_TRUE(result.LastRowCut);
            EXPECT_EQ(result.Line, 21u);
            EXPECT_NE(result.Message.find("última linha de \"" + Path + "\" (linha 21) está incompleta"),
                      std::string::npos)
                << result.Message;
            EXPECT_EQ(result.Rows, 19u);
            EXPECT_TRUE(SameText(Export(session), Join(rows, 19)));
        }
    }
}

TEST_F(RecordingLoad, FilesThatAreNotRecordingsAreRefusedSayingWhatWasExpected)
{
    std::string binary = "\x7F" "ELF\x02\x01\x01";
    binary += std::string(64, '\0');
    const std::string body = GoodRows(3)[0];
    struct TCase {
        const char* Name;
        std::string Text;
        std::string Reason;
    };
    const TCase cases[] = {
        {"empty", "", "o arquivo está vazio"},
        {"binary", binary, "o arquivo não é de texto"},
        {"another CSV", "data,hora,temperatura\n1,2,3\n", "a primeira linha é \"data,hora,temperatura\""},
        {"semicolons", "tempo_s;eixo;indice;valor;valido\n0,000000;X;0;1;1\n", "os campos estão separados por ponto e vírgula (;)"},
        {"tabs", "tempo_s\teixo\tindice\tvalor\tvalido\n", "os campos estão separados por tabulação"},
        {"an export for spreadsheets", "tempo_s,indice,x,y,z,valido_x,valido_y,valido_z\n0.000000,0,1,2,3,1,1,1\n",
         "é uma exportação para planilhas"},
        {"the Brazilian export for spreadsheets", "tempo_s;indice;x;y;z;valido_x;valido_y;valido_z\n",
         "é uma exportação para planilhas"},
        {"rows without a header", body + body, "a primeira linha é \"0.000000,X,0,2000,1\""},
        {"a header cut short", "tempo_s,eixo,ind", "o arquivo termina no meio da primeira linha"},
        {"an empty first line", "\n" + std::string(CsvHeader), "a primeira linha está vazia"},
        {"UTF-16", std::string("\xFF\xFEt\0e\0", 6), "o texto está em UTF-16"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteText(Path, c.Text);
        TSession session;
        TLoadResult result;
        const std::string message = Load(Path, session, result);
        EXPECT_NE(message.find("\"" + Path + "\" não é uma gravação do Acelerômetro: " + c.Reason), std::string::npos)
            << message;
        EXPECT_NE(message.find("primeira linha é \"tempo_s,eixo,indice,valor,valido\"."), std::string::npos) << message;
        EXPECT_EQ(session.FrameCount(), 0u);
    }
}

TEST_F(RecordingLoad, WhatCannotBeOpenedSaysWhy)
{
    TSession session;
    TLoadResult result;
    EXPECT_NE(Load(Dir.File("nao-existe.csv"), session, result).find("o caminho não existe"), std::string::npos);
    EXPECT_NE(Load(Dir.Path(), session, result).find("o nome é de uma pasta"), std::string::npos);
    const std::string fifo = Dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_NE(Load(fifo, session, result).find("não é um arquivo comum"), std::string::npos);
}

// A bad row of each kind, made from the good row it replaces and the one
// before it.
struct TBadKind {
    const char* Name;
    std::string (*Make)(const std::string& good, const std::string& previous);
    std::string Problem;  // the message's words for it
    int FirstRow;         // the first row (0-based) where it can happen
};

std::string Field(const std::string& row, int n)
{
    std::size_t begin = 0;
    for (int i = 0; i < n; ++i)
        begin = row.find(',', begin) + 1;
    const std::size_t end = row.find_first_of(",\n", begin);
    return row.substr(begin, end - begin);
}

std::string WithField(const std::string& row, int n, const std::string& value)
{
    std::size_t begin = 0;
    for (int i = 0; i < n; ++i)
        begin = row.find(',', begin) + 1;
    const std::size_t end = row.find_first_of(",\n", begin);
    return row.substr(0, begin) + value + row.substr(end);
}

const TBadKind BadKinds[] = {
    {"four fields", [](const std::string& g, const std::string&) { return g.substr(0, g.rfind(',')) + "\n"; },
     "a linha tem 4 campos em vez de 5", 0},
    {"six fields", [](const std::string& g, const std::string&) { return g.substr(0, g.size() - 1) + ",7\n"; },
     "a linha tem 6 campos em vez de 5", 0},
    {"an empty line", [](const std::string&, const std::string&) { return std::string("\n"); },
     "a linha está vazia", 0},
    {"unknown axis", [](const std::string& g, const std::string&) { return WithField(g, 1, "W"); },
     "eixo \"W\" desconhecido (deveria ser X, Y ou Z)", 0},
    {"time not a number", [](const std::string& g, const std::string&) { return WithField(g, 0, "abc"); },
     "tempo_s \"abc\" não é um tempo em segundos com seis casas decimais", 0},
    {"time with three decimals", [](const std::string& g, const std::string&) { return WithField(g, 0, "0.010"); },
     "tempo_s \"0.010\" não é um tempo em segundos com seis casas decimais", 0},
    {"index not a number", [](const std::string& g, const std::string&) { return WithField(g, 2, "-1"); },
     "indice \"-1\" não é um número inteiro", 0},
    {"value not a number", [](const std::string& g, const std::string&) { return WithField(g, 3, "20.5"); },
     "valor \"20.5\" não é um número inteiro", 0},
    {"value outside 0-4095", [](const std::string& g, const std::string&) { return WithField(g, 3, "4096"); },
     "valor \"4096\" fora da faixa de 0 a 4095", 0},
    {"valido neither 0 nor 1", [](const std::string& g, const std::string&) { return WithField(g, 4, "2"); },
     "valido \"2\" deveria ser 0 ou 1", 0},
    {"index not the next of its axis",
     [](const std::string& g, const std::string&) {
         return WithField(g, 2, std::to_string(std::stoll(Field(g, 2)) + 1));
     },
     "não segue o anterior desse eixo", 3},
    {"time going backwards",
     [](const std::string& g, const std::string& previous) {
         const std::string time = Field(previous, 0);
         const std::int64_t us = std::stoll(time.substr(0, time.find('.'))) * 1000000
             + std::stoll(time.substr(time.find('.') + 1));
         return WithField(g, 0, us == 0 ? "?" : Row(us - 1, axX, 0, 0, true).substr(0, 8));
     },
     "o tempo volta para trás", 5},
};

TEST_F(RecordingLoad, ABadRowStopsTheLoadThereKeepingWhatCameBefore)
{
    const int count = 30;
    const std::vector<std::string> rows = GoodRows(count);
    for (const TBadKind& kind : BadKinds) {
        for (const int at : {kind.FirstRow, count / 2, count - 1}) {
            std::vector<std::string> bad = rows;
            bad[std::size_t(at)] = kind.Make(rows[std::size_t(at)], at > 0 ? rows[std::size_t(at - 1)] : "");
            WriteText(Path, Join(bad));
            for (const TLoadOptions& options : SliceSettings()) {
                SCOPED_TRACE(std::string(kind.Name) + " on row " + std::to_string(at) + ", " + SettingsName(options));
                TSession session;
                TLoadResult result;
                ASSERT_EQ(Load(Path, session, result, options), "");
                const std::uint64_t line = std::uint64_t(at) + 2;
                EXPECT_EQ(result.Status, TLoadStatus::BadRow);
                EXPECT_TRUE(result.Partial());
                EXPECT_EQ(result.Line, line);
                EXPECT_EQ(result.Rows, std::uint64_t(at));
                EXPECT_NE(result.Message.find("parou na linha " + std::to_string(line) + ": "), std::string::npos)
                    << result.Message;
                EXPECT_NE(result.Message.find(kind.Problem), std::string::npos) << result.Message;
                EXPECT_TRUE(SameText(Export(session), Join(rows, std::size_t(at))));
            }
        }
    }
}

TEST_F(RecordingLoad, MessagesGiveTheFieldsTheyFoundFault)
{
    // The words for each fault, where the table above only looks for them.
    const std::int64_t none[AxisCount] = {-1, -1, -1};
    const std::int64_t expected[AxisCount] = {5, -1, -1};
    struct TCase {
        std::string Line;
        std::int64_t LastTimeUs;
        const std::int64_t* Expected;
        std::string Problem;
    };
    const TCase cases[] = {
        {"0.000000,X,0,1", -1, none, "a linha tem 4 campos em vez de 5 (tempo_s,eixo,indice,valor,valido, separados "
                                    "por vírgula)"},
        {"0.000000", -1, none, "a linha tem 1 campo em vez de 5 (tempo_s,eixo,indice,valor,valido, separados por "
                              "vírgula)"},
        {"0.000000,X,,1,1", -1, none, "o campo indice está vazio"},
        {"99999999999999.000000,X,0,1,1", -1, none, "tempo_s \"99999999999999.000000\" é grande demais"},
        {"1.2345678,X,0,1,1", -1, none,
         "tempo_s \"1.2345678\" não é um tempo em segundos com seis casas decimais e ponto (como 12.345678)"},
        {"1,000000,X,0,1,1", -1, none, "a linha tem 6 campos em vez de 5 (tempo_s,eixo,indice,valor,valido, "
                                      "separados por vírgula)"},
        {"0.000000,x,0,1,1", -1, none, "eixo \"x\" desconhecido (deveria ser X, Y ou Z)"},
        {"0.000000,X,99999999999999999999,1,1", -1, none, "indice \"99999999999999999999\" é grande demais"},
        {"0.000000,X,1e3,1,1", -1, none, "indice \"1e3\" não é um número inteiro de 0 para cima"},
        {"0.000000,X,0,-1,1", -1, none, "valor \"-1\" fora da faixa de 0 a 4095"},
        {"0.000000,X,0,0x10,1", -1, none, "valor \"0x10\" não é um número inteiro"},
        {"0.000000,X,0,1,sim", -1, none, "valido \"sim\" deveria ser 0 ou 1"},
        {"0.000000,X,0,1,\x01", -1, none, "valido \"?\" deveria ser 0 ou 1"},
        {"1.000000,X,5,1,1", 1500000, expected, "o tempo volta para trás: tempo_s 1.000000 vem depois de 1.500000"},
        {"2.000000,X,7,1,1", 1500000, expected, "o indice 7 do eixo X não segue o anterior desse eixo (deveria ser 5)"},
        {"0.000000,X,0,1,1" + std::string(27, ','), -1, none, "a linha tem 32 campos em vez de 5"},
    };
    for (const TCase& c : cases) {
        const std::string problem = DescribeBadRow(c.Line.data(), c.Line.data() + c.Line.size(), c.LastTimeUs, c.Expected);
        EXPECT_EQ(problem.substr(0, c.Problem.size()), c.Problem) << c.Line;
    }
    const std::string longValue = "0.000000,X,0,1234567890123456789012345678901234,1";
    EXPECT_EQ(DescribeBadRow(longValue.data(), longValue.data() + longValue.size(), -1, none),
              "valor \"123456789012345678901234…\" fora da faixa de 0 a 4095");
    const std::string accented = "0.000000,X,0,1,çççççççççççççççççççç";
    EXPECT_EQ(DescribeBadRow(accented.data(), accented.data() + accented.size(), -1, none),
              "valido \"çççççççççççç…\" deveria ser 0 ou 1");
}

// The numbers of a row at their limits and of every length, as the only
// row of a text (so that the last bytes are read one by one) and followed
// by more (read eight at a time).
TEST(RowParser, NumbersOfEveryLengthAndAtTheirLimits)
{
    struct TCase {
        std::string Row;  // without its line end
        bool Good;
        std::uint64_t TimeUs, Index, Value;
    };
    std::vector<TCase> cases = {
        {"0.000000,X,0,0,1", true, 0, 0, 0},
        {"9223372036854.775807,Z,9223372036854775806,4095,0", true, 9223372036854775807u, 9223372036854775806u, 4095},
        {"9223372036854.775808,X,0,0,1", false, 0, 0, 0},
        {"9223372036855.000000,X,0,0,1", false, 0, 0, 0},
        {"0.000000,X,9223372036854775807,0,1", false, 0, 0, 0},
        {"0.000000,X,9999999999999999999,0,1", false, 0, 0, 0},
        {"0.000000,X,18446744073709551616,0,1", false, 0, 0, 0},
        {"0.000000,X,0,4096,1", false, 0, 0, 0},
        {"0.000000,X,0,04095,1", true, 0, 0, 4095},
        {"00012.000345,Y,007,0010,1", true, 12000345, 7, 10},
        {"0.00001,X,0,0,1", false, 0, 0, 0},
        {"0.0000012,X,0,0,1", false, 0, 0, 0},
        {"0.00000a,X,0,0,1", false, 0, 0, 0},
        {".000000,X,0,0,1", false, 0, 0, 0},
        {"0.000000,X,,0,1", false, 0, 0, 0},
        {"0.000000,X,1:,0,1", false, 0, 0, 0},
        {"0.000000,X,/1,0,1", false, 0, 0, 0},
        {"0.000000,X,+1,0,1", false, 0, 0, 0},
    };
    // Every length of index, from 1 digit to 19.
    std::uint64_t index = 0;
    for (int digits = 1; digits <= 19; ++digits) {
        index = index * 10 + std::uint64_t(digits % 10);
        if (index <= 9223372036854775806u)
            cases.push_back({"1.500000,X," + std::to_string(index) + ",123,1", true, 1500000, index, 123});
    }
    for (const TCase& c : cases) {
        for (const bool last : {true, false}) {
            SCOPED_TRACE(c.Row + (last ? " (last)" : " (then more)"));
            // Then a row of the same time on another axis.
            const std::size_t comma = c.Row.find(',');
            const char other = c.Row[comma + 1] == 'X' ? 'Y' : 'X';
            const std::string more = c.Row.substr(0, comma) + "," + other + ",0,1,1\n";
            const std::string text = c.Row + "\n" + (last ? "" : more);
            TParsedSlice slice;
            slice.Reset(text.size() / MinRowBytes + 1);
            ParseRows(text.data(), text.size(), 0, text.size(), slice);
            if (!c.Good) {
                EXPECT_EQ(slice.Rows, 0u);
                EXPECT_EQ(slice.End, TParsedSlice::TEnd::BadRow);
                continue;
            }
            ASSERT_EQ(slice.Rows, last ? 1u : 2u);
            EXPECT_EQ(slice.End, TParsedSlice::TEnd::SliceEnd);
            EXPECT_EQ(std::uint64_t(slice.TimeUs[0]), c.TimeUs);
            EXPECT_EQ(std::uint64_t(slice.FirstIndex[TParsedSlice::AxisOf(slice.Packed[0])]), c.Index);
            EXPECT_EQ(TParsedSlice::ValueOf(slice.Packed[0]), c.Value);
        }
    }
}

// A session with every kind of frame the receiver makes.
void FillMixedSession(TSession& session, std::uint64_t frames, unsigned seed)
{
    std::mt19937 random(seed);
    std::int64_t timeNs = 2'000'000'000;
    session.MarkStart(timeNs);
    int axis = 0;
    for (std::uint64_t n = 0; n < frames;) {
        const unsigned kind = random() % 100;
        if (kind == 0)
            timeNs += 5'000'000'000'000;  // a stop of over an hour: past a 32-bit offset
        else if (kind < 5)
            timeNs += 2'000'000'000;  // a stop
        else
            timeNs += 1'000 + std::int64_t(random() % 4'000'000);
        session.BeginRead(timeNs);
        for (std::uint64_t k = random() % 12; k > 0 && n < frames; --k, ++n) {
            const int value = int(random() % 4096);
            session.AppendReading(TAxis(axis), value, random() % 7 != 0);  // held values
            if (random() % 40 == 0)
                axis = int(random() % 3);  // out of turn: lost frames, a device reset
            else
                axis = (axis + 1) % 3;
        }
    }
}

TEST_F(RecordingLoad, ARecordingReadBackIsWrittenAgainByteForByte)
{
    TSession original;
    FillMixedSession(original, 8'000, 11);
    TSession oneAxis;
    oneAxis.BeginRead(0);
    for (int i = 0; i < 300; ++i)
        oneAxis.AppendReading(axZ, i, i % 3 != 0);
    struct TCase {
        const char* Name;
        const TSession& Session;
        std::uint64_t From;  // a recording started later begins there
    };
    const TCase cases[] = {
        {"a whole session", original, 0},
        {"a recording started later", original, 3'456},
        {"one axis only", oneAxis, 0},
    };
    for (const TCase& c : cases) {
        {
            TFileWriter out(Path, TFileWriter::TMode::Direct);
            out.Write(CsvHeader);
            WriteSessionRows(c.Session, c.From, c.Session.FrameCount(), out);
            out.Close();
        }
        const std::string file = ReadFile(Path);
        for (const TLoadOptions& options : SliceSettings()) {
            SCOPED_TRACE(std::string(c.Name) + ", " + SettingsName(options));
            TSession loaded;
            TLoadResult result;
            ASSERT_EQ(Load(Path, loaded, result, options), "");
            ASSERT_EQ(result.Status, TLoadStatus::Complete) << result.Message;
            EXPECT_EQ(result.Rows, c.Session.FrameCount() - c.From);
            EXPECT_TRUE(SameText(Export(loaded), file));
            for (int a = 0; a < AxisCount; ++a)
                EXPECT_EQ(loaded.FirstIndex(TAxis(a)) + loaded.Count(TAxis(a)), c.Session.Count(TAxis(a)));
        }
    }
}

// The rows a plain, line by line reading takes from the text after the
// header, and whether it ends at a bad row or a cut last line.
struct TReference {
    std::uint64_t Rows = 0;
    bool BadRow = false;
    bool Cut = false;
};

bool Digits(const std::string& text, std::uint64_t& value, std::uint64_t max)
{
    if (text.empty())
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        const unsigned digit = unsigned(c - '0');
        if (value > (max - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return true;
}

TReference ReadReference(const std::string& body)
{
    TReference result;
    std::int64_t lastTime = -1;
    std::int64_t next[AxisCount] = {-1, -1, -1};
    for (std::size_t p = 0; p < body.size();) {
        const std::size_t newline = body.find('\n', p);
        if (newline == std::string::npos || newline - p >= MaxRowLineBytes) {
            const std::size_t zero = body.find('\0', p);
            const bool zeros = zero != std::string::npos && zero < std::min(newline, p + MaxRowLineBytes)
                && body.find_first_not_of('\0', zero) == std::string::npos;
            result.Cut = zeros || (newline == std::string::npos && body.size() - p <= MaxRowLineBytes);
            result.BadRow = !result.Cut;
            return result;
        }
        std::string line = body.substr(p, newline - p);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> fields;
        for (std::size_t f = 0;;) {
            const std::size_t comma = line.find(',', f);
            fields.push_back(line.substr(f, comma == std::string::npos ? std::string::npos : comma - f));
            if (comma == std::string::npos)
                break;
            f = comma + 1;
        }
        std::uint64_t seconds, fraction, index, value;
        const std::string time = fields[0];
        const std::size_t point = time.find('.');
        bool ok = fields.size() == 5 && point != std::string::npos && time.size() - point == 7
            && Digits(time.substr(0, point), seconds, 9223372036854ULL)
            && Digits(time.substr(point + 1), fraction, 999999)
            && seconds * 1000000 + fraction <= std::uint64_t(INT64_MAX) && fields[1].size() == 1
            && fields[1][0] >= 'X' && fields[1][0] <= 'Z' && Digits(fields[2], index, INT64_MAX - 1)
            && Digits(fields[3], value, 4095) && (fields[4] == "0" || fields[4] == "1");
        if (ok) {
            const int axis = fields[1][0] - 'X';
            const std::int64_t us = std::int64_t(seconds * 1000000 + fraction);
            ok = us >= lastTime && (next[axis] < 0 || std::int64_t(index) == next[axis]);
            lastTime = us;
            next[axis] = std::int64_t(index) + 1;
        }
        if (!ok) {
            result.BadRow = true;
            return result;
        }
        ++result.Rows;
        p = newline + 1;
    }
    return result;
}

TEST_F(RecordingLoad, DamagedFilesLoadAsALineByLineReadingSays)
{
    // Good recordings with random damage, against the plain reading above,
    // with rows on every side of the joins between slices.
    std::mt19937 random(5);
    const std::vector<std::string> rows = GoodRows(200);
    const std::string good = Join(rows).substr(CsvHeader.size());
    const char bytes[] = "0123456789.,XYZ\r\n\0-a ";
    for (int round = 0; round < 200; ++round) {
        std::string body = good;
        for (unsigned k = 1 + random() % 3; k > 0; --k) {
            const std::size_t at = random() % body.size();
            switch (random() % 5) {
            case 0: body[at] = bytes[random() % (sizeof bytes - 1)]; break;
            case 1: body.erase(at, 1); break;
            case 2: body.insert(at, 1, bytes[random() % (sizeof bytes - 1)]); break;
            case 3: body.resize(at); break;
            default:
                body.resize(at);
                body += std::string(random() % 300, '\0');
                break;
            }
            if (body.empty())
                body = good;
        }
        const TReference expected = ReadReference(body);
        WriteText(Path, std::string(CsvHeader) + body);
        for (const TLoadOptions& options : SliceSettings()) {
            SCOPED_TRACE("round " + std::to_string(round) + ", " + SettingsName(options));
            TSession session;
            TLoadResult result;
            ASSERT_EQ(Load(Path, session, result, options), "");
            ASSERT_EQ(result.Rows, expected.Rows) << result.Message;
            ASSERT_EQ(result.Status, expected.BadRow ? TLoadStatus::BadRow : TLoadStatus::Complete) << result.Message;
            ASSERT_EQ(result.LastRowCut, expected.Cut) << result.Message;
            ASSERT_EQ(session.FrameCount(), result.Rows);
            if (result.Status == TLoadStatus::BadRow) {
                ASSERT_EQ(result.Line, result.Rows + 2);
            }
        }
    }
}

TEST_F(RecordingLoad, ProgressGoesByRowsAndBytesToTheEnd)
{
    TSession original;
    FillMixedSession(original, 50'000, 3);
    {
        TFileWriter out(Path, TFileWriter::TMode::Direct);
        out.Write(CsvHeader);
        WriteSessionRows(original, 0, original.FrameCount(), out);
        out.Close();
    }
    TLoadOptions options;
    options.Parsing.SliceBytes = 4096;
    TSession session;
    TRecordingLoader loader(Path, session, options);
    EXPECT_EQ(loader.Progress().Permille(), 0);
    EXPECT_EQ(loader.Progress().TotalBytes, ReadFile(Path).size());
    loader.Start();
    TLoadProgress last;
    int steps = 0;
    for (;;) {
        // Deadlines already past: one step of rows at a time.
        const auto state = loader.AppendReady(TClock::now());
        const TLoadProgress now = loader.Progress();
        EXPECT_EQ(now.Rows, session.FrameCount());
        EXPECT_GE(now.Rows, last.Rows);
        EXPECT_GE(now.Bytes, last.Bytes);
        last = now;
        ++steps;
        if (state == TRecordingLoader::TAppendState::Ended)
            break;
        if (state == TRecordingLoader::TAppendState::Waiting)
            std::this_thread::yield();
    }
    EXPECT_GT(steps, 5);
    EXPECT_EQ(last.Rows, 50'000u);
    EXPECT_EQ(last.Permille(), 1000);
}

TEST_F(RecordingLoad, CancelStopsWhereItStandsKeepingWhatLoaded)
{
    WriteText(Path, Join(GoodRows(30'000)));
    TLoadOptions options;
    options.Parsing.SliceBytes = 2048;
    {
        // Before it starts.
        TSession session;
        TRecordingLoader loader(Path, session, options);
        loader.Cancel();
        EXPECT_EQ(loader.Result().Status, TLoadStatus::Cancelled);
        loader.Start();
        EXPECT_EQ(loader.AppendReady(TClock::now()), TRecordingLoader::TAppendState::Ended);
        EXPECT_EQ(session.FrameCount(), 0u);
        EXPECT_NE(loader.Result().Message.find("foi cancelada na linha 2. Nenhum ponto foi carregado."),
                  std::string::npos)
            << loader.Result().Message;
    }
    {
        // Half way.
        TSession session;
        TRecordingLoader loader(Path, session, options);
        loader.Start();
        while (session.FrameCount() == 0)
            loader.AppendReady(TClock::now());
        loader.Cancel();
        const TLoadResult& result = loader.Result();
        EXPECT_EQ(result.Status, TLoadStatus::Cancelled);
        EXPECT_TRUE(result.Partial());
        EXPECT_EQ(result.Rows, session.FrameCount());
        EXPECT_LT(result.Rows, 30'000u);
        EXPECT_EQ(result.Line, result.Rows + 2);
        EXPECT_EQ(loader.AppendReady(TClock::now() + std::chrono::seconds(1)), TRecordingLoader::TAppendState::Ended);
        EXPECT_EQ(session.FrameCount(), result.Rows);
        EXPECT_TRUE(SameText(Export(session), Join(GoodRows(30'000), std::size_t(result.Rows))));
    }
    {
        // Dropped while its workers parse: they end with it.
        TSession session;
        TRecordingLoader loader(Path, session, options);
        loader.Start();
    }
}

TEST_F(RecordingLoad, AFileStillBeingWrittenOpensAsFarAsItWentWhenOpened)
{
    const std::vector<std::string> rows = GoodRows(20'000);
    for (const bool cutRow : {false, true}) {
        SCOPED_TRACE(cutRow ? "opened in the middle of a row" : "opened between rows");
        const std::size_t atOpen = 12'000;
        std::string first = Join(rows, atOpen);
        if (cutRow)
            first += rows[atOpen].substr(0, 7);
        WriteText(Path, first);
        TSession session;
        TLoadOptions options;
        options.Parsing.SliceBytes = 8192;
        TRecordingLoader loader(Path, session, options);
        // The recording goes on, in another thread, while the file loads.
        std::atomic<bool> writing{true};
        std::thread writer([&] {
            const int fd = ::open(Path.c_str(), O_WRONLY | O_APPEND);
            ASSERT_GE(fd, 0);
            std::string rest = cutRow ? rows[atOpen].substr(7) : rows[atOpen];
            for (std::size_t i = atOpen + 1; i < rows.size(); ++i)
                rest += rows[i];
            for (std::size_t done = 0; done < rest.size();) {
                const std::size_t n = std::min<std::size_t>(rest.size() - done, 977);
                ASSERT_EQ(::write(fd, rest.data() + done, n), ssize_t(n));
                done += n;
            }
            ::close(fd);
            writing = false;
        });
        loader.Start();
        while (loader.AppendReady(TClock::now() + std::chrono::milliseconds(1)) != TRecordingLoader::TAppendState::Ended)
            std::this_thread::yield();
        writer.join();
        const TLoadResult& result = loader.Result();
        EXPECT_EQ(result.Status, TLoadStatus::Complete);
        EXPECT_EQ(result.Rows, atOpen);
        EXPECT_EQ(result.LastRowCut, cutRow);
        EXPECT_TRUE(SameText(Export(session), Join(rows, atOpen)));
        EXPECT_FALSE(writing);
    }
}

TEST_F(RecordingLoad, AFileTruncatedWhileItLoadsEndsTheLoadWithoutACrash)
{
    const std::vector<std::string> rows = GoodRows(40'000);
    for (const off_t size : {off_t(0), off_t(8192), off_t(300'000)}) {
        SCOPED_TRACE("truncated to " + std::to_string(size) + " bytes");
        WriteText(Path, Join(rows));
        TSession session;
        TLoadOptions options;
        options.Parsing.SliceBytes = 4096;
        TRecordingLoader loader(Path, session, options);
        // As a new recording into the same file does.
        ASSERT_EQ(::truncate(Path.c_str(), size), 0);
        loader.Start();
        while (loader.AppendReady(TClock::now() + std::chrono::milliseconds(5)) != TRecordingLoader::TAppendState::Ended)
            std::this_thread::yield();
        const TLoadResult& result = loader.Result();
        EXPECT_EQ(result.Status, TLoadStatus::FileShrank);
        EXPECT_TRUE(result.Partial());
        EXPECT_LT(result.Rows, rows.size());
        EXPECT_EQ(session.FrameCount(), result.Rows);
        EXPECT_NE(result.Message.find("ficou menor durante a leitura"), std::string::npos) << result.Message;
        // What loaded is the beginning of the file, as it was.
        EXPECT_TRUE(SameText(Export(session), Join(rows, std::size_t(result.Rows))));
        EXPECT_LE(Join(rows, std::size_t(result.Rows)).size(), std::size_t(size) + 4096);
    }
}

TEST_F(RecordingLoad, AFileTooLargeForTheMemoryFreeIsRefusedBeforeLoading)
{
    WriteText(Path, Join(GoodRows(10'000)));
    TLoadOptions options;
    options.AvailableMemory = [] { return std::optional<std::uint64_t>(std::uint64_t(32) << 20); };
    TSession session;
    TLoadResult result;
    const std::string message = Load(Path, session, result, options);
    EXPECT_NE(message.find("\"" + Path + "\" é grande demais para a memória livre: tem cerca de 10.000 pontos"),
              std::string::npos)
        << message;
    EXPECT_NE(message.find("e há 32 MB livres"), std::string::npos) << message;
    EXPECT_EQ(session.FrameCount(), 0u);
}

TEST_F(RecordingLoad, MemoryRunningOutStopsTheLoadKeepingWhatLoaded)
{
    const std::vector<std::string> rows = GoodRows(20'000);
    WriteText(Path, Join(rows));
    {
        // The system runs short while it loads.
        std::atomic<int> looks{0};
        TLoadOptions options;
        options.RowsPerMemoryCheck = 5'000;
        options.AvailableMemory = [&looks] {
            return std::optional<std::uint64_t>(++looks > 2 ? std::uint64_t(1) << 20 : std::uint64_t(1) << 40);
        };
        TSession session;
        TLoadResult result;
        ASSERT_EQ(Load(Path, session, result, options), "");
        EXPECT_EQ(result.Status, TLoadStatus::NoMemory);
        EXPECT_TRUE(result.Partial());
        EXPECT_GE(result.Rows, 10'000u);
        EXPECT_LT(result.Rows, 20'000u);
        EXPECT_NE(result.Message.find("A memória livre acabou durante a leitura"), std::string::npos)
            << result.Message;
        EXPECT_TRUE(SameText(Export(session), Join(rows, std::size_t(result.Rows))));
    }
    {
        // An append that finds no memory: the session stays whole.
        TSession session;
        TLoadOptions options;
        options.Parsing.SliceBytes = 4096;
        TRecordingLoader loader(Path, session, options);
        loader.Start();
        while (session.FrameCount() < 1000)
            loader.AppendReady(TClock::now());
        {
            TAllocationFailure failure(0);
            while (loader.AppendReady(TClock::now() + std::chrono::milliseconds(5))
                   != TRecordingLoader::TAppendState::Ended)
                std::this_thread::yield();
        }
        const TLoadResult& result = loader.Result();
        EXPECT_EQ(result.Status, TLoadStatus::NoMemory);
        EXPECT_EQ(result.Rows, session.FrameCount());
        EXPECT_LT(result.Rows, 20'000u);
        EXPECT_TRUE(SameText(Export(session), Join(rows, std::size_t(result.Rows))));
    }
}

}  // namespace

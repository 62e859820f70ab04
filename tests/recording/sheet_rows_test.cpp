// Rows for spreadsheets: one per index with the three axes side by side,
// the time the set was complete, empty cells where an axis has no point,
// in the comma style and the Brazilian one.
#include "file_writer.h"
#include "scratch_dir.h"
#include "session.h"
#include "sheet_rows.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Series that begin and end at different indexes, as in a recording
// started and stopped between the frames of a set, with a held value.
void FillStaggered(TSession& session)
{
    const TFrameRecord frames[] = {
        {1000, axZ, 9, 2009, true},    {1000, axX, 10, 1010, true},  {1000, axY, 10, 3010, true},
        {4125, axZ, 10, 2010, false},  {4125, axX, 11, 1011, true},  {7250, axY, 11, 3011, true},
        {7250, axZ, 11, 2011, true},   {7250, axX, 12, 1012, false}, {10375, axZ, 12, 2012, true},
        {3600010375, axZ, 13, 4095, true},
    };
    for (const TFrameRecord& frame : frames)
        session.AppendRecord(frame);
}

std::string Write(const TSession& session, TSheetStyle style, std::uint64_t firstPart)
{
    TScratchDir dir;
    const std::string path = dir.File("planilha.csv");
    TFileWriter out(path, TFileWriter::TMode::Direct);
    out.Write(SheetHeader(style));
    TSheetRowWriter rows(session, style);
    rows.Write(firstPart, out);
    EXPECT_EQ(rows.RowsWritten(), std::min(firstPart, rows.RowCount()));
    rows.Write(1000, out);
    EXPECT_TRUE(rows.AtEnd());
    out.Close();
    return ReadFile(path);
}

TEST(SheetRows, OneRowPerIndexWithTheAxesSideBySide)
{
    TSession session;
    FillStaggered(session);
    EXPECT_EQ(TSheetRowWriter(session, TSheetStyle::Comma).RowCount(), 5u);
    const std::string comma = "tempo_s,indice,x,y,z,valido_x,valido_y,valido_z\n"
                              "0.001000,9,,,2009,,,1\n"
                              "0.004125,10,1010,3010,2010,1,1,0\n"
                              "0.007250,11,1011,3011,2011,1,1,1\n"
                              "0.010375,12,1012,,2012,0,,1\n"
                              "3600.010375,13,,,4095,,,1\n";
    const std::string brazilian = "tempo_s;indice;x;y;z;valido_x;valido_y;valido_z\n"
                                  "0,001000;9;;;2009;;;1\n"
                                  "0,004125;10;1010;3010;2010;1;1;0\n"
                                  "0,007250;11;1011;3011;2011;1;1;1\n"
                                  "0,010375;12;1012;;2012;0;;1\n"
                                  "3600,010375;13;;;4095;;;1\n";
    for (const std::uint64_t firstPart : {0, 1, 2, 5}) {
        SCOPED_TRACE("written in parts from " + std::to_string(firstPart));
        EXPECT_EQ(Write(session, TSheetStyle::Comma, firstPart), comma);
        EXPECT_EQ(Write(session, TSheetStyle::Brazilian, firstPart), brazilian);
    }
}

TEST(SheetRows, ALiveSessionGivesTheSetsOfItsReads)
{
    // The device's order, from index 0, one read per set: each set's time
    // is that of its read; the last set lacks Z.
    TSession session;
    session.MarkStart(0);
    for (int read = 0; read < 3; ++read) {
        session.BeginRead(std::int64_t(read) * 3'125'000);
        for (int a = 0; a < AxisCount && !(read == 2 && a == 2); ++a)
            session.AppendReading(TAxis(a), 100 * read + a, true);
    }
    EXPECT_EQ(Write(session, TSheetStyle::Comma, 0), "tempo_s,indice,x,y,z,valido_x,valido_y,valido_z\n"
                                                     "0.000000,0,0,1,2,1,1,1\n"
                                                     "0.003125,1,100,101,102,1,1,1\n"
                                                     "0.006250,2,200,201,,1,1,\n");
    TSession empty;
    EXPECT_EQ(TSheetRowWriter(empty, TSheetStyle::Brazilian).RowCount(), 0u);
    EXPECT_EQ(Write(empty, TSheetStyle::Brazilian, 0), "tempo_s;indice;x;y;z;valido_x;valido_y;valido_z\n");
}

}  // namespace

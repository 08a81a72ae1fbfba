// Table files: the line grammar's edge cases, the column-format check and its fatal exit,
// the queries, the writer (round trip) and the text helpers.
#include "io/GDB.h"

#include <cstdlib>
#include <gtest/gtest.h>

#include "common/TestUtil.h"

using testutil::TempDir;
using testutil::writeFile;

namespace {

GDB loadText(const TempDir& dir, const std::string& text, const std::string& name = "t.tab") {
    writeFile(dir.file(name), text);
    return GDB(dir.file(name));
}

}  // namespace

// Read once with Unix and once with Windows line ends: the same table.
TEST(GDB, ReadsHeaderRowsAndQueries) {
    const std::string lf =
        "REMARK First remark\nREMARK\nREMARK \nDATA SEQUENCE MKV\nDATA DA_REF   12.5\n"
        "VARS   RESID_I RESNAME_I ATOMNAME_I D\nFORMAT %5d %6s %6s %9.3f\n\n"
        "    2    GLN      N     -8.170\nthis line has five words\n# a comment row\n    3    ILE      N      8.271\n";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    TempDir dir;
    for (const std::string& text : {lf, crlf}) {
        GDB t = loadText(dir, text);
        // "REMARK" alone adds nothing; "REMARK " adds an empty remark
        EXPECT_EQ(t.REMARKS, (StringList{"First remark", ""}));
        EXPECT_EQ(t.DATA, (StringList{"SEQUENCE MKV", "DA_REF 12.5"}));
        EXPECT_EQ(t.FORMAT_str, " %5d %6s %6s %9.3f");
        EXPECT_EQ(t.FORMAT, (std::map<int, std::string>{{0, "%5d "}, {1, "%6s "}, {2, "%6s "}, {3, "%9.3f"}}));
        // a "#" line with as many words as columns is a row: there is no comment syntax
        ASSERT_EQ(t.getEntryCount(), 3);
        EXPECT_EQ(t.getEntry(2).at("RESID_I"), "#");
        EXPECT_EQ(t.getEntry(3).at("D"), "8.271");
        EXPECT_TRUE(t.getEntry(4).empty() && t.getEntry(0).empty());
        EXPECT_EQ(t.getTabVar("ATOMNAME_I"), 2);
        EXPECT_EQ(t.getTabVar("atomname_i"), -1);
        EXPECT_EQ(t.getData("DA_REF") + t.getData("NOPE"), " 12.5");
        EXPECT_TRUE(t.isVarInt(0) && t.isVarString("RESNAME_I") && t.isVarFloat("D"));
        EXPECT_FALSE(t.isVarFloat(0) || t.isVarInt("D") || t.isVarInt("NOPE"));
        EXPECT_EQ(t.getResidName(1) + t.getResidName(3) + t.getResidName(4), "MV");
    }
    // the n-th row matching one or two cells
    GDB r = loadText(dir, "VARS A B C\nFORMAT %d %s %f\n1 N 1.0\n2 H 2.0\n1 H 3.0\n1 N 4.0\n");
    EXPECT_EQ(r.getEntry("A", "1", 2).at("C") + r.getEntry("A", "1", "B", "N", 2).at("C"), "3.04.0");
    EXPECT_TRUE(r.getEntry("A", "1", 4).empty() && r.getEntry("A", "1", 0).empty());
}

TEST(GDB, HeaderOrderAndSequence) {
    TempDir dir;
    // FORMAT before VARS: no column formats, but the rows after VARS are read
    GDB a = loadText(dir, "1 2 3\nFORMAT %d %s %f\n1 2 3\nVARS X Y Z\n4 5 6\n7 8\n");
    EXPECT_TRUE(a.FORMAT.empty());
    EXPECT_EQ(a.Entries, (std::map<int, GDB_Entry>{{1, {{"X", "4"}, {"Y", "5"}, {"Z", "6"}}}}));
    // a second VARS line discards the rows read before it
    GDB b = loadText(dir, "VARS X Y\nFORMAT %d %d\n1 2\n3 4\nVARS P Q\n5 6\n");
    EXPECT_EQ(b.Entries, (std::map<int, GDB_Entry>{{1, {{"P", "5"}, {"Q", "6"}}}}));
    // rows before FORMAT are ignored (no FORMAT: no rows); keywords are case-sensitive whole words
    EXPECT_EQ(loadText(dir, "VARS X Y\n1 2\n").getEntryCount(), 0);
    GDB d = loadText(dir, "VARS X Y\n1 2\nremark x\nREMARKS no\nDATAX 1\nFORMAT %d %d\n3 4\nREMARK x\n");
    ASSERT_EQ(d.getEntryCount(), 2);
    EXPECT_EQ(d.getEntry(2).at("X"), "REMARK");
    EXPECT_EQ(d.REMARKS, StringList{"x"});
    EXPECT_TRUE(d.DATA.empty());
    // a one-column table: white-space lines are no rows, a last line without newline is one
    GDB e = loadText(dir, "VARS X\nFORMAT %s\n   \t \nlast");
    EXPECT_EQ(e.Entries, (std::map<int, GDB_Entry>{{1, {{"X", "last"}}}}));

    GDB s = loadText(dir, "DATA FIRST_RESID 10\nDATA SEQUENCE MK\nDATA SEQUENCE VZ*a ?chp\nVARS A\nFORMAT %d\n");
    EXPECT_EQ(s.getData("SEQUENCE"), " MK VZ*a ?chp");
    EXPECT_EQ(s.residList, (std::map<int, std::string>{{10, "M"}, {11, "K"}, {12, "V"}, {13, "X"}, {14, "X"},
                                                       {15, "X"}, {16, "?"}, {17, "c"}, {18, "h"}, {19, "p"}}));
}

// Lines users' tools write: indented keywords, a repeated column name, a very long row, control
// characters and NUL bytes inside words.
TEST(GDB, UnusualLines) {
    TempDir dir;
    const std::string longWord(100000, 'x');
    GDB t = loadText(dir, "  REMARK   indented  remark \n\tDATA  KEY   a   b\n VARS A  B\tA\nFORMAT %s %s %s\n"
                          "1 2 3\n" + longWord + " y z\n" + std::string("n\0l b\x01 c\n", 9));
    EXPECT_EQ(t.REMARKS, StringList{"  indented  remark "});  // from the keyword on, blanks kept
    EXPECT_EQ(t.DATA, StringList{"KEY a b"});
    EXPECT_EQ(t.VARS_str, "A B A");
    ASSERT_EQ(t.getEntryCount(), 3);
    // the later of two columns with one name holds the cell
    EXPECT_EQ(t.getEntry(1), (GDB_Entry{{"A", "3"}, {"B", "2"}}));
    EXPECT_EQ(t.getEntry(2).at("B") + std::to_string(t.getEntry(2).size()), "y2");
    EXPECT_EQ(t.getEntry(2).at("A"), "z");
    EXPECT_EQ(t.getEntry(3).at("B"), std::string("b\x01"));
}

// The rows in column order hold, cell for cell, what the row maps hold, whatever the header
// order, repeated VARS lines, repeated column names, keyword lines that are rows or odd bytes.
TEST(GDB, RowsInColumnOrderHoldTheRowMaps) {
    const std::string texts[] = {
        "1 2 3\nFORMAT %d %s %f\n1 2 3\nVARS X Y Z\n4 5 6\n7 8\n",
        "VARS X Y\nFORMAT %d %d\n1 2\n3 4\nVARS P Q\n5 6\n",
        "VARS X Y\n1 2\nremark x\nFORMAT %d %d\n3 4\nREMARK x\nDATA k\n",
        "VARS X Y\nFORMAT %d %d\n1 2\nFORMAT %d %d\n3 4\nVARS X Y Z\n",
        "VARS X\nFORMAT %s\n   \t \nlast",
        " VARS A  B\tA\nFORMAT %s %s %s\n1 2 3\n" + std::string(70000, 'x') + " y z\n" +
            std::string("n\0l b\x01 c\r\n", 11),
        "VARS RESID_I D\nFORMAT %d %f\n"};
    TempDir dir;
    for (const std::string& text : texts) {
        const GDB byName = loadText(dir, text);
        GDB byColumn;
        GDBRows rows;
        byColumn.loadGDB(dir.file("t.tab"), rows);
        EXPECT_TRUE(byColumn.Entries.empty());
        EXPECT_EQ(byColumn.VARS, byName.VARS);
        EXPECT_EQ(byColumn.REMARKS, byName.REMARKS);
        EXPECT_EQ(byColumn.DATA, byName.DATA);
        ASSERT_EQ(rows.rowCount(), byName.getEntryCount()) << text;
        for (int r = 1; r <= rows.rowCount(); r++) {
            GDB_Entry row;
            for (const auto& kv : byName.VARS) row[kv.second] = std::string(rows.cell(r, byName.getCellColumn(kv.second)));
            EXPECT_EQ(row, byName.getEntry(r)) << text << " row " << r;
        }
        EXPECT_EQ(rows.cell(1, -1), "");
        EXPECT_EQ(rows.cell(1, static_cast<int>(byName.VARS.size())), "");
    }
    // each cell is followed by a NUL, for strtod and strtol
    GDBRows rows;
    GDB t;
    testutil::writeFile(dir.file("n.tab"), "VARS A B\nFORMAT %d %f\n12 -3.5e1\n7 8\n");
    t.loadGDB(dir.file("n.tab"), rows);
    EXPECT_EQ(std::strtol(rows.cell(1, 0).data(), nullptr, 10) + std::strtod(rows.cell(1, 1).data(), nullptr), -23.0);
    EXPECT_EQ(t.getTabVar("A") + t.getCellColumn("B") + t.getCellColumn("C"), 0);
}

TEST(GDBDeathTest, BadColumnFormatExitsWithStatusZero) {
    TempDir dir;
    writeFile(dir.file("e.tab"), "VARS A B\nFORMAT %5d %e\n1 2\n");
    EXPECT_EXIT(GDB(dir.file("e.tab")), ::testing::ExitedWithCode(0), "^\tBad format syntax '%e'\n$");
    writeFile(dir.file("lf.tab"), "VARS A B\r\nFORMAT %5.2lf %d\r\n");
    EXPECT_EXIT(GDB(dir.file("lf.tab")), ::testing::ExitedWithCode(0), "^\tBad format syntax '%5.2lf '\n$");
    // a '%' count differing from the column count drops the formats without exiting; rows are still read
    writeFile(dir.file("n.tab"), "VARS X Y Z\nFORMAT %d %d\n1 2 3\n");
    EXPECT_EXIT({ GDB t(dir.file("n.tab")); std::exit(t.FORMAT.empty() && t.getEntryCount() == 1 ? 3 : 1); },
                ::testing::ExitedWithCode(3), "");
}

TEST(GDB, CheckFormat) {
    for (const char* ok : {"%4d", "%-4s", "%9.3f", "%.3f", " %5d  ", "%08d"}) EXPECT_TRUE(GDB::checkFormat(ok)) << ok;
    for (const char* bad : {"%e", "%5.2lf", "%i", "", "5d", "%%d", "%4d%", "%ds", "%+5d", "%5d s", "%c"})
        EXPECT_FALSE(GDB::checkFormat(bad)) << bad;
    // the helpers the format parser and the other readers rely on
    EXPECT_EQ(GDB::simplifyWhiteSpace(" \t a \r\n b\v\fc  "), "a b c");
    EXPECT_EQ(GDB::split_WhiteSpace(""), StringList{""});
    EXPECT_EQ(GDB::split_WhiteSpace("  a\tbb  c \r"), (StringList{"a", "bb", "c"}));
    EXPECT_EQ(GDB::split("::", "a::b:::c"), (StringList{"a", "b", ":c"}));
    std::string buffer;
    EXPECT_EQ(GDB::section("a,b,,c,d", ',', buffer, 1, 2) + GDB::section("a,b,c", ',', buffer, 1, 9), "b,cb,c");
}

TEST(GDB, SaveWritesTableAndReadsBack) {
    TempDir dir;
    GDB t;
    t.addRemark("built in memory");
    t.setData("FIRST_RESID", "5");
    const std::string seq = "MQIFVKTLTGKTITLEVEPSDTIENVKAKIQDKEGIPPDQQRLIFAGKQLEDGRTLSDYNIQKESTLHLVLRLRGG";
    t.setData("SEQUENCE", seq.substr(0, 30) + "  " + seq.substr(30));
    t.addVAR("RESID", "%4d ");
    t.addVAR("RESNAME", "%4s ");
    t.addVAR("D", "%8.3f");
    t.addEntry("RESID", "7.9");  // "%d" of 7.9 prints 7
    t.setEntry(1, "RESNAME", "ALA");
    t.setEntry(1, "D", "-1.23456");
    t.addEntry("REMARK", "short row");  // another cell count: written as a comment
    t.saveGDB(dir.file("out.tab"));
    EXPECT_TRUE(testutil::sameLines("REMARK built in memory\n\nDATA FIRST_RESID 5\n"
                                    "DATA SEQUENCE MQIFVKTLTGKTITLEVEPSDTIENVKAKI QDKEGIPPDQQRLIFAGKQLEDGR\n"
                                    "DATA SEQUENCE TLSDYNIQKESTLHLVLRLRGG\nVARS   RESID RESNAME D \n"
                                    "FORMAT %4d %4s %8.3f\n   7  ALA   -1.235\n# short row\n",
                                    testutil::readFile(dir.file("out.tab"))));
    GDB back(dir.file("out.tab"));
    EXPECT_EQ(back.FORMAT, t.FORMAT);
    ASSERT_EQ(back.residList.size(), seq.size());
    EXPECT_EQ(back.getResidName(5) + back.getResidName(80), "MG");
    EXPECT_EQ(back.getEntryCount(), 2);  // "# short row" has three words: a row again

    testing::internal::CaptureStderr();
    t.addVAR("A B", "%d");
    t.addVAR("A", "%e");
    t.setVAR(4, "B", "%d");
    t.saveGDB("/nonexistent/out.tab");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\tInvalid varible name 'A B' (with space)\n\tBad format syntax '%e'\n"
              "\tPlease use number 1-3 as index for varible 'B' with format '%d'\n"
              "\tCan't save file /nonexistent/out.tab\n");
}

// Column formats read in one pass: the same formats as cutting piece i+1 of the '%' split for
// every column, with any spacing, and for tens of thousands of columns.
TEST(GDB, FormatPiecesOfWideAndOddLines) {
    auto formatsByPiece = [](const std::string& text, int columns) {
        std::map<int, std::string> out;
        std::string piece;
        for (int i = 0; i < columns; i++) out[i] = "%" + GDB::section(" " + text, '%', piece, i + 1, i + 1);
        return out;
    };
    for (const std::string text : {"%5d %6s %9.3f", "%5d%6s%9.3f", "  %5d   %6s %9.3f  ", "%5d\t%6s\t%9.3f"}) {
        GDB t;
        t.VARS_str_parser("A B C");
        t.FORMAT_str_parser(text);
        EXPECT_EQ(t.FORMAT, formatsByPiece(text, 3)) << text;
    }
    std::string names, text;
    for (int k = 0; k < 20000; k++) {
        names += " C" + std::to_string(k);
        text += k % 2 ? " %9.3f" : " %-4s";
    }
    GDB t;
    t.VARS_str_parser(names);
    t.FORMAT_str_parser(text);
    ASSERT_EQ(t.FORMAT.size(), 20000u);
    EXPECT_EQ(t.FORMAT[0], "%-4s ");
    EXPECT_EQ(t.FORMAT[19998], "%-4s ");
    EXPECT_EQ(t.FORMAT[19999], "%9.3f");
    EXPECT_TRUE(t.isVarFloat(12345) && t.isVarString(12344));
}

// DATA FIRST_RESID at the top of the int range: letters that would pass it have no residue.
TEST(GDB, SequenceNumberedUpToTheLargestInt) {
    TempDir dir;
    GDB t = loadText(dir, "DATA FIRST_RESID 2147483646\nDATA SEQUENCE MKVL\n");
    EXPECT_EQ(t.firstResID, 2147483646);
    EXPECT_EQ(t.residList, (std::map<int, std::string>{{2147483646, "M"}, {2147483647, "K"}}));
    GDB low = loadText(dir, "DATA FIRST_RESID -2147483648\nDATA SEQUENCE MK\n", "low.tab");
    EXPECT_EQ(low.residList, (std::map<int, std::string>{{-2147483647 - 1, "M"}, {-2147483647, "K"}}));
}

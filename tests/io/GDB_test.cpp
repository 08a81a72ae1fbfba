// Table files: the line grammar's edge cases, the column-format check and its fatal exit,
// the queries, the writer (round trip) and the text helpers.
#include "io/GDB.h"

#include <gtest/gtest.h>

#include "common/TestUtil.h"

using testutil::TempDir;
using testutil::readFile;
using testutil::writeFile;

namespace {

GDB loadText(const TempDir& dir, const std::string& text, const std::string& name = "t.tab") {
    writeFile(dir.file(name), text);
    return GDB(dir.file(name));
}

const char* kTable =
    "REMARK First remark\n"
    "REMARK\n"
    "REMARK \n"
    "DATA SEQUENCE MKV\n"
    "DATA DA_REF   12.5\n"
    "VARS   RESID_I RESNAME_I ATOMNAME_I D\n"
    "FORMAT %5d %6s %6s %9.3f\n"
    "\n"
    "    2    GLN      N     -8.170\n"
    "this line has five words\n"
    "# a comment row\n"
    "    3    ILE      N      8.271\n";

}  // namespace

TEST(GDB, ReadsHeaderAndRows) {
    TempDir dir;
    GDB t = loadText(dir, kTable);
    EXPECT_EQ(t.GDBfileName, dir.file("t.tab"));
    // "REMARK" alone (6 characters) adds nothing; "REMARK " adds an empty remark.
    ASSERT_EQ(t.REMARKS.size(), 2u);
    EXPECT_EQ(t.REMARKS[0], "First remark");
    EXPECT_EQ(t.REMARKS[1], "");
    ASSERT_EQ(t.DATA.size(), 2u);
    EXPECT_EQ(t.DATA[0], "SEQUENCE MKV");
    EXPECT_EQ(t.DATA[1], "DA_REF 12.5");
    EXPECT_EQ(t.VARS_str, "RESID_I RESNAME_I ATOMNAME_I D");
    EXPECT_EQ(t.FORMAT_str, " %5d %6s %6s %9.3f");
    EXPECT_EQ(t.VarsNumber, 4);
    EXPECT_EQ(t.VARS.at(0), "RESID_I");
    EXPECT_EQ(t.VARS.at(3), "D");
    // each piece keeps the blanks up to the next '%'
    EXPECT_EQ(t.FORMAT.at(0), "%5d ");
    EXPECT_EQ(t.FORMAT.at(2), "%6s ");
    EXPECT_EQ(t.FORMAT.at(3), "%9.3f");

    // a "#" line with exactly four words is a row: there is no comment syntax
    ASSERT_EQ(t.getEntryCount(), 3);
    EXPECT_EQ(t.getEntry(1).at("RESID_I"), "2");
    EXPECT_EQ(t.getEntry(1).at("D"), "-8.170");
    EXPECT_EQ(t.getEntry(2).at("RESID_I"), "#");
    EXPECT_EQ(t.getEntry(2).at("D"), "row");
    EXPECT_EQ(t.getEntry(3).at("RESNAME_I"), "ILE");
    EXPECT_TRUE(t.getEntry(4).empty());
    EXPECT_TRUE(t.getEntry(0).empty());

    EXPECT_EQ(t.getTabVar("ATOMNAME_I"), 2);
    EXPECT_EQ(t.getTabVar("atomname_i"), -1);
    EXPECT_EQ(t.getTabVar("DD"), -1);
    EXPECT_EQ(t.getData("DA_REF"), " 12.5");
    EXPECT_EQ(t.getData("SEQUENCE"), " MKV");
    EXPECT_EQ(t.getData("NOPE"), "");

    EXPECT_TRUE(t.isVarInt(0));
    EXPECT_FALSE(t.isVarFloat(0));
    EXPECT_TRUE(t.isVarString("RESNAME_I"));
    EXPECT_TRUE(t.isVarFloat("D"));
    EXPECT_FALSE(t.isVarInt("D"));
    EXPECT_FALSE(t.isVarInt("NOPE"));
    EXPECT_FALSE(t.isVarString(7));

    EXPECT_EQ(t.firstResID, 1);
    EXPECT_EQ(t.getResidName(1), "M");
    EXPECT_EQ(t.getResidName(3), "V");
    EXPECT_EQ(t.getResidName(4), "");
}

TEST(GDB, RowLookupsByCellValue) {
    TempDir dir;
    GDB t = loadText(dir,
                     "VARS A B C\nFORMAT %d %s %f\n"
                     "1 N 1.0\n2 H 2.0\n1 H 3.0\n1 N 4.0\n");
    EXPECT_EQ(t.getEntry("A", "1", 1).at("C"), "1.0");
    EXPECT_EQ(t.getEntry("A", "1", 2).at("C"), "3.0");
    EXPECT_EQ(t.getEntry("A", "1", 3).at("C"), "4.0");
    EXPECT_TRUE(t.getEntry("A", "1", 4).empty());
    EXPECT_TRUE(t.getEntry("A", "1", 0).empty());
    EXPECT_TRUE(t.getEntry("A", "1", -1).empty());
    EXPECT_TRUE(t.getEntry("Z", "1", 1).empty());
    EXPECT_EQ(t.getEntry("A", "1", "B", "N", 2).at("C"), "4.0");
    EXPECT_EQ(t.getEntry("A", "1", "B", "H", 1).at("C"), "3.0");
    EXPECT_TRUE(t.getEntry("A", "2", "B", "N", 1).empty());
}

TEST(GDB, HeaderOrderEdgeCases) {
    TempDir dir;
    // FORMAT before VARS: the '%' count met VarsNumber = 0, so no column formats, but rows after
    // the VARS line are read.
    GDB a = loadText(dir, "1 2 3\nFORMAT %d %s %f\n1 2 3\nVARS X Y Z\n4 5 6\n7 8\n", "a.tab");
    EXPECT_TRUE(a.FORMAT.empty());
    ASSERT_EQ(a.getEntryCount(), 1);
    EXPECT_EQ(a.getEntry(1).at("X"), "4");
    EXPECT_FALSE(a.isVarInt("X"));
    EXPECT_FALSE(a.isVarFloat(2));

    // A second VARS line discards the rows read before it; numbering restarts at 1.
    GDB b = loadText(dir, "VARS X Y\nFORMAT %d %d\n1 2\n3 4\nVARS P Q\n5 6\n", "b.tab");
    ASSERT_EQ(b.getEntryCount(), 1);
    EXPECT_EQ(b.getEntry(1).at("P"), "5");
    EXPECT_EQ(b.getEntry(1).count("X"), 0u);

    // A '%' count that differs from the column count: no formats, rows still read by word count.
    GDB c = loadText(dir, "VARS X Y Z\nFORMAT %d %d\n1 2 3\n", "c.tab");
    EXPECT_TRUE(c.FORMAT.empty());
    EXPECT_EQ(c.getEntryCount(), 1);

    // Rows before FORMAT are ignored; keywords are case-sensitive whole first words.
    GDB d = loadText(dir,
                     "VARS X Y\n1 2\nremark not a remark\nREMARKS no\nDATAX 1\nFORMAT %d %d\n3 4\n"
                     "REMARK x\n",
                     "d.tab");
    EXPECT_EQ(d.getEntryCount(), 2);  // "3 4" and "REMARK x" (two words)
    EXPECT_EQ(d.getEntry(1).at("X"), "3");
    EXPECT_EQ(d.getEntry(2).at("X"), "REMARK");
    ASSERT_EQ(d.REMARKS.size(), 1u);
    EXPECT_EQ(d.REMARKS[0], "x");
    EXPECT_TRUE(d.DATA.empty());

    // White-space-only lines are not rows, even with one column; a last line without newline is read.
    GDB e = loadText(dir, "VARS X\nFORMAT %s\n   \t \nlast", "e.tab");
    ASSERT_EQ(e.getEntryCount(), 1);
    EXPECT_EQ(e.getEntry(1).at("X"), "last");
}

TEST(GDB, SequenceNumbering) {
    TempDir dir;
    GDB t = loadText(dir,
                     "DATA FIRST_RESID 10\n"
                     "DATA SEQUENCE MK\n"
                     "DATA SEQUENCE VZ*a ?chp\n"
                     "VARS A\nFORMAT %d\n");
    EXPECT_EQ(t.getData("SEQUENCE"), " MK VZ*a ?chp");
    EXPECT_EQ(t.firstResID, 10);
    const std::map<int, std::string> expected = {{10, "M"}, {11, "K"}, {12, "V"}, {13, "X"}, {14, "X"},
                                                 {15, "X"}, {16, "?"}, {17, "c"}, {18, "h"}, {19, "p"}};
    EXPECT_EQ(t.residList, expected);
    EXPECT_EQ(t.getResidName(12), "V");
    EXPECT_EQ(t.getResidName(9), "");
}

TEST(GDB, WindowsLineEndsReadLikeUnix) {
    TempDir dir;
    std::string crlf;
    for (char c : std::string(kTable)) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    GDB u = loadText(dir, kTable, "u.tab");
    GDB w = loadText(dir, crlf, "w.tab");
    EXPECT_EQ(w.REMARKS, u.REMARKS);
    EXPECT_EQ(w.DATA, u.DATA);
    EXPECT_EQ(w.VARS, u.VARS);
    EXPECT_EQ(w.FORMAT, u.FORMAT);
    EXPECT_EQ(w.FORMAT_str, u.FORMAT_str);
    EXPECT_EQ(w.Entries, u.Entries);
    EXPECT_EQ(w.residList, u.residList);
    EXPECT_EQ(w.getEntry(3).at("D"), "8.271");
}

TEST(GDB, MissingFileLeavesEmptyTable) {
    testing::internal::CaptureStderr();
    GDB t("/nonexistent/dir/none.tab");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\tCan't open file /nonexistent/dir/none.tab for reading\n");
    EXPECT_EQ(t.getEntryCount(), 0);
    EXPECT_EQ(t.VarsNumber, 0);
    EXPECT_EQ(t.firstResID, 1);
}

TEST(GDBDeathTest, BadColumnFormatExitsWithStatusZero) {
    TempDir dir;
    writeFile(dir.file("e.tab"), "VARS A B\nFORMAT %5d %e\n1 2\n");
    EXPECT_EXIT(GDB(dir.file("e.tab")), ::testing::ExitedWithCode(0), "^\tBad format syntax '%e'\n$");
    writeFile(dir.file("lf.tab"), "VARS A B\nFORMAT %5.2lf %d\n");
    EXPECT_EXIT(GDB(dir.file("lf.tab")), ::testing::ExitedWithCode(0), "^\tBad format syntax '%5.2lf '\n$");
    writeFile(dir.file("i.tab"), "VARS A\r\nFORMAT %i\r\n");
    EXPECT_EXIT(GDB(dir.file("i.tab")), ::testing::ExitedWithCode(0), "^\tBad format syntax '%i'\n$");
}

TEST(GDB, CheckFormat) {
    for (const char* ok : {"%4d", "%-4s", "%9.3f", "%.3f", "%d", "%s", " %5d  ", "%-10.4f", "%08d", "%4s\t"})
        EXPECT_TRUE(GDB::checkFormat(ok)) << ok;
    for (const char* bad : {"%e", "%5.2lf", "%i", "", "   ", "5d", "%%d", "%4d%", "%ds", "% 5d", "%+5d", "%5x",
                            "d%5", "%5d s", "%-8.3e", "%c"})
        EXPECT_FALSE(GDB::checkFormat(bad)) << bad;
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
    t.addEntry("RESID", "7");
    t.setEntry(1, "RESNAME", "ALA");
    t.setEntry(1, "D", "-1.23456");
    t.addEntry("REMARK", "short row");  // a row with another cell count is written as a comment
    t.setEntry(3, "RESID", "12.9");      // "%d" of 12.9 prints 12
    t.setEntry(3, "RESNAME", "GLY");
    t.setEntry(3, "D", "abc");            // unparsable number prints 0
    t.saveGDB(dir.file("out.tab"));

    const std::string expected =
        "REMARK built in memory\n"
        "\n"
        "DATA FIRST_RESID 5\n"
        "DATA SEQUENCE MQIFVKTLTGKTITLEVEPSDTIENVKAKI QDKEGIPPDQQRLIFAGKQLEDGR\n"
        "DATA SEQUENCE TLSDYNIQKESTLHLVLRLRGG\n"
        "VARS   RESID RESNAME D \n"
        "FORMAT %4d %4s %8.3f\n"
        "   7  ALA   -1.235\n"
        "# short row\n"
        "  12  GLY    0.000\n";
    EXPECT_TRUE(testutil::sameLines(expected, readFile(dir.file("out.tab"))));

    GDB back(dir.file("out.tab"));
    EXPECT_EQ(back.REMARKS, t.REMARKS);
    EXPECT_EQ(back.VARS, t.VARS);
    EXPECT_EQ(back.FORMAT, t.FORMAT);
    EXPECT_EQ(back.firstResID, 5);
    ASSERT_EQ(back.residList.size(), seq.size());
    for (size_t i = 0; i < seq.size(); i++) EXPECT_EQ(back.getResidName(5 + static_cast<int>(i)), seq.substr(i, 1));
    ASSERT_EQ(back.getEntryCount(), 3);  // "# short row" has three words: read back as a row
    EXPECT_EQ(back.getEntry(1).at("D"), "-1.235");
    EXPECT_EQ(back.getEntry(2).at("RESID"), "#");
    EXPECT_EQ(back.getEntry(3).at("RESNAME"), "GLY");

    // plain text: rows only
    t.set_plaintext();
    t.saveGDB(dir.file("plain.tab"));
    EXPECT_TRUE(testutil::sameLines("   7  ALA   -1.235\n# short row\n  12  GLY    0.000\n",
                                    readFile(dir.file("plain.tab"))));

    testing::internal::CaptureStderr();
    t.saveGDB("/nonexistent/dir/out.tab");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\tCan't save file /nonexistent/dir/out.tab\n");
}

TEST(GDB, BuildingChecksNamesAndFormats) {
    GDB t;
    testing::internal::CaptureStderr();
    t.addVAR("A B", "%d");
    t.addVAR("A", "%e");
    t.addVAR("A", "%3d");
    t.setVAR(2, "B", "%d");
    t.setVAR(1, "B", "%x");
    t.setVAR(1, "B", "%5s");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "\tInvalid varible name 'A B' (with space)\n"
              "\tBad format syntax '%e'\n"
              "\tPlease use number 1-1 as index for varible 'B' with format '%d'\n"
              "\tBad format syntax '%x'\n");
    EXPECT_EQ(t.VarsNumber, 1);
    EXPECT_EQ(t.VARS.at(0), "B");
    EXPECT_EQ(t.FORMAT.at(0), "%5s");

    GDB p;
    p.presetClass("QUAVIR_PRED");
    EXPECT_EQ(p.ClassType, "QUAVIR_PRED");
    EXPECT_EQ(p.VarsNumber, 9);
    EXPECT_EQ(p.VARS.at(8), "SOURCE");
    EXPECT_EQ(p.FORMAT.at(5), "%-4s ");
    EXPECT_EQ(p.FORMAT.at(8), "%s");
    GDB s;
    s.presetClass("QUAVIR_SHIFT");
    EXPECT_EQ(s.VARS_str, "RESID RESNAME ATOMNAME SHIFT");
    EXPECT_EQ(s.FORMAT.at(2), "%4s  ");
    GDB n;
    n.presetClass("OTHER");
    EXPECT_EQ(n.ClassType, "");
    EXPECT_EQ(n.VarsNumber, 0);
}

TEST(GDB, TextHelpers) {
    EXPECT_EQ(GDB::simplifyWhiteSpace(" \t a \r\n b\v\fc  "), "a b c");
    EXPECT_EQ(GDB::simplifyWhiteSpace(" \t "), "");
    EXPECT_EQ(GDB::split_WhiteSpace(""), StringList{""});
    EXPECT_EQ(GDB::split_WhiteSpace("  a\tbb  c \r"), (StringList{"a", "bb", "c"}));
    EXPECT_EQ(GDB::split(",", ",a,,b,"), (StringList{"a", "b"}));
    EXPECT_EQ(GDB::split("::", "a::b:::c"), (StringList{"a", "b", ":c"}));
    EXPECT_EQ(GDB::split('|', "HB2|HB3"), (StringList{"HB2", "HB3"}));
    EXPECT_TRUE(GDB::split('|', "").empty());

    std::string buffer;
    EXPECT_EQ(GDB::section("a,b,,c,d", ',', buffer, 1, 2), "b,c");
    EXPECT_EQ(buffer, "b,c");
    EXPECT_EQ(GDB::section("a,b,c", ',', buffer, 1, 9), "b,c");
    EXPECT_EQ(GDB::section("a,b,c", ',', buffer, 3, 4), "");
    EXPECT_EQ(GDB::section("a,b,c", ',', buffer, 2, 1), "");

    EXPECT_EQ(GDB::contains("aaaa", "aa"), 3);
    EXPECT_EQ(GDB::contains("abc", ""), 0);
    EXPECT_EQ(GDB::contains("%5d %6s", '%'), 2);
    EXPECT_TRUE(GDB::isDigit('7'));
    EXPECT_FALSE(GDB::isDigit('a'));
    EXPECT_TRUE(GDB::isSpace('\v'));
    EXPECT_FALSE(GDB::isSpace('_'));
    EXPECT_EQ(GDB::str_toupper("HisA+1"), "HISA+1");

    EXPECT_EQ(GDB::itoa(-42, buffer, 16), "-42");
    EXPECT_EQ(buffer, "-42");
    EXPECT_EQ(GDB::ftoa(3.14159, buffer, 'f', 2), "3.14");
    EXPECT_EQ(GDB::ftoa(31415.9, buffer, 'E', 3), "3.142E+04");
    EXPECT_EQ(GDB::ftoa(2.5, buffer, 'x', 1), "2.5");      // unknown letter -> f
    EXPECT_EQ(GDB::ftoa(2.5, buffer, 'f', -1), "2.500000");  // no precision given
    EXPECT_EQ(GDB::ftoa(1.0, buffer, 'f', 150).size(), 101u);  // precision capped at 99
}

// Damaged and hostile input run through the executable as a user runs it: exit status, both
// streams and the files left behind. No case may crash, hang, print a non-number as a fit or
// write over a file the run has read.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/TestUtil.h"

using testutil::readFile;
using testutil::runOrvex;
using testutil::TempDir;
using testutil::writeFile;

namespace {

const std::string kExamples = std::string(ORVEX_SOURCE_DIR) + "/examples/";
const std::string kPdb = kExamples + "2MJB_model1.pdb";
const std::string kTable = kExamples + "2mjb_set500_backbone.tab";

// A coupling table of N-H rows of ubiquitin (values of the backbone example), with `extra`
// appended as further rows.
std::string nhTable(const std::string& extra = "") {
    return "VARS   RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D W DD DI\n"
           "FORMAT %5d %6s %6s %5d %6s %6s %9.3f %6.2f %6.2f %9.2f\n"
           "    2    GLN      N     2    GLN      H    -8.170  1.00  0.50  0\n"
           "    3    ILE      N     3    ILE      H     8.271  1.00  0.50  0\n"
           "    4    PHE      N     4    PHE      H    10.489  1.00  0.50  0\n"
           "    5    VAL      N     5    VAL      H     9.871  1.00  0.50  0\n"
           "    6    LYS      N     6    LYS      H     9.152  1.00  0.50  0\n"
           "    7    THR      N     7    THR      H     3.700  1.00  0.50  0\n"
           "    8    LEU      N     8    LEU      H     6.461  1.00  0.50  0\n"
           "   11    LYS      N    11    LYS      H    -7.528  1.00  0.50  0\n"
           "   12    THR      N    12    THR      H     7.378  1.00  0.50  0\n"
           "   13    ILE      N    13    ILE      H     6.947  1.00  0.50  0\n" +
           extra;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int countOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) n++;
    return n;
}

// The printed fit has no non-number anywhere (nan, inf in any case).
bool hasNonNumber(const std::string& text) {
    for (const char* word : {"nan", "NaN", "NAN", "inf", "INF"})
        if (contains(text, word)) return true;
    return false;
}

}  // namespace

// A value that is not finite, or too large to be squared, leaves its coupling out with one
// warning naming the file and line; the fit of the remaining couplings is the clean table's fit.
TEST(HostileInputCli, NonFiniteCouplingValuesLeftOutWithOneWarning) {
    TempDir dir;
    writeFile(dir.file("clean.tab"), nhTable());
    const auto clean = runOrvex({"-pdb", kPdb, "-inD", "clean.tab", "-outD", "clean_out.tab", "-noJK"}, dir.path());
    ASSERT_EQ(clean.status, 1);
    const std::string cleanTable = readFile(dir.file("clean_out.tab"));
    ASSERT_FALSE(cleanTable.empty());

    struct Case {
        std::string row;
        std::string column;
    };
    const std::vector<Case> cases = {
        {"   14    THR      N    14    THR      H       nan  1.00  0.50  0\n", "D nan"},
        {"   14    THR      N    14    THR      H      -inf  1.00  0.50  0\n", "D -inf"},
        {"   14    THR      N    14    THR      H     1e308  1.00  0.50  0\n", "D 1e308"},
        {"   14    THR      N    14    THR      H     9.713   nan  0.50  0\n", "W nan"},
        {"   14    THR      N    14    THR      H     9.713 1e308  0.50  0\n", "W 1e308"},
        {"   14    THR      N    14    THR      H     9.713  1.00   inf  0\n", "DD inf"},
        {"   14    THR      N    14    THR      H     9.713  1.00 1e308  0\n", "DD 1e308"},
        {"   14    THR      N    14    THR      H     9.713  1.00  0.50  1e308\n", "DI 1e308"},
        {"   14    THR      N    14    THR      H     9.713  1.00  0.50  NaN\n", "DI NaN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        writeFile(dir.file("bad.tab"), nhTable(c.row));
        const auto r = runOrvex({"-pdb", kPdb, "-inD", "bad.tab", "-outD", "bad_out.tab", "-noJK"}, dir.path());
        EXPECT_EQ(r.status, 1);
        // the bad row is line 13 of the file (2 header lines, 10 rows before it)
        EXPECT_EQ(countOf(r.err, "DC Warning: bad.tab line 13: " + c.column + " is not a finite number"), 1) << r.err;
        EXPECT_EQ(countOf(r.err, "Warning"), 1) << r.err;
        EXPECT_TRUE(contains(r.err, "Loading DC file bad.tab, 10 couplings found")) << r.err;
        EXPECT_FALSE(hasNonNumber(r.out));
        // the result table is the clean table's, but for the input name
        std::string table = readFile(dir.file("bad_out.tab"));
        EXPECT_FALSE(hasNonNumber(table));
        for (size_t p = table.find("bad.tab"); p != std::string::npos; p = table.find("bad.tab"))
            table.replace(p, 7, "clean.tab");
        EXPECT_TRUE(testutil::sameLines(cleanTable, table));
    }
}

// A coordinate that is not a number leaves its atom out with one warning; the coupling that
// needed it is then not built, and the fit never sees a non-number.
TEST(HostileInputCli, NonFiniteCoordinateLeavesAtomOut) {
    TempDir dir;
    std::string pdb = readFile(kPdb);
    // the amide H of residue 4: x replaced by nan
    const size_t at = pdb.find("  H   PHE A   4");
    ASSERT_NE(at, std::string::npos);
    const size_t lineStart = pdb.rfind('\n', at) + 1;
    pdb.replace(lineStart + 30, 8, "     nan");
    int line = 1;
    for (size_t i = 0; i < lineStart; i++) line += pdb[i] == '\n';
    writeFile(dir.file("bad.pdb"), pdb);
    writeFile(dir.file("in.tab"), nhTable());
    const auto r = runOrvex({"-pdb", "bad.pdb", "-inD", "in.tab", "-outD", "out.tab", "-noJK"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(countOf(r.err, "PDB Warning: bad.pdb line " + std::to_string(line) + ": atom "), 1) << r.err;
    EXPECT_TRUE(contains(r.err, " H of residue 4 has coordinates nan ")) << r.err;
    EXPECT_TRUE(contains(r.err, "Building couplings ... 9 couplings validated")) << r.err;
    EXPECT_FALSE(hasNonNumber(r.out));
    EXPECT_FALSE(hasNonNumber(readFile(dir.file("out.tab"))));
}

// An output naming a file the run has read is refused with one error naming both; the table
// goes to standard output and the input stays byte for byte as it was, whatever the spelling.
TEST(HostileInputCli, OutputNeverWritesOverAnInput) {
    TempDir dir;
    writeFile(dir.file("in.tab"), nhTable());
    writeFile(dir.file("model.pdb"), readFile(kPdb));
    ASSERT_EQ(symlink("in.tab", dir.file("link.tab").c_str()), 0);
    const std::string tableBefore = readFile(dir.file("in.tab"));
    const std::string pdbBefore = readFile(dir.file("model.pdb"));
    struct Case {
        std::string out;
        std::string read;
    };
    for (const Case& c : std::vector<Case>{{"in.tab", "in.tab"},
                                           {"./in.tab", "in.tab"},
                                           {"link.tab", "in.tab"},
                                           {dir.file("in.tab"), "in.tab"},
                                           {"model.pdb", "model.pdb"}}) {
        SCOPED_TRACE(c.out);
        const auto r = runOrvex({"-pdb", "model.pdb", "-inD", "in.tab", "-outD", c.out, "-noJK"}, dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(countOf(r.err, "Error :: Output file " + c.out + " is the file " + c.read +
                                     " this run has read: not written over; the table goes to standard output.\n"),
                  1)
            << r.err;
        EXPECT_TRUE(contains(r.out, "VARS RESID_I")) << "the table on standard output";
        EXPECT_EQ(readFile(dir.file("in.tab")), tableBefore);
        EXPECT_EQ(readFile(dir.file("model.pdb")), pdbBefore);
    }
    // the plot: the error and no plot
    const auto r = runOrvex({"-pdb", "model.pdb", "-inD", "in.tab", "-outD", "out.tab", "-plot", "link.tab"},
                            dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(countOf(r.err, "Error :: Plot file link.tab is the file in.tab this run has read: not written over; "
                             "no plot written.\n"),
              1)
        << r.err;
    EXPECT_EQ(readFile(dir.file("in.tab")), tableBefore);
    EXPECT_FALSE(contains(r.err, "No plot written")) << "one message only";
    // a different file is written as always
    EXPECT_TRUE(contains(readFile(dir.file("out.tab")), "VARS RESID_I"));
}

// A directory given as an input file reads as a missing file: the same message and status.
TEST(HostileInputCli, DirectoryAsFileIsAMissingFile) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.file("folder.pdb").c_str(), 0755), 0);
    writeFile(dir.file("in.tab"), nhTable());
    writeFile(dir.file("model.pdb"), readFile(kPdb));
    struct Case {
        std::vector<std::string> args;
        std::string missing;   // the same command line with the directory replaced by a missing file
    };
    const std::vector<Case> cases = {
        {{"-pdb", "folder", "-inD", "in.tab", "-outD", "out.tab"}, "nothing"},
        {{"-pdb", "folder.pdb", "-inD", "in.tab", "-outD", "out.tab"}, "nothing.pdb"},
        {{"-pdb", "model.pdb", "-inD", "folder", "-outD", "out.tab"}, "nothing"},
        {{"-pdb", "model.pdb", "-inDs", "in.tab", "folder", "-orth"}, "nothing"},
        {{"-pdb", "model.pdb", "-inRCSA", "folder", "-rcsa"}, "nothing"},
    };
    auto masked = [](std::string text, const std::string& name) {
        for (size_t p = text.find(name); p != std::string::npos; p = text.find(name, p + 1)) text.replace(p, name.size(), "@");
        const size_t t = text.find("Running time (main):");
        if (t != std::string::npos) text = text.substr(0, t);
        return text;
    };
    for (const Case& c : cases) {
        std::vector<std::string> missingArgs = c.args;
        std::string name;
        for (auto& a : missingArgs)
            if (a.rfind("folder", 0) == 0) name = a, a = c.missing;
        SCOPED_TRACE(name);
        const auto asDirectory = runOrvex(c.args, dir.path());
        const auto asMissing = runOrvex(missingArgs, dir.path());
        EXPECT_TRUE(contains(asDirectory.err, "Can't open file " + name + " for reading")) << asDirectory.err;
        EXPECT_EQ(asDirectory.status, asMissing.status);
        EXPECT_EQ(masked(asDirectory.err, name), masked(asMissing.err, c.missing));
        EXPECT_EQ(masked(asDirectory.out, name), masked(asMissing.out, c.missing));
    }
}

// Residue numbers at the ends of the int range and selections spanning it: well defined, and
// costing what the couplings cost (a run that allocated per residue would not finish).
TEST(HostileInputCli, ExtremeResidueNumbersAndSelections) {
    TempDir dir;
    const std::string extremes = "2147483647 ALA N 2147483647 ALA H 5.0 1.00 0.50 0\n"
                                 "-2147483648 ALA C 2147483647 ALA H 5.0 1.00 0.50 0\n"
                                 "20000000 ALA N 20000000 ALA H 5.0 1.00 0.50 0\n";
    writeFile(dir.file("in.tab"), "DATA FIRST_RESID 2147483647\nDATA SEQUENCE MQIF\n" + nhTable(extremes));
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, std::vector<std::string>{"-select", "1", "2147483647"},
          std::vector<std::string>{"-select", "-2147483648", "2147483647", "-select_valid", "2", "20000000"},
          std::vector<std::string>{"-JK_level", "C"}, std::vector<std::string>{"-shapeTensor"}}) {
        std::vector<std::string> args = {"-pdb", kPdb, "-inD", "in.tab", "-outD", "out.tab"};
        args.insert(args.end(), extra.begin(), extra.end());
        SCOPED_TRACE(extra.empty() ? "" : extra[0]);
        const auto r = runOrvex(args, dir.path());
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(contains(r.err, "Loading DC file in.tab, 13 couplings found")) << r.err;
        EXPECT_FALSE(hasNonNumber(r.out));
    }
}

// Couplings generated from a structure follow its residue numbering: a number the structure
// lacks gets a coupling without atoms, announced when built; a numbering that leaves more than a
// million numbers empty (a residue numbered 1999999999) generates for the residues present only.
TEST(HostileInputCli, GeneratedCouplingsOverAGapInTheNumbering) {
    TempDir dir;
    std::string gapped;   // residues 30 to 35 missing
    for (const std::string& line : testutil::splitLines(readFile(kPdb))) {
        const int residue = line.compare(0, 4, "ATOM") == 0 && line.size() > 26 ? std::stoi(line.substr(22, 4)) : 0;
        if (residue < 30 || residue > 35) gapped += line + "\n";
    }
    writeFile(dir.file("gapped.pdb"), gapped);
    const std::vector<std::string> generate = {"-fixed", "-da", "1e-4", "-rh", "0.3", "-rx", "1", "-ry", "2",
                                               "-rz", "3", "-classHN,N", "-outD", "out.tab"};
    std::vector<std::string> args = {"-pdb", "gapped.pdb"};
    args.insert(args.end(), generate.begin(), generate.end());
    auto r = runOrvex(args, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "73 couplings generated ... \n")) << r.err;   // 76 residues, 3 prolines
    for (int residue = 30; residue <= 35; residue++)
        EXPECT_TRUE(contains(r.err, "(PDB ResID " + std::to_string(residue) + " " + std::to_string(residue) + ")"))
            << residue;

    // a few residues of ubiquitin model 1 in mmCIF, the last numbered 1999999999
    args[1] = std::string(ORVEX_TEST_DATA) + "/io/residue_span_2e9.cif";
    r = runOrvex(args, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "DC Warning: residues 1 to 1999999999 of the structure leave")) << r.err;
    EXPECT_FALSE(contains(r.err, "(PDB ResID 30 30)")) << r.err;
}

// A FORMAT line of many columns reads as a short one does: the same columns and formats.
TEST(HostileInputCli, WideTableReads) {
    TempDir dir;
    std::string vars = "VARS   RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D";
    std::string format = "FORMAT %5d %6s %6s %5d %6s %6s %9.3f";
    std::string tail;
    for (int k = 0; k < 20000; k++) {
        vars += " X" + std::to_string(k);
        format += " %d";
        tail += " 0";
    }
    std::string table = vars + "\n" + format + "\n";
    table += "    2    GLN      N     2    GLN      H    -8.170" + tail + "\n";
    table += "    3    ILE      N     3    ILE      H     8.271" + tail + "\n";
    writeFile(dir.file("wide.tab"), table);
    const auto r = runOrvex({"-pdb", kPdb, "-inD", "wide.tab", "-outD", "out.tab"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "Loading DC file wide.tab, 2 couplings found")) << r.err.substr(0, 500);
}

// Options no part of the program reads: one warning each naming the closest known option;
// the run is otherwise the run without them.
TEST(HostileInputCli, UnknownOptionsWarnedWithClosestName) {
    TempDir dir;
    writeFile(dir.file("in.tab"), nhTable());
    const std::vector<std::string> base = {"-pdb", kPdb, "-inD", "in.tab", "-outD", "out.tab", "-noJK"};
    const auto plain = runOrvex(base, dir.path());
    const std::string plainTable = readFile(dir.file("out.tab"));
    struct Case {
        std::string option;
        std::string closest;
    };
    for (const Case& c : std::vector<Case>{{"-nojk", "-noJK"}, {"--help", "-help"}, {"-frobnicate", ""}}) {
        SCOPED_TRACE(c.option);
        std::vector<std::string> args = base;
        args.push_back(c.option);
        const auto r = runOrvex(args, dir.path());
        EXPECT_EQ(r.status, plain.status);
        const std::string line = "Warning :: Unknown option " + c.option + " is ignored; did you mean ";
        EXPECT_EQ(countOf(r.err, line), 1) << r.err;
        if (!c.closest.empty()) {
            EXPECT_TRUE(contains(r.err, line + c.closest + "?\n")) << r.err;
        }
        EXPECT_EQ(countOf(r.err, "Warning"), 1) << r.err;
        EXPECT_EQ(readFile(dir.file("out.tab")), plainTable);
    }
    // known options, the mode keys and the extensions are silent
    std::vector<std::string> args = base;
    for (const char* o : {"-verb", "-keepDD", "-seed", "7", "-nodetail", "-noclip", "-check", "-w12", "0.2"})
        args.push_back(o);
    const auto r = runOrvex(args, dir.path());
    EXPECT_FALSE(contains(r.err, "Unknown option")) << r.err;
}

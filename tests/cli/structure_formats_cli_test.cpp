// Structure files as PDBx/mmCIF and gzip through the executable: the bundled examples give the
// same results in every format (only the file names differ), and damaged files end the run as a
// missing one does.
#include <gtest/gtest.h>

#include "common/TestStructureFiles.h"
#include "common/TestUtil.h"

using testutil::RunResult;
using testutil::runOrvex;
using testutil::TempDir;

namespace {

const std::string kExamples = std::string(ORVEX_SOURCE_DIR) + "/examples/";

// `text` with every occurrence of `from` replaced by `to`, and the running time masked.
std::string normalised(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    const size_t time = text.find("Running time (main): ");
    if (time != std::string::npos) text.erase(time, text.find('\n', time) - time);
    return text;
}

}  // namespace

TEST(StructureFormats, ExamplesGiveTheSameResultsAsPdbMmcifAndGzip) {
    const struct {
        const char* structure;
        const char* table;
    } runs[] = {{"2MJB", "2mjb_set500_backbone.tab"}, {"2MJB_model1", "ubq_bicelle_cornilescu2000_nh.tab"}};
    for (const auto& run : runs) {
        TempDir dir;
        const std::string pdb = std::string(run.structure) + ".pdb";
        testutil::writeFile(dir.file(pdb), testutil::readFile(kExamples + pdb));
        teststructure::convertToMmcif(dir.file(pdb), dir.file("s.cif"));
        teststructure::writeGzip(dir.file("s.cif.gz"), testutil::readFile(dir.file("s.cif")));
        teststructure::writeGzip(dir.file("s.pdb.gz"), testutil::readFile(dir.file(pdb)));
        const std::string table = kExamples + run.table;

        const RunResult ref = runOrvex({"-pdb", pdb, "-inD", table, "-outD", "ref.tab"}, dir.path());
        ASSERT_EQ(ref.status, 1);
        const std::string refTable = testutil::readFile(dir.file("ref.tab"));
        ASSERT_NE(refTable.find("DATA Da_HN"), std::string::npos);
        const char* loading = std::string(run.structure) == "2MJB" ? ", residues 1 to 76 conformer #20, atom #"
                                                                   : ", residues 1 to 76 conformer #1, atom #";
        EXPECT_NE(ref.err.find("Loading PDB file " + pdb + loading + "1232\n"), std::string::npos);
        for (const std::string other : {"s.cif", "s.cif.gz", "s.pdb.gz"}) {
            const RunResult r = runOrvex({"-pdb", other, "-inD", table, "-outD", "other.tab"}, dir.path());
            EXPECT_EQ(r.status, 1) << other;
            // every value equal; the structure's name in the titles aside
            EXPECT_EQ(normalised(testutil::readFile(dir.file("other.tab")), other, pdb), refTable) << other;
            EXPECT_EQ(normalised(r.out, other, pdb), normalised(ref.out, pdb, pdb)) << other;
            // the announcement: the same residues and conformers; mmCIF has no padded TER record
            const std::string count = other == "s.pdb.gz" ? "1232\n" : "1231\n";
            const std::string err = normalised(r.err, "Loading PDB file " + other + loading + count,
                                               "Loading PDB file " + pdb + loading + "1232\n");
            EXPECT_EQ(normalised(err, other, pdb), ref.err) << other;
        }
    }
}

TEST(StructureFormats, DamagedFilesEndTheRunAsAMissingStructure) {
    TempDir dir;
    teststructure::convertToMmcif(kExamples + "2MJB_model1.pdb", dir.file("full.cif"));
    const std::string cif = testutil::readFile(dir.file("full.cif"));
    testutil::writeFile(dir.file("truncated.cif"), cif.substr(0, cif.size() * 2 / 3));
    testutil::writeFile(dir.file("garbage.pdb.gz"), std::string("\x1f\x8b\x08\x00", 4) + std::string(500, 'x'));
    testutil::writeFile(dir.file("cell_only.mmcif"), "data_cell\n_cell.length_a 10.0\n");
    const std::string table = kExamples + "2mjb_set500_backbone.tab";
    const RunResult missing = runOrvex({"-pdb", "missing.pdb", "-inD", table}, dir.path());
    for (const char* name : {"truncated.cif", "garbage.pdb.gz", "cell_only.mmcif"}) {
        const RunResult r = runOrvex({"-pdb", name, "-inD", table}, dir.path());
        EXPECT_EQ(r.status, missing.status) << name;
        EXPECT_EQ(r.out, "") << name;
        const std::string first = std::string("\tCan't open file ") + name + " for reading\n\t";
        EXPECT_NE(r.err.find(first), std::string::npos) << name << ": " << r.err;
        EXPECT_NE(r.err.find("No PDB structure loaded ...\n"), std::string::npos) << name;
        EXPECT_NE(r.err.find(std::string("Loading PDB file ") + name +
                             ", residues 9999 to -9999 conformer #0, atom #0\n"),
                  std::string::npos)
            << name;
    }
    EXPECT_EQ(missing.status, 0);
}

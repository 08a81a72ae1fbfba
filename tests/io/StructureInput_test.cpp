// Structure files in PDBx/mmCIF and gzip: the same atom model as from the PDB file, the mmCIF
// columns the model takes, how a file's format is told, and damaged files.
#include "io/StructureInput.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include <gtest/gtest.h>

#include "common/TestPdb.h"
#include "common/TestStructureFiles.h"
#include "common/TestUtil.h"
#include "io/PDB.h"

using testpdb::atom;
using testutil::TempDir;
using testutil::writeFile;

namespace {

// Every atom of every conformer, padded TER records left out, in a fixed order. (Serial numbers
// are left out: mmCIF files number the atoms of all models in one run.)
typedef std::tuple<int, int, std::string, std::string, std::string, std::string, float, float, float, float> AtomRow;
std::vector<AtomRow> atomsOf(const PDB& p) {
    std::vector<AtomRow> rows;
    for (const auto& kv : p.Conformers)
        p.forEachAtom(kv.first, [&rows](const CORdata& a) {
            if (!a.terRecord)
                rows.emplace_back(a.conformerIndex, a.resNum, a.atomName, a.resName, a.chainName, a.altLoc, a.X, a.Y,
                                  a.Z, a.Occupancy);
        });
    std::sort(rows.begin(), rows.end());
    return rows;
}

void expectSameModel(const PDB& pdb, const PDB& other, const std::string& what) {
    EXPECT_TRUE(other.isLoaded) << what;
    EXPECT_EQ(other.conformer_count, pdb.conformer_count) << what;
    EXPECT_EQ(other.r1, pdb.r1) << what;
    EXPECT_EQ(other.rN, pdb.rN) << what;
    EXPECT_EQ(other.residList, pdb.residList) << what;
    EXPECT_EQ(other.residListOne, pdb.residListOne) << what;
    EXPECT_EQ(other.residLists, pdb.residLists) << what;
    EXPECT_TRUE(atomsOf(other) == atomsOf(pdb)) << what;  // coordinates compared bit for bit
}

}  // namespace

// Two chains reusing residue numbers, alternate locations, a HETATM water, two models: the mmCIF
// twin pairs the same atoms.
TEST(StructureInput, ChainsAndAlternateLocationsAsInThePdbFile) {
    auto model = [](double shift) {
        return atom(1, " N", "ALA", 5, 1 + shift, 0, 0) + atom(2, " H", "ALA", 5, 2 + shift, 0, 0) +
               atom(3, " N", "ALA", 5, 3 + shift, 0, 0, 1.0, ' ', 'B') +
               atom(4, " H", "ALA", 5, 4 + shift, 0, 0, 1.0, ' ', 'B') +
               atom(5, " N", "SER", 6, 5 + shift, 0, 0, 0.6, 'A') + atom(6, " N", "SER", 6, 6 + shift, 0, 0, 0.4, 'B') +
               atom(7, " H", "SER", 6, 7 + shift, 0, 0, 0.6, 'A') + atom(8, " H", "SER", 6, 8 + shift, 0, 0, 0.4, 'B') +
               atom(9, "1HB", "SER", 6, 9 + shift, 1, 0) +
               "HETATM   10  O   HOH A 101      30.000  30.000  30.000  1.00 20.00           O\n";
    };
    TempDir dir;
    writeFile(dir.file("t.pdb"), testpdb::model(1) + model(0) + testpdb::endModel() + testpdb::model(2) +
                                     model(10) + testpdb::endModel() + "END\n");
    teststructure::convertToMmcif(dir.file("t.pdb"), dir.file("t.cif"));
    const PDB pdb(dir.file("t.pdb")), cif(dir.file("t.cif"));
    expectSameModel(pdb, cif, "t.cif");
    EXPECT_EQ(cif.rN, 6);  // the water is no ATOM record
    for (const char* chain : {"A", "B", "_"}) {
        std::vector<CORdata> I1, J1, I2, J2;
        for (int res : {5, 6}) {
            EXPECT_EQ(pdb.getVectorEntries(I1, J1, res, "N", res, "HN", chain),
                      cif.getVectorEntries(I2, J2, res, "N", res, "HN", chain));
        }
        ASSERT_EQ(I1.size(), I2.size()) << chain;
        for (size_t k = 0; k < I1.size(); k++) {
            EXPECT_EQ(I1[k].X, I2[k].X);
            EXPECT_EQ(J1[k].X, J2[k].X);
            EXPECT_EQ(J1[k].Occupancy, J2[k].Occupancy);
        }
    }
    std::vector<CORdata> I, J;
    EXPECT_EQ(cif.getVectorEntries(I, J, 6, "N", 6, "HN", "_"), 4);  // A and B in two models
    EXPECT_EQ(cif.getEntry(2, 6, "HB1").X, 19.0f);
}

// What the model takes from _atom_site: author names and numbers before label ones, chains of
// several characters, group_PDB, quoted names, model numbers; missing columns.
TEST(StructureInput, MmcifAtomSiteColumns) {
    const std::string text =
        "data_test\n#\nloop_\n_atom_site.group_PDB\n_atom_site.id\n_atom_site.label_atom_id\n"
        "_atom_site.auth_atom_id\n_atom_site.label_alt_id\n_atom_site.label_comp_id\n_atom_site.label_asym_id\n"
        "_atom_site.auth_asym_id\n_atom_site.label_seq_id\n_atom_site.auth_seq_id\n_atom_site.Cartn_x\n"
        "_atom_site.Cartn_y\n_atom_site.Cartn_z\n_atom_site.occupancy\n_atom_site.B_iso_or_equiv\n"
        "_atom_site.pdbx_PDB_model_num\n"
        "ATOM 1 N N . ALA A AA 1 10 1.5 0 0 1.00 5.0 3\n"
        "ATOM 2 XX H . ALA A AA 1 10 2.5 0 0 1.00 5.0 3\n"
        "ATOM 3 HB1 1HB A ALA A AA 1 10 3.5 0 0 0.6 5.0 3\n"
        "ATOM 4 HB1 1HB B ALA A AA 1 10 4.5 0 0 0.4 5.0 3\n"
        "ATOM 5 N N . GLY B AB 1 10 5.5 0 0 1.00 5.0 3\n"
        "ATOM 6 H H . GLY B AB 1 10 6.5 0 0 1.00 5.0 3\n"
        "ATOM 7 \"H5''\" \"H5''\" . A C AC 1 11 7.5 0 0 ? ? 3\n"
        "HETATM 8 ZN ZN . ZN D AD . 99 8.5 0 0 1.00 5.0 3\n"
        "ATOM 1 N N . ALA A AA 1 10 -1.5 0 0 1.00 5.0 7\n";
    TempDir dir;
    writeFile(dir.file("t.cif"), text);
    const PDB p(dir.file("t.cif"));
    ASSERT_TRUE(p.isLoaded);
    EXPECT_EQ(p.conformer_count, 2);
    EXPECT_EQ(p.getEntry(7, 10, "N").X, -1.5f);
    EXPECT_EQ(p.r1 * 100 + p.rN, 1011);  // HETATM 99 does not widen the range
    std::vector<CORdata> I, J;
    EXPECT_EQ(p.getVectorEntries(I, J, 10, "N", 10, "HN", "AA"), 1);  // auth_atom_id H, read as HN
    EXPECT_EQ(J.back().X, 2.5f);
    EXPECT_EQ(p.getEntry(3, 10, "HB1", "B").Occupancy, 0.4f);
    EXPECT_EQ(p.getEntry(3, 10, "HB1").altLoc, "A");
    EXPECT_EQ(p.getEntry(3, 11, "H5''").resName + p.getEntry(3, 11, "H5''").chainName, "AAC");
    EXPECT_EQ(p.getEntry(3, 11, "H5''").Occupancy + p.getEntry(3, 11, "H5''").B_Factor, 2.0f);  // absent: 1
    EXPECT_EQ(p.getVectorEntries(I, J, 10, "N", 10, "HN", "AB"), 1);
    EXPECT_EQ(J.back().X, 6.5f);
    EXPECT_EQ(p.getVectorEntries(I, J, 10, "N", 10, "HN", "A"), 0);  // no chain "A"
    // without a chain the atoms read last (chain AB) answer; conformer 7 has no HN
    EXPECT_EQ(p.getVectorEntries(I, J, 10, "N", 10, "HN", "_"), 1);
    EXPECT_EQ(J.back().chainName, "AB");
    EXPECT_EQ(p.residList.at(10) + p.residList.at(99), "ALAZN");  // over all conformers, last write wins
    EXPECT_EQ(p.atomCount(3), 6);

    // the fewest columns: conformer 1, standard residues are ATOM records, the rest HETATM
    writeFile(dir.file("min.cif"), "data_min\nloop_\n_atom_site.Cartn_x\n_atom_site.Cartn_y\n_atom_site.Cartn_z\n"
                                   "_atom_site.label_atom_id\n_atom_site.label_comp_id\n_atom_site.label_seq_id\n"
                                   "1 2 3 CA GLY 4\n4 5 6 O HOH 50\n");
    const PDB m(dir.file("min.cif"));
    EXPECT_EQ(m.conformer_count, 1);
    EXPECT_EQ(m.r1 * 10 + m.rN, 44);
    EXPECT_EQ(m.getEntry(1, 50, "O").Z, 6.0f);
    EXPECT_EQ(m.getEntry(1, 4, "CA").Occupancy, 1.0f);
}

TEST(StructureInput, FormatFromNameOrContent) {
    TempDir dir;
    for (const char* name : {"a.pdb", "a.PDB", "a.ent", "missing_without_extension"})
        EXPECT_EQ(structureFormat(dir.file(name)), StructureFormat::FixedColumns) << name;
    for (const char* name : {"a.pdb.gz", "a.ent.GZ"})
        EXPECT_EQ(structureFormat(dir.file(name)), StructureFormat::GzipFixedColumns) << name;
    for (const char* name : {"a.cif", "a.mmCIF", "a.cif.gz", "a.mmcif.gz"})
        EXPECT_EQ(structureFormat(dir.file(name)), StructureFormat::Mmcif) << name;
    const std::string cif = "# written by hand\n\n  DATA_x\nloop_\n";
    const std::string pdbText = atom(1, " N", "ALA", 1, 0, 0, 0);
    writeFile(dir.file("cif_text"), cif);
    teststructure::writeGzip(dir.file("cif_gzip"), cif);
    writeFile(dir.file("pdb_text"), pdbText);
    teststructure::writeGzip(dir.file("pdb_gzip"), pdbText);
    writeFile(dir.file("named.pdb"), cif);  // the name decides
    EXPECT_EQ(structureFormat(dir.file("cif_text")), StructureFormat::Mmcif);
    EXPECT_EQ(structureFormat(dir.file("cif_gzip")), StructureFormat::Mmcif);
    EXPECT_EQ(structureFormat(dir.file("pdb_text")), StructureFormat::FixedColumns);
    EXPECT_EQ(structureFormat(dir.file("pdb_gzip")), StructureFormat::GzipFixedColumns);
    EXPECT_EQ(structureFormat(dir.file("named.pdb")), StructureFormat::FixedColumns);
    EXPECT_EQ(PDB(dir.file("pdb_gzip")).getEntry(1, 1, "N").atomNum, 1);
    const PDB named(dir.file("named.pdb"));  // read as a PDB file: no atoms, as ever
    EXPECT_TRUE(named.isLoaded && named.conformer_count == 0);
}

// A damaged or foreign file is reported as one that cannot be opened, with the reason, and leaves
// no atoms behind. (A cut mmCIF file, a file without atoms and a damaged gzip stream as a run
// meets them: StructureFormats.)
TEST(StructureInput, DamagedFilesAreNotRead) {
    TempDir dir;
    const std::string pdbPath = std::string(ORVEX_SOURCE_DIR) + "/examples/2MJB_model1.pdb";
    const std::string pdbText = testutil::readFile(pdbPath);
    teststructure::writeGzip(dir.file("good.pdb.gz"), pdbText);
    std::string gz = testutil::readFile(dir.file("good.pdb.gz"));
    std::string garbled = gz;
    for (size_t i = 100; i < 400; i++) garbled[i] = static_cast<char>(i * 37);

    const struct {
        const char* name;
        std::string bytes;
        const char* reason;  // the start of the second message line
    } cases[] = {
        {"cut_in_a_quote.cif", "data_x\nloop_\n_atom_site.Cartn_x\n_atom_site.Cartn_y\n_atom_site.Cartn_z\n1 2 'x\n",
         "\tmmCIF: "},
        {"not_cif.cif", "HELLO\n", "\tmmCIF: "},
        {"empty.cif", "", "\tmmCIF: no atom table"},
        {"garbled.pdb.gz", garbled, "\tgzip: "},
        {"garbled.cif.gz", garbled, "\tgzip: "},
        {"cut.pdb.gz", gz.substr(0, gz.size() / 2), "\tgzip: "},
    };
    for (const auto& c : cases) {
        writeFile(dir.file(c.name), c.bytes);
        PDB p(pdbPath);  // a loaded model, to see that a failed load empties it
        testing::internal::CaptureStderr();
        EXPECT_FALSE(p.loadPDB(dir.file(c.name))) << c.name;
        const std::string err = testing::internal::GetCapturedStderr();
        const std::string first = "\tCan't open file " + dir.file(c.name) + " for reading\n";
        EXPECT_EQ(err.substr(0, first.size()), first) << c.name;
        EXPECT_EQ(err.substr(std::min(first.size(), err.size()), std::strlen(c.reason)), c.reason) << c.name << ": " << err;
        EXPECT_TRUE(p.isNull() && p.Conformers.empty() && p.ATOMS.empty() && p.residList.empty()) << c.name;
        EXPECT_EQ(p.r1 * 10000 + p.rN, 9999 * 10000 - 9999) << c.name;
    }
    // a missing compressed file
    testing::internal::CaptureStderr();
    EXPECT_FALSE(PDB().loadPDB(dir.file("missing.cif.gz")));
    EXPECT_EQ(testing::internal::GetCapturedStderr().substr(0, 17), "\tCan't open file ");
}

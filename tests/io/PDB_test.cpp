// Structure files: models, atom-name normalisation, alternate locations, chain filter,
// methylene and methyl pseudo-atoms, disulfide marking, short and malformed lines, geometry.
#include "io/PDB.h"

#include <cmath>
#include <gtest/gtest.h>

#include "common/TestPdb.h"
#include "common/TestUtil.h"

using testpdb::atom;
using testutil::TempDir;

namespace {

const double kDeg = 3.14159265358979323846 / 180.0;

PDB loadText(const TempDir& dir, const std::string& text) {
    testutil::writeFile(dir.file("t.pdb"), text);
    return PDB(dir.file("t.pdb"));
}

std::string twoModels(const std::string& m) { return "MODEL 1\n" + m + "ENDMDL\nMODEL 2\n" + m + "ENDMDL\n"; }

// An atom at x = serial.
std::string at(int serial, const char* name, int res, char alt = ' ', char chain = 'A') {
    return atom(serial, name, "ALA", res, serial, 0, 0, 1, alt, chain);
}

std::vector<int> keysOf(const Mols& m) {
    std::vector<int> k;
    for (const auto& kv : m) k.push_back(kv.first);
    return k;
}

}  // namespace

TEST(PDB, ModelNumbering) {
    TempDir dir;
    const std::string res1 = atom(1, " N", "GLY", 1, 0, 0, 0) + atom(2, " CA", "GLY", 1, 1.46, 0, 0);
    // serials 1 and 2; END after the last ENDMDL makes no empty conformer
    PDB a = loadText(dir, twoModels(res1) + "END\n");
    EXPECT_EQ(keysOf(a.Conformers), (std::vector<int>{1, 2}));
    EXPECT_EQ(a.conformer_count, 2);
    // model numbers come from the MODEL records, gaps and all
    PDB b = loadText(dir, "MODEL        5\n" + res1 + "ENDMDL\nMODEL 9\n" + res1 + "ENDMDL\n");
    EXPECT_EQ(keysOf(b.Conformers), (std::vector<int>{5, 9}));
    // no MODEL record: conformer 1; END without MODEL starts the next conformer
    PDB c = loadText(dir, "REMARK x\n" + res1 + "END\n");
    EXPECT_EQ(keysOf(c.Conformers), (std::vector<int>{1}));
    PDB e = loadText(dir, res1 + "TER\nEND\n" + res1);
    EXPECT_EQ(keysOf(e.Conformers), (std::vector<int>{1, 2}));
}

// Models with the same atoms in the same order, and models that differ: each conformer's lookups
// answer with its own coordinates.
TEST(PDB, ModelsWithSameAndDifferentLayouts) {
    auto model = [](int n, const std::string& atoms) { return testpdb::model(n) + atoms + testpdb::endModel(); };
    auto residue = [](double x) {
        return atom(1, " N", "ALA", 5, x, 0, 0) + atom(2, " H", "ALA", 5, x + 1, 0, 0) + atom(3, " CA", "ALA", 5, x, 1, 0);
    };
    // model 3: other order, an extra atom; model 4: as model 3, one serial repeated
    const std::string m3 = atom(3, " CA", "ALA", 5, 30, 1, 0) + atom(1, " N", "ALA", 5, 30, 0, 0) +
                           atom(2, " H", "ALA", 5, 31, 0, 0) + atom(4, " CB", "ALA", 5, 30, 2, 0);
    const std::string m4 = atom(3, " CA", "ALA", 5, 40, 1, 0) + atom(1, " N", "ALA", 5, 40, 0, 0) +
                           atom(2, " H", "ALA", 5, 41, 0, 0) + atom(2, " CB", "ALA", 5, 40, 2, 0);
    TempDir dir;
    PDB p = loadText(dir, model(1, residue(10)) + model(2, residue(20)) + model(3, m3) + model(4, m4) + "END\n");
    for (int conf = 1; conf <= 4; conf++) {
        EXPECT_DOUBLE_EQ(p.getEntry(conf, 5, "N").Coord[0], 10.0 * conf) << conf;
        EXPECT_DOUBLE_EQ(p.getEntry(conf, 5, "CA").Coord[1], 1.0) << conf;
        EXPECT_EQ(p.getEntry(conf, 3).atomName, "CA") << conf;
    }
    EXPECT_EQ(p.getEntry(2, 5, "CB").atomIndex, 0);
    EXPECT_DOUBLE_EQ(p.getEntry(3, 5, "CB").Coord[1], 2.0);
    std::vector<CORdata> I, J;
    ASSERT_EQ(p.getVectorEntries(I, J, 5, "N", 5, "HN", "_"), 4);
    for (int k = 0; k < 4; k++) EXPECT_DOUBLE_EQ(J[k].Coord[0] - I[k].Coord[0], 1.0) << k;
    EXPECT_EQ(p.atomCount(1) * 10 + p.atomCount(3), 34);
    // serial 2 comes twice in model 4: the later record (CB) answers by serial and replaces the
    // earlier one when the conformer is visited; both stay in the name index
    EXPECT_EQ(p.getEntry(4, 2).atomName, "CB");
    std::string visited;
    p.forEachAtom(4, [&visited](const CORdata& a) { visited += a.atomName + std::to_string(a.atomNum) + " "; });
    EXPECT_EQ(visited, "CA3 N1 CB2 ");
    EXPECT_EQ(p.getEntry(4, 5, "HN").atomNum + p.getEntry(4, 5, "CB").atomNum, 4);
}

// Padded 80-column records: ANISOU is no atom line, a padded TER is stored, a water HETATM is an
// atom.
TEST(PDB, RecordKindsAndFields) {
    PDB p(std::string(ORVEX_TEST_DATA) + "/io/two_models.pdb");
    EXPECT_EQ(keysOf(p.Conformers), (std::vector<int>{1, 2}));
    EXPECT_EQ(p.atomCount(1) + p.atomCount(2), 20);  // 9 atoms and the TER record per model
    EXPECT_EQ(p.rN, 2);  // HETATM residues do not widen the range
    EXPECT_EQ(p.residListOne.at(101) + p.residListOne.at(1) + p.residListsOne.at(2).at(2), "XMQ");
    const CORdata ca = p.getEntry(2, 1, "CA");
    EXPECT_EQ(ca.resName + ca.chainName + ca.altLoc, "META ");
    EXPECT_DOUBLE_EQ(ca.Coord[0], static_cast<double>(26.766f));
    EXPECT_FLOAT_EQ(ca.B_Factor, 10.38f);

    // reloading from a missing file: the old model goes
    testing::internal::CaptureStderr();
    EXPECT_FALSE(p.loadPDB("/nonexistent/dir/none.pdb"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\tCan't open file /nonexistent/dir/none.pdb for reading\n");
    EXPECT_TRUE(p.isNull());
    EXPECT_TRUE(p.Conformers.empty() && p.ATOMS.empty() && p.residList.empty() && p.residListOne.empty());
    EXPECT_EQ(p.r1, 9999);
    EXPECT_EQ(p.rN, -9999);
}

// The atom count of the structure announcement: entries of conformer 1 keyed by residue number,
// atom name and alternate location.
TEST(PDB, AtomCountOfConformerOne) {
    const std::string pad(80, ' ');
    auto padded = [&pad](const std::string& record) { return (record + pad).substr(0, 80) + "\n"; };
    const std::string n1 = at(1, " N", 1), ca1 = at(2, " CA", 1);
    const std::string terA = padded("TER       3      ALA A   1");
    const struct {
        const char* what;
        std::string text;
        int count;
    } cases[] = {
        {"two atoms", n1 + ca1, 2},
        {"padded TER record", n1 + ca1 + terA, 3},
        {"short TER records", n1 + ca1 + "TER       3      ALA A   1\n" + "TER\n", 2},
        {"TER padded to 54 columns", n1 + ca1 + std::string("TER       3      ALA A   1") + std::string(28, ' ') + "\n", 3},
        {"TER padded to 53 columns", n1 + ca1 + std::string("TER       3      ALA A   1") + std::string(27, ' ') + "\n", 2},
        {"blank padded TER record", n1 + ca1 + padded("TER"), 3},
        // chain A: N, CA of residue 1; chain B: N, CA, CB of residue 1; a TER after each chain
        {"two chains reusing residue numbers",
         n1 + ca1 + terA + at(4, " N", 1, ' ', 'B') + at(5, " CA", 1, ' ', 'B') + at(6, " CB", 1, ' ', 'B') +
             padded("TER       7      ALA B   1"),
         4},
        // N in A and B, CA blank and A, HA twice in location A (the later record replaces it)
        {"alternate locations",
         at(1, " N", 2, 'A') + at(2, " N", 2, 'B') + at(3, " CA", 2) + at(4, " CA", 2, 'A') + at(5, " HA", 2, 'A') +
             at(6, " HA", 2, 'A'),
         5},
        {"alternate locations in two chains", at(1, " N", 2, 'A') + at(2, " N", 2, 'B') + at(3, " N", 2, 'A', 'B'), 2},
        {"old and new hydrogen names of one atom", at(1, "1HB", 3) + at(2, " HB1", 3) + at(3, " H", 3) + at(4, " HN", 3), 2},
        {"only conformer 1 counts", "MODEL 1\n" + n1 + "ENDMDL\nMODEL 2\n" + n1 + ca1 + "ENDMDL\n", 1},
        {"no conformer 1", "MODEL 2\n" + n1 + ca1 + "ENDMDL\n", 0},
        {"an atom line cut before its coordinates end", n1 + ca1.substr(0, 53) + "\n", 1},
    };
    TempDir dir;
    for (const auto& c : cases) EXPECT_EQ(loadText(dir, c.text).atomCount(1), c.count) << c.what;
}

// A padded TER record never passes for an atom: its name is blank, and visiting the conformer tells
// it apart.
TEST(PDB, PaddedTerRecordIsNoAtom) {
    const std::string ter = "TER       3      ALA A   1" + std::string(54, ' ') + "\n";
    const std::string bareTer = "TER" + std::string(77, ' ') + "\n";
    TempDir dir;
    PDB p = loadText(dir, at(1, " N", 1) + at(2, " H", 1) + ter + at(4, " N", 2) + bareTer);
    std::string visited;  // file order: name or <TER>
    p.forEachAtom(1, [&visited](const CORdata& a) { visited += a.terRecord ? "<TER>" : a.atomName + " "; });
    EXPECT_EQ(visited, "N HN <TER>N <TER>");
    const CORdata t = p.getEntry(1, 3);
    EXPECT_TRUE(t.terRecord);
    EXPECT_EQ(t.atomName + "|" + t.resName + "|" + t.chainName + "|" + std::to_string(t.resNum), "|ALA|A|1");
    EXPECT_EQ(t.X + t.Y + t.Z, 0.0f);
    EXPECT_FALSE(p.getEntry(1, 1, "N").terRecord);
    std::vector<CORdata> I, J;
    EXPECT_EQ(p.getVectorEntries(I, J, 1, "N", 1, "HN", "_"), 1);
    // the archive TER repeats residue 1's name; the bare one names no residue
    EXPECT_EQ(p.residList, (std::map<int, std::string>{{1, "ALA"}, {2, "ALA"}}));
    EXPECT_EQ(p.r1 * 10 + p.rN, 12);
}

TEST(PDB, AtomNamesAreNormalised) {
    const char* names[][2] = {{" H", "HN"},   {"1HB", "HB1"}, {"2HG1", "HG12"}, {"3HD2", "HD23"},
                              {"HB2", "HB2"}, {"CA", "CA"},   {" H1", "H1"},    {"1H", "H1"}};
    std::string text;
    for (int i = 0; i < 8; i++) text += atom(i + 1, names[i][0], "VAL", 1, i, 0, 0);
    TempDir dir;
    PDB p = loadText(dir, text);
    for (int i = 0; i < 8; i++) EXPECT_EQ(p.getEntry(1, i + 1).atomName, names[i][1]) << names[i][0];
    EXPECT_EQ(p.getEntry(1, 1, "H").atomIndex, 0);
}

TEST(PDB, AlternateLocations) {
    const auto m = at(1, " N", 3, 'A') + at(2, " N", 3, 'B') + at(3, " H", 3, 'A') + at(4, " H", 3, 'B') +
                   at(5, " N", 4, 'A') + at(6, " N", 4, 'B') + at(7, " H", 4) + at(8, " N", 5, 'A') + at(9, " N", 5);
    TempDir dir;
    PDB p = loadText(dir, twoModels(m));
    std::vector<CORdata> I, J;
    ASSERT_EQ(p.getVectorEntries(I, J, 3, "N", 3, "HN", "_"), 4);  // A and B in each conformer
    std::string got;  // conformer and alternate location of both atoms of each pair
    for (int k = 0; k < 4; k++)
        got += std::to_string(I[k].conformerIndex) + I[k].altLoc + J[k].altLoc + std::to_string(J[k].conformerIndex);
    EXPECT_EQ(got, "1AA11BB12AA22BB2");
    EXPECT_EQ(p.getVectorEntries(I, J, 4, "N", 4, "HN", "_"), 0);  // partner only blank
    EXPECT_EQ(p.getEntry(1, 3, "N").altLoc + p.getEntry(1, 5, "N").altLoc, "A ");  // first in text order
    EXPECT_EQ(p.getEntry(1, 3, "N", "B").atomNum, 2);
    EXPECT_EQ(p.getEntry(1, 3, "N", "C").atomIndex, 0);
}

TEST(PDB, ChainFilter) {
    // residue 20 in both chains, chain B read last
    const std::string text = at(1, " N", 1) + at(2, " H", 1) + at(3, " N", 2) + at(4, " N", 10, ' ', 'B') +
                             at(5, " H", 10, ' ', 'B') + at(6, " N", 20) + at(7, " H", 20) + at(8, " N", 20, ' ', 'B') +
                             at(9, " H", 20, ' ', 'B') + at(9, " CA", 20, ' ', 'B');
    TempDir dir;
    PDB p = loadText(dir, text);
    EXPECT_EQ(p.getEntry(1, 9).atomName, "CA");  // a repeated serial: the later record answers
    std::vector<CORdata> I, J;
    for (const char* chain : {"A", "_", ""}) EXPECT_EQ(p.getVectorEntries(I, J, 1, "N", 1, "HN", chain), 1) << chain;
    EXPECT_EQ(p.getVectorEntries(I, J, 1, "N", 1, "HN", "B"), 0);
    EXPECT_EQ(p.getVectorEntries(I, J, 10, "N", 10, "HN", "B"), 1);
    EXPECT_EQ(p.getVectorEntries(I, J, 2, "N", 10, "HN", "_"), 0);  // atoms in different chains
    EXPECT_EQ(p.getVectorEntries(I, J, 20, "N", 20, "HN", "_") + p.getVectorEntries(I, J, 20, "N", 20, "HN", "A"), 2);
    EXPECT_EQ(I.at(4).chainName + I.at(5).chainName, "BA");  // without a chain the record read last answers
    EXPECT_DOUBLE_EQ(J.at(5).Coord[0], 7.0);
}

// Residues listed out of order (a second chain numbered from 1 again, a residue split by others)
// are found like residues in order.
TEST(PDB, ResiduesOutOfOrder) {
    const std::string text = at(1, " N", 2) + at(2, " H", 2) + at(3, " N", 1) + at(4, " H", 1) + at(5, " CA", 2) +
                             at(6, " N", 1, ' ', 'B') + at(7, " H", 1, ' ', 'B') + at(8, " N", 3, ' ', 'B');
    TempDir dir;
    PDB p = loadText(dir, text);
    for (int serial = 1; serial <= 8; serial++) {
        const CORdata a = p.getEntry(1, serial);
        const CORdata byName = p.getEntry(1, a.resNum, a.atomName);
        EXPECT_EQ(byName.atomIndex, 1) << serial;
        // without a chain, the record read last of a name answers
        EXPECT_EQ(byName.atomNum, serial == 3 || serial == 4 ? serial + 3 : serial) << serial;
    }
    std::vector<CORdata> I, J;
    EXPECT_EQ(p.getVectorEntries(I, J, 1, "N", 1, "HN", "A") + p.getVectorEntries(I, J, 1, "N", 1, "HN", "B") +
                  p.getVectorEntries(I, J, 2, "N", 2, "HN", "_"),
              3);
    EXPECT_EQ(I[0].atomNum + I[1].atomNum + I[2].atomNum, 3 + 6 + 1);
    EXPECT_EQ(p.atomCount(1), 6);
}

TEST(PDB, MethylenePseudoAtoms) {
    const std::string text = atom(1, " CB", "SER", 7, 0, 0, 0) + atom(2, " HB2", "SER", 7, 1, 0, 0) +
                             atom(3, " HB3", "SER", 7, 0, 1, 0) + atom(4, " C5'", "G", 8, 5, 0, 0) +
                             atom(5, " H5'", "G", 8, 6, 0, 0) + atom(6, "H5''", "G", 8, 5, 1, 0);
    TempDir dir;
    PDB p = loadText(dir, twoModels(text));
    // HB# and HB2|HB3 give HB2 and HB3 in two models, the heavy atom in listI whatever the input order
    for (const auto& [nameI, nameJ] : {std::pair("CB", "HB#"), std::pair("HB2|HB3", "CB")}) {
        std::vector<CORdata> I, J;
        ASSERT_EQ(p.getVectorEntries(I, J, 7, nameI, 7, nameJ, "A"), 4) << nameI;
        EXPECT_EQ(I[0].atomName + I[3].atomName, "CBCB");
        EXPECT_EQ(J[0].atomName + J[1].atomName + J[2].atomName + J[3].atomName, "HB2HB2HB3HB3");
    }
    std::vector<CORdata> I, J;
    ASSERT_EQ(p.getVectorEntries_Methylene_CH2(I, J, 8, "C5'", 8, "H5'#"), 4);  // sugar: H5' and H5''
    EXPECT_EQ(J[0].atomName + J[2].atomName, "H5'H5''");
    EXPECT_EQ(p.getVectorEntries(I, J, 7, "HB#", 7, "N", "_"), 0);  // no carbon named
    testing::internal::CaptureStderr();
    EXPECT_EQ(p.getVectorEntries(I, J, 7, "CB", 8, "HB#", "_"), 0);
    EXPECT_EQ(p.getVectorEntries_Methyl_CC(I, J, 7, "CB", 8, "HB#"), 0);
    EXPECT_EQ(p.getVectorEntries_Methyl_CH3(I, J, 7, "CB", 8, "HB#"), 0);
    const std::string msg = "DC Error: all methylene atoms must be defined with a same RESID\n";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), msg + msg + msg);
}

TEST(PDB, MethylAxisTable) {
    const char* rows[][3] = {{"ALA", "CB", "CA"},  {"MET", "CE", "SD"},  {"ILE", "CD1", "CG1"},
                             {"ILE", "CG2", "CB"}, {"VAL", "CG1", "CB"}, {"VAL", "CG2", "CB"},
                             {"THR", "CG2", "CB"}, {"LEU", "CD1", "CG"}, {"LEU", "CD2", "CG"}};
    std::string text;
    for (int r = 0; r < 9; r++) {
        text += atom(2 * r + 1, std::string(" ") + rows[r][1], rows[r][0], r + 1, r, 0, 0);
        text += atom(2 * r + 2, std::string(" ") + rows[r][2], rows[r][0], r + 1, r, 1.5, 0);
    }
    TempDir dir;
    PDB p = loadText(dir, text);
    for (int r = 0; r < 9; r++) {
        const std::string protons = "H" + std::string(rows[r][1]).substr(1) + "#";
        std::vector<CORdata> I, J;
        ASSERT_EQ(p.getVectorEntries_Methyl_CC(I, J, r + 1, rows[r][1], r + 1, protons), 1) << rows[r][0];
        ASSERT_EQ(p.getVectorEntries_Methyl_CC(I, J, r + 1, protons, r + 1, rows[r][1]), 1);
        // the pair keeps the orientation of the input: carbon first, then proton first
        EXPECT_EQ(I[0].atomName + J[0].atomName, std::string(rows[r][1]) + rows[r][2]);
        EXPECT_EQ(I[1].atomName + J[1].atomName, std::string(rows[r][2]) + rows[r][1]);
    }
    std::vector<CORdata> I, J;
    EXPECT_EQ(p.getVectorEntries_Methyl_CC(I, J, 3, "CG1", 3, "HG1#"), 0);  // ILE CG1 is no methyl
}

TEST(PDB, IdealisedMethylProtons) {
    // ALA with its C-C axis along x and protons off the ideal geometry; model 2 shifted, with a
    // longer first C-H bond. SER has two protons and no methyl axis.
    auto residue = [](double shift, double stretch) {
        return atom(1, " CA", "ALA", 4, -1.53 + shift, 0, 0) + atom(2, " CB", "ALA", 4, shift, 0, 0) +
               atom(3, " HB1", "ALA", 4, 0.3 * stretch + shift, 1.0 * stretch, 0.2 * stretch) +
               atom(4, " HB2", "ALA", 4, 0.5 + shift, -0.6, 0.7) + atom(5, " HB3", "ALA", 4, 0.2 + shift, -0.4, -1.0) +
               atom(6, " CB", "SER", 5, 0, 5, 0) + atom(7, " HB2", "SER", 5, 1, 5, 0) +
               atom(8, " HB3", "SER", 5, 0, 6, 0);
    };
    TempDir dir;
    PDB p = loadText(dir, "MODEL 1\n" + residue(0, 1) + "ENDMDL\nMODEL 2\n" + residue(10, 1.2) + "ENDMDL\n");
    std::vector<CORdata> I, J;
    ASSERT_EQ(p.getVectorEntries_Methyl_CH3(I, J, 4, "HB#", 4, "CB"), 6);
    for (size_t k = 0; k < 6; k++) {
        const int conf = k < 3 ? 1 : 2;  // the carbon and its three protons, model by model
        EXPECT_EQ(I[k].conformerIndex + J[k].conformerIndex, 2 * conf);
        EXPECT_EQ(I[k].atomName, "CB");
        const CORdata h0 = p.getEntry(conf, 4, J[k].atomName);  // the proton as read
        // 110.9 degrees from the C-C axis, bond length unchanged
        EXPECT_NEAR(PDB::getBondAngle(p.getEntry(conf, 4, "CA"), I[k], J[k]), 110.9, 1e-9);
        EXPECT_NEAR(PDB::getDist(I[k], J[k]), PDB::getDist(I[k], h0), 1e-12);
        // moved within the plane of the axis (x, through the carbon) and the original proton,
        // on the same side
        EXPECT_NEAR(J[k].Coord[1] * h0.Coord[2] - J[k].Coord[2] * h0.Coord[1], 0.0, 1e-9);
        EXPECT_GT(J[k].Coord[1] * h0.Coord[1] + J[k].Coord[2] * h0.Coord[2], 0.0);
        EXPECT_FLOAT_EQ(J[k].X, static_cast<float>(J[k].Coord[0]));
    }
    EXPECT_EQ(J[0].atomName + J[2].atomName, "HB1HB3");
    // SER: appended as found
    ASSERT_EQ(p.getVectorEntries_Methyl_CH3(I, J, 5, "CB", 5, "HB#"), 4);
    EXPECT_DOUBLE_EQ(J.at(6).Coord[0], 1.0);
}

// The pairs building a coupling reads (coordinates, occupancies, alternate locations) are those
// of the lookup records, query by query, in the same order, with the same messages.
TEST(PDB, CoordinatePairsMatchTheLookupRecords) {
    auto residues = [](double shift, double occ) {
        return atom(1, " N", "ALA", 3, shift, 0, 0, occ, 'A') + atom(2, " N", "ALA", 3, shift, 0.1, 0, 1 - occ, 'B') +
               atom(3, " H", "ALA", 3, shift + 1, 0, 0, 0.7, 'A') + atom(4, " H", "ALA", 3, shift + 1, 0.2, 0, 0.3, 'B') +
               atom(5, " CA", "ALA", 4, shift - 1.53, 2, 0) + atom(6, " CB", "ALA", 4, shift, 2, 0, occ) +
               atom(7, " HB1", "ALA", 4, shift + 0.3, 3, 0.2) + atom(8, " HB2", "ALA", 4, shift + 0.5, 1.4, 0.7) +
               atom(9, " HB3", "ALA", 4, shift + 0.2, 1.6, -1) + atom(10, " N", "SER", 6, shift, 9, 0, 1, ' ', 'B') +
               atom(11, " H", "SER", 6, shift, 10, 0, 0.5, ' ', 'B') + atom(12, " CB", "SER", 5, shift, 5, 0) +
               atom(13, " HB2", "SER", 5, shift + 1, 5, 0) + atom(14, " HB3", "SER", 5, shift, 6, 0);
    };
    // model 3 has its own layout: without N at alternate location B
    std::string third = residues(40, 0.5);
    const size_t lineEnd = third.find('\n') + 1;
    third.erase(lineEnd, third.find('\n', lineEnd) + 1 - lineEnd);
    TempDir dir;
    PDB p = loadText(dir, "MODEL 1\n" + residues(0, 0.6) + "ENDMDL\nMODEL 2\n" + residues(20, 0.4) +
                              "ENDMDL\nMODEL 3\n" + third + "ENDMDL\n");
    struct Query {
        int kind;  // 0 ordinary, 1 methyl axis, 2 idealised methyl protons
        int resI;
        const char* nameI;
        int resJ;
        const char* nameJ;
        const char* chain;
    };
    const Query queries[] = {{0, 3, "N", 3, "HN", "_"},   {0, 3, "HN", 3, "N", "A"},   {0, 6, "N", 6, "HN", ""},
                             {0, 6, "N", 6, "HN", "B"},   {0, 6, "N", 6, "HN", "A"},   {0, 4, "CB", 4, "HB#", "_"},
                             {0, 5, "HB2|HB3", 5, "CB", "B"}, {0, 4, "CB", 5, "HB#", "_"}, {0, 3, "N", 9, "HN", "_"},
                             {1, 4, "CB", 4, "HB#", ""},  {1, 4, "HB#", 4, "CB", ""},  {2, 4, "HB#", 4, "CB", ""},
                             {2, 5, "CB", 5, "HB#", ""},  {1, 4, "CB", 5, "HB#", ""}};
    for (const Query& q : queries) {
        const std::string what = std::string(q.nameI) + "-" + q.nameJ + " " + std::to_string(q.resI) + q.chain;
        std::vector<CORdata> I, J;
        std::vector<AtomPair> pairs(1);  // appended to
        testing::internal::CaptureStderr();
        int nEntries, nPairs;
        if (q.kind == 0) {
            nEntries = p.getVectorEntries(I, J, q.resI, q.nameI, q.resJ, q.nameJ, q.chain);
            nPairs = p.getVectorPairs(pairs, q.resI, q.nameI, q.resJ, q.nameJ, q.chain);
        } else if (q.kind == 1) {
            nEntries = p.getVectorEntries_Methyl_CC(I, J, q.resI, q.nameI, q.resJ, q.nameJ);
            nPairs = p.getVectorPairs_Methyl_CC(pairs, q.resI, q.nameI, q.resJ, q.nameJ);
        } else {
            nEntries = p.getVectorEntries_Methyl_CH3(I, J, q.resI, q.nameI, q.resJ, q.nameJ);
            nPairs = p.getVectorPairs_Methyl_CH3(pairs, q.resI, q.nameI, q.resJ, q.nameJ);
        }
        const std::string messages = testing::internal::GetCapturedStderr();
        const bool pseudo = q.kind != 0 || std::string(q.nameI).find_first_of("#|") != std::string::npos ||
                            std::string(q.nameJ).find_first_of("#|") != std::string::npos;
        const std::string message =
            pseudo && q.resI != q.resJ ? "DC Error: all methylene atoms must be defined with a same RESID\n" : "";
        EXPECT_EQ(messages, message + message) << what;
        ASSERT_EQ(nPairs, nEntries) << what;
        ASSERT_EQ(pairs.size(), I.size() + 1) << what;
        for (size_t k = 0; k < I.size(); k++) {
            const AtomPair& a = pairs[k + 1];
            EXPECT_EQ(a.conformer, I[k].conformerIndex) << what << k;
            EXPECT_EQ(a.conformer, J[k].conformerIndex) << what << k;
            EXPECT_EQ(std::vector<float>({a.i.x, a.i.y, a.i.z, a.i.occupancy, a.j.x, a.j.y, a.j.z, a.j.occupancy}),
                      std::vector<float>({I[k].X, I[k].Y, I[k].Z, I[k].Occupancy, J[k].X, J[k].Y, J[k].Z, J[k].Occupancy}))
                << what << k;
            EXPECT_EQ(std::string(1, a.i.altLoc) + a.j.altLoc, I[k].altLoc + J[k].altLoc) << what << k;
        }
    }
    // the cases above find pairs where they should: alternate locations in every model, the
    // chain filter, methylene protons, the methyl axis, idealised protons
    std::vector<AtomPair> pairs;
    EXPECT_EQ(p.getVectorPairs(pairs, 3, "N", 3, "HN", "_"), 5);
    EXPECT_EQ(p.getVectorPairs(pairs, 6, "N", 6, "HN", "B") + p.getVectorPairs(pairs, 6, "N", 6, "HN", "A"), 3);
    EXPECT_EQ(p.getVectorPairs(pairs, 5, "HB2|HB3", 5, "CB", "B"), 6);
    EXPECT_EQ(p.getVectorPairs_Methyl_CC(pairs, 4, "HB#", 4, "CB") + p.getVectorPairs_Methyl_CH3(pairs, 4, "HB#", 4, "CB"), 12);
}

TEST(PDB, DisulfideMarking) {
    std::string text = atom(1, " CA", "ALA", 50, 0, 0, 1);
    for (auto [res, x] : std::map<int, double>{{1, 0}, {10, 2}, {20, 9}, {30, 20}, {32, 22}, {40, 30}, {44, 32.5}})
        text += atom(2 * res, " CA", "CYS", res, x, 2, 0) + atom(2 * res + 1, " SG", "CYS", res, x, 0, 0);
    TempDir dir;
    PDB p = loadText(dir, text);
    // 1-10 bonded; 20 free; 30-32 close in space but too close in sequence; 40-44 exactly 2.5 A apart
    for (int res : {1, 10, 40, 44}) {
        EXPECT_EQ(p.residList.at(res) + p.residListOne.at(res) + p.residLists.at(1).at(res), "cyscCYS") << res;
        EXPECT_TRUE(p.isSSBonded(1, res));
    }
    for (int res : {20, 30, 32, 50}) EXPECT_FALSE(p.isSSBonded(1, res)) << res;
    EXPECT_EQ(p.residList.at(30) + p.residListOne.at(30), "CYSC");
}

TEST(PDB, ShortAndMalformedLines) {
    const std::string full = "ATOM      4  CA  ALA A   1       1.500   2.500   3.500  0.50 12.34";
    // lines cut to n columns, serial n: occupancy and B-factor are 1.0 when the line ends before them
    const struct { int n; float occ, b; } cuts[] = {
        {54, 1, 1}, {59, 1, 1}, {60, 0.5, 1}, {65, 0.5, 1}, {66, 0.5, 12.34f}};
    std::string text = full.substr(0, 53) + "\n";  // too short: skipped
    for (const auto& c : cuts) text += full.substr(0, 9) + std::to_string(c.n) + full.substr(11, c.n - 11) + "\n";
    //       1-6     7-11   12-16  17 18-20 21 22 23-26 27-30  31-38       39-46       47-54       55-63
    text += "ATOM  " "*****" "  N  " " " "ALA" " " "A" "  x2" "    " "abc.def " "1.2.3   " "   -    " "   xxxxxx\n";
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    TempDir dir;
    for (const std::string& t : {text, crlf}) {
        PDB p = loadText(dir, t);
        ASSERT_EQ(p.Conformers.at(1).size(), 6u);
        for (const auto& c : cuts) {
            const CORdata a = p.getEntry(1, c.n);
            EXPECT_FLOAT_EQ(a.Occupancy, c.occ) << c.n;
            EXPECT_FLOAT_EQ(a.B_Factor, c.b) << c.n;
        }
        const CORdata bad = p.getEntry(1, 0);  // malformed numbers read as 0 or their valid prefix
        EXPECT_EQ(bad.atomName + std::to_string(bad.resNum), "N0");
        EXPECT_FLOAT_EQ(bad.Y, 1.2f);
        EXPECT_EQ(bad.X + bad.Z + bad.Occupancy + bad.B_Factor, 1.0f);  // B-factor beyond the line's end
    }
}

TEST(PDB, ResidueCodesAndGeometry) {
    std::string ones;
    for (const char* n : {"ALA", "CYS", "ASP", "GLU", "PHE", "GLY", "HIS", "ILE", "LYS", "LEU", "MET", "ASN", "PRO",
                          "GLN", "ARG", "SER", "THR", "VAL", "TRP", "TYR", "cys", "his", "HIS+", "LYS+", "ARG+", "ala"})
        ones += PDB::getOneAAName(n);
    EXPECT_EQ(ones, "ACDEFGHIKLMNPQRSTVWYchHKRX");

    const Vec3 o = {0, 0, 0}, x = {1, 0, 0}, z = {0, 0, 1}, diag = {-1, 1, 0};
    EXPECT_NEAR(PDB::getBondAngle(x, o, diag), 135.0, 1e-12);
    // a = x, b = origin, c = z, d = z + (cos t, sin t, 0): the dihedral is t, positive clockwise
    // looking from b to c
    for (double t : {60.0, -60.0, 120.0, 0.0, -179.0}) {
        const Vec3 d = {std::cos(t * kDeg), std::sin(t * kDeg), 1};
        EXPECT_NEAR(PDB::getDihedralAngle(x, o, z, d), t, 1e-9) << t;
    }
}

TEST(PDB, SuperpositionRmsd) {
    // B = A * Q + t with Q a proper rotation (row vectors): rmsd 0, rot_m = Q^T; a mirror image
    // of A cannot be superposed by a proper rotation: rmsd > 0
    const double A[5][3] = {{1, 2, 3}, {-2, 0.5, 1}, {0, -1, 4}, {3, 3, -1}, {-1, -2, -2}};
    const double c = std::cos(40 * kDeg), s = std::sin(40 * kDeg);
    const double Q[3][3] = {{c, s, 0}, {-s, c, 0}, {0, 0, 1}};
    std::vector<CORdata> va(5), vb(5), vm(5);
    for (int k = 0; k < 5; k++)
        for (int j = 0; j < 3; j++) {
            va[k].Coord[j] = A[k][j];
            vb[k].Coord[j] = A[k][0] * Q[0][j] + A[k][1] * Q[1][j] + A[k][2] * Q[2][j] + (j + 1) * 10.0;
            vm[k].Coord[j] = j == 0 ? -A[k][j] : A[k][j];
        }
    PDB p;
    EXPECT_NEAR(p.rmsd(va, vb), 0.0, 1e-9);
    EXPECT_NEAR(p.rot_m[0][1], -s, 1e-9);
    EXPECT_NEAR(p.rot_m[1][0], s, 1e-9);
    EXPECT_GT(p.rmsd(va, vm), 0.1);
}

// Structure files: models, atom-name normalisation, alternate locations, chain filter,
// methylene and methyl pseudo-atoms, disulfide marking, short and malformed lines, geometry.
#include "io/PDB.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>

#include "common/TestUtil.h"

using testutil::TempDir;
using testutil::readFile;
using testutil::writeFile;

namespace {

const double kDeg = 3.14159265358979323846 / 180.0;

// One ATOM/HETATM line in the fixed columns; `name` is the text of columns 13-16.
std::string atom(int serial, const char* name, const char* res, int resNum, double x, double y, double z,
                 char chain = 'A', char alt = ' ', const char* rec = "ATOM", double occ = 1.0, double b = 0.0) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%-6s%5d %-4s%c%-3s %c%4d    %8.3f%8.3f%8.3f%6.2f%6.2f", rec, serial, name, alt,
                  res, chain, resNum, x, y, z, occ, b);
    return std::string(buf) + "\n";
}

PDB loadText(const TempDir& dir, const std::string& text, const std::string& name = "t.pdb") {
    writeFile(dir.file(name), text);
    return PDB(dir.file(name));
}

std::vector<int> keysOf(const Mols& m) {
    std::vector<int> k;
    for (const auto& kv : m) k.push_back(kv.first);
    return k;
}

// Every atom as text, in index order, for comparing two loads.
std::string dump(const PDB& p) {
    std::string s;
    char buf[256];
    for (const auto& kv : p.ATOMS) {
        const std::vector<CORdata>& atoms = p.Conformers.at(kv.first);
        for (int pos : kv.second.byName) {
            const CORdata& a = atoms[pos];
            std::snprintf(buf, sizeof buf, "%d %d %d %s %s [%s][%s] %.3f %.3f %.3f %.2f %.2f\n", a.conformerIndex,
                          a.atomNum, a.resNum, a.atomName.c_str(), a.resName.c_str(), a.chainName.c_str(),
                          a.altLoc.c_str(), a.Coord[0], a.Coord[1], a.Coord[2], a.Occupancy, a.B_Factor);
            s += buf;
        }
    }
    return s;
}

double dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

}  // namespace

TEST(PDB, ModelNumbering) {
    TempDir dir;
    const std::string res1 = atom(1, " N", "GLY", 1, 0, 0, 0) + atom(2, " CA", "GLY", 1, 1.46, 0, 0);

    // serials 1 and 2; END after the last ENDMDL makes no empty conformer
    PDB a = loadText(dir, "MODEL        1\n" + res1 + "ENDMDL\nMODEL        2\n" + res1 + "ENDMDL\nEND\n", "a.pdb");
    EXPECT_TRUE(a.isLoaded);
    EXPECT_FALSE(a.isNull());
    EXPECT_EQ(keysOf(a.Conformers), (std::vector<int>{1, 2}));
    EXPECT_EQ(a.conformer_count, 2);
    EXPECT_EQ(a.ATOMS.size(), 2u);

    // model numbers are taken from the MODEL records, gaps and all
    PDB b = loadText(dir, "MODEL        5\n" + res1 + "ENDMDL\nMODEL 9\n" + res1 + "ENDMDL\n", "b.pdb");
    EXPECT_EQ(keysOf(b.Conformers), (std::vector<int>{5, 9}));
    std::vector<CORdata> list;
    EXPECT_EQ(b.getEntries(list, 1, "CA"), 2);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].conformerIndex, 5);
    EXPECT_EQ(list[1].conformerIndex, 9);
    EXPECT_EQ(b.getEntry(1, 1, "CA").atomIndex, 0);  // there is no conformer 1

    // no MODEL record: conformer 1
    PDB c = loadText(dir, "REMARK x\n" + res1 + "END\n", "c.pdb");
    EXPECT_EQ(keysOf(c.Conformers), (std::vector<int>{1}));
    EXPECT_EQ(c.getEntry(1, 1, "CA").conformerIndex, 1);
    EXPECT_EQ(c.getEntry(1, 1, "CA").atomIndex, 1);
    PDB d = loadText(dir, res1, "d.pdb");  // not even END
    EXPECT_EQ(d.conformer_count, 1);
    EXPECT_EQ(d.atomCount(1), 2);

    // END without MODEL starts the next conformer
    PDB e = loadText(dir, res1 + "TER\nEND\n" + res1 + "END\n", "e.pdb");
    EXPECT_EQ(keysOf(e.Conformers), (std::vector<int>{1, 2}));
}

TEST(PDB, AtomNamesAreNormalised) {
    TempDir dir;
    const std::string text = atom(1, " H", "VAL", 1, 0, 0, 0) + atom(2, "1HB", "VAL", 1, 1, 0, 0) +
                             atom(3, "2HG1", "VAL", 1, 2, 0, 0) + atom(4, "HB2", "VAL", 1, 3, 0, 0) +
                             atom(5, "CA", "VAL", 1, 4, 0, 0) +  // left-aligned name
                             atom(6, "3HD2", "VAL", 1, 5, 0, 0) + atom(7, " H1", "VAL", 1, 6, 0, 0) +
                             atom(8, "1H", "GLY", 2, 7, 0, 0) + atom(9, " HN", "GLY", 2, 8, 0, 0);
    PDB p = loadText(dir, text);
    EXPECT_EQ(p.getEntry(1, 1).atomName, "HN");
    EXPECT_EQ(p.getEntry(1, 2).atomName, "HB1");
    EXPECT_EQ(p.getEntry(1, 3).atomName, "HG12");
    EXPECT_EQ(p.getEntry(1, 4).atomName, "HB2");
    EXPECT_EQ(p.getEntry(1, 5).atomName, "CA");
    EXPECT_EQ(p.getEntry(1, 6).atomName, "HD23");
    EXPECT_EQ(p.getEntry(1, 7).atomName, "H1");
    EXPECT_EQ(p.getEntry(1, 8).atomName, "H1");
    EXPECT_EQ(p.getEntry(1, 1, "HN").atomNum, 1);
    EXPECT_EQ(p.getEntry(1, 1, "HB1").Coord[0], 1.0);
    EXPECT_EQ(p.getEntry(1, 1, "H").atomIndex, 0);
    EXPECT_EQ(p.getEntry(1, 2, "HN").atomNum, 9);
}

TEST(PDB, RealWorldRecordShapes) {
    const std::string path = std::string(ORVEX_TEST_DATA) + "/io/two_models.pdb";
    PDB p(path);
    ASSERT_TRUE(p.isLoaded);
    EXPECT_EQ(p.PDBfileName, path);
    EXPECT_EQ(keysOf(p.Conformers), (std::vector<int>{1, 2}));
    // ANISOU and the padded TER record carry no atom; the water is a HETATM atom
    EXPECT_EQ(p.atomCount(1), 9);
    EXPECT_EQ(p.Conformers.at(2).size(), 9u);
    EXPECT_EQ(p.r1, 1);
    EXPECT_EQ(p.rN, 2);  // HETATM residues do not widen the range
    EXPECT_EQ(p.residList.at(101), "HOH");
    EXPECT_EQ(p.residListOne.at(101), "X");
    EXPECT_EQ(p.residListOne.at(1), "M");
    EXPECT_EQ(p.residLists.at(2).at(2), "GLN");
    EXPECT_EQ(p.residListsOne.at(2).at(2), "Q");

    const CORdata ca = p.getEntry(2, 1, "CA");
    EXPECT_EQ(ca.atomNum, 2);
    EXPECT_EQ(ca.resName, "MET");
    EXPECT_EQ(ca.chainName, "A");
    EXPECT_EQ(ca.altLoc, " ");
    EXPECT_FLOAT_EQ(ca.X, 26.766f);
    EXPECT_DOUBLE_EQ(ca.Coord[0], static_cast<double>(26.766f));
    EXPECT_FLOAT_EQ(ca.B_Factor, 10.38f);
    EXPECT_EQ(ca.wCoord[0], 0.0);
    EXPECT_FALSE(ca.rotated);
    EXPECT_EQ(p.getEntry(1, 2, "HB1").atomNum, 8);

    std::vector<CORdata> I, J;
    EXPECT_EQ(p.getVectorEntries(I, J, 2, "N", 2, "HN", "_"), 4);  // A and B in both models
    EXPECT_EQ(p.getVectorEntries(I, J, 1, "N", 1, "HN", "A"), 2);

    // Windows line ends read like Unix ones
    TempDir dir;
    std::string crlf;
    for (char c : readFile(path)) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    PDB w = loadText(dir, crlf);
    EXPECT_EQ(dump(w), dump(p));
    EXPECT_EQ(w.residList, p.residList);
    EXPECT_EQ(w.r1, p.r1);
}

TEST(PDB, AlternateLocations) {
    TempDir dir;
    std::string model;
    model += atom(1, " N", "ALA", 3, 0, 0, 0, 'A', 'A') + atom(2, " N", "ALA", 3, 0.1, 0, 0, 'A', 'B');
    model += atom(3, " H", "ALA", 3, 1, 0, 0, 'A', 'A') + atom(4, " H", "ALA", 3, 1.1, 0, 0, 'A', 'B');
    model += atom(5, " N", "ALA", 4, 3, 0, 0, 'A', 'A') + atom(6, " N", "ALA", 4, 3.1, 0, 0, 'A', 'B');
    model += atom(7, " H", "ALA", 4, 4, 0, 0, 'A', ' ');
    model += atom(8, " N", "ALA", 5, 6, 0, 0, 'A', 'A') + atom(9, " N", "ALA", 5, 6.1, 0, 0, 'A', ' ');
    PDB p = loadText(dir, "MODEL 1\n" + model + "ENDMDL\nMODEL 2\n" + model + "ENDMDL\n");

    std::vector<CORdata> I, J;
    EXPECT_EQ(p.getVectorEntries(I, J, 3, "N", 3, "HN", "_"), 4);
    ASSERT_EQ(I.size(), 4u);
    ASSERT_EQ(J.size(), 4u);
    const char* alts[] = {"A", "B", "A", "B"};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(I[k].conformerIndex, k < 2 ? 1 : 2);
        EXPECT_EQ(I[k].altLoc, alts[k]);
        EXPECT_EQ(J[k].altLoc, alts[k]);
        EXPECT_EQ(J[k].conformerIndex, I[k].conformerIndex);
    }
    I.clear();
    J.clear();
    EXPECT_EQ(p.getVectorEntries(I, J, 4, "N", 4, "HN", "_"), 0);  // partner only blank
    EXPECT_TRUE(I.empty());

    EXPECT_EQ(p.getEntry(1, 3, "N").altLoc, "A");  // first in text order
    EXPECT_EQ(p.getEntry(1, 5, "N").altLoc, " ");  // blank before A
    EXPECT_EQ(p.getEntry(1, 3, "N", "B").atomNum, 2);
    EXPECT_EQ(p.getEntry(1, 3, "N", "C").atomIndex, 0);
    std::vector<CORdata> all;
    EXPECT_EQ(p.getEntries(all, 3, "N"), 4);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[1].altLoc, "B");
    EXPECT_EQ(all[2].conformerIndex, 2);
    EXPECT_EQ(p.getEntries(all, 3, "CA"), 0);
}

TEST(PDB, ChainFilter) {
    TempDir dir;
    std::string text;
    text += atom(1, " N", "ALA", 1, 0, 0, 0, 'A') + atom(2, " H", "ALA", 1, 1, 0, 0, 'A');
    text += atom(3, " N", "ALA", 2, 3, 0, 0, 'A');
    text += atom(4, " N", "GLY", 10, 5, 0, 0, 'B') + atom(5, " H", "GLY", 10, 6, 0, 0, 'B');
    // residue 20 in both chains: chain B is read last
    text += atom(6, " N", "SER", 20, 8, 0, 0, 'A') + atom(7, " H", "SER", 20, 9, 0, 0, 'A');
    text += atom(8, " N", "SER", 20, 18, 0, 0, 'B') + atom(9, " H", "SER", 20, 19, 0, 0, 'B');
    PDB p = loadText(dir, text);
    EXPECT_EQ(p.atomCount(1), 9);

    std::vector<CORdata> I, J;
    EXPECT_EQ(p.getVectorEntries(I, J, 1, "N", 1, "HN", "A"), 1);
    EXPECT_EQ(p.getVectorEntries(I, J, 1, "N", 1, "HN", "_"), 1);
    EXPECT_EQ(p.getVectorEntries(I, J, 1, "N", 1, "HN", ""), 1);
    EXPECT_EQ(p.getVectorEntries(I, J, 1, "N", 1, "HN", "B"), 0);
    EXPECT_EQ(p.getVectorEntries(I, J, 10, "N", 10, "HN", "B"), 1);
    EXPECT_EQ(p.getVectorEntries(I, J, 2, "N", 10, "HN", "_"), 0);  // atoms in different chains
    EXPECT_EQ(I.size(), 4u);

    I.clear();
    J.clear();
    EXPECT_EQ(p.getVectorEntries(I, J, 20, "N", 20, "HN", "_"), 1);
    EXPECT_EQ(I[0].chainName, "B");  // without a chain the record read last answers
    EXPECT_EQ(p.getVectorEntries(I, J, 20, "N", 20, "HN", "A"), 1);
    EXPECT_EQ(I[1].chainName, "A");
    EXPECT_DOUBLE_EQ(J[1].Coord[0], 9.0);
    EXPECT_EQ(p.getEntry(1, 20, "N").chainName, "B");
}

TEST(PDB, MethylenePseudoAtoms) {
    TempDir dir;
    std::string text;
    text += atom(1, " CB", "SER", 7, 0, 0, 0) + atom(2, " HB2", "SER", 7, 1, 0, 0) + atom(3, " HB3", "SER", 7, 0, 1, 0);
    text += atom(4, " C5'", "G", 8, 5, 0, 0) + atom(5, " H5'", "G", 8, 6, 0, 0) + atom(6, "H5''", "G", 8, 5, 1, 0);
    text += atom(7, " CA", "GLY", 9, 9, 0, 0);
    PDB p = loadText(dir, "MODEL 1\n" + text + "ENDMDL\nMODEL 2\n" + text + "ENDMDL\n");

    std::vector<CORdata> I, J, I2, J2;
    EXPECT_EQ(p.getVectorEntries(I, J, 7, "CB", 7, "HB#", "_"), 4);  // HB2 and HB3 in two models
    ASSERT_EQ(J.size(), 4u);
    for (size_t k = 0; k < I.size(); k++) EXPECT_EQ(I[k].atomName, "CB");
    EXPECT_EQ(J[0].atomName, "HB2");
    EXPECT_EQ(J[1].atomName, "HB2");
    EXPECT_EQ(J[2].atomName, "HB3");

    // HB2|HB3 pairs the same atoms; the heavy atom goes to listI whatever the input order
    EXPECT_EQ(p.getVectorEntries(I2, J2, 7, "HB2|HB3", 7, "CB", "A"), 4);
    for (size_t k = 0; k < I2.size(); k++) {
        EXPECT_EQ(I2[k].atomName, "CB");
        EXPECT_EQ(J2[k].atomName, J[k].atomName);
        EXPECT_EQ(J2[k].conformerIndex, J[k].conformerIndex);
    }

    // sugar methylene: H5' and H5''
    I.clear();
    J.clear();
    EXPECT_EQ(p.getVectorEntries_Methylene_CH2(I, J, 8, "C5'", 8, "H5'#"), 4);
    EXPECT_EQ(J[0].atomName, "H5'");
    EXPECT_EQ(J[2].atomName, "H5''");

    I.clear();
    J.clear();
    EXPECT_EQ(p.getVectorEntries(I, J, 9, "HA#", 9, "N", "_"), 0);  // no carbon named
    EXPECT_EQ(p.getVectorEntries_Methylene_CH2(I, J, 7, "CB", 7, "HB2"), 0);  // neither '#' nor '|'
    testing::internal::CaptureStderr();
    EXPECT_EQ(p.getVectorEntries(I, J, 7, "CB", 8, "HB#", "_"), 0);
    EXPECT_EQ(p.getVectorEntries_Methyl_CC(I, J, 7, "CB", 8, "HB#"), 0);
    EXPECT_EQ(p.getVectorEntries_Methyl_CH3(I, J, 7, "CB", 8, "HB#"), 0);
    const std::string msg = "DC Error: all methylene atoms must be defined with a same RESID\n";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), msg + msg + msg);
    EXPECT_TRUE(I.empty());
}

TEST(PDB, MethylAxisTable) {
    struct Row {
        const char* res;
        const char* carbon;
        const char* bonded;
    };
    const Row rows[] = {{"ALA", "CB", "CA"},   {"MET", "CE", "SD"},  {"ILE", "CD1", "CG1"}, {"ILE", "CG2", "CB"},
                        {"VAL", "CG1", "CB"},  {"VAL", "CG2", "CB"}, {"THR", "CG2", "CB"},  {"LEU", "CD1", "CG"},
                        {"LEU", "CD2", "CG"}};
    TempDir dir;
    std::string text;
    int serial = 1;
    for (int r = 0; r < 9; r++) {
        const std::string c = std::string(" ") + rows[r].carbon;
        const std::string b = std::string(" ") + rows[r].bonded;
        text += atom(serial++, c.c_str(), rows[r].res, r + 1, r, 0, 0);
        text += atom(serial++, b.c_str(), rows[r].res, r + 1, r, 1.5, 0);
        text += atom(serial++, " CZ", rows[r].res, r + 1, r, 3.0, 0);  // decoy
    }
    text += atom(28, " CB", "LEU", 20, 0, 0, 5) + atom(29, " CA", "LEU", 20, 0, 1.5, 5);
    text += atom(30, " CE", "LYS", 21, 0, 0, 9) + atom(31, " CD", "LYS", 21, 0, 1.5, 9);
    PDB p = loadText(dir, text);

    for (int r = 0; r < 9; r++) {
        const std::string protons = "H" + std::string(rows[r].carbon).substr(1) + "#";
        std::vector<CORdata> I, J;
        EXPECT_EQ(p.getVectorEntries_Methyl_CC(I, J, r + 1, rows[r].carbon, r + 1, protons), 1) << rows[r].res;
        ASSERT_EQ(I.size(), 1u);
        EXPECT_EQ(I[0].atomName, rows[r].carbon);
        EXPECT_EQ(J[0].atomName, rows[r].bonded);
        // proton first: the pair keeps that orientation
        I.clear();
        J.clear();
        EXPECT_EQ(p.getVectorEntries_Methyl_CC(I, J, r + 1, protons, r + 1, rows[r].carbon), 1);
        ASSERT_EQ(I.size(), 1u);
        EXPECT_EQ(I[0].atomName, rows[r].bonded);
        EXPECT_EQ(J[0].atomName, rows[r].carbon);
    }
    std::vector<CORdata> I, J;
    EXPECT_EQ(p.getVectorEntries_Methyl_CC(I, J, 20, "CB", 20, "HB#"), 0);   // not a methyl of LEU
    EXPECT_EQ(p.getVectorEntries_Methyl_CC(I, J, 21, "CE", 21, "HE#"), 0);   // not in the table
    EXPECT_EQ(p.getVectorEntries_Methyl_CC(I, J, 3, "CG1", 3, "HG1#"), 0);  // ILE CG1 is no methyl
    EXPECT_EQ(p.getVectorEntries_Methyl_CC(I, J, 1, "HB#", 1, "QB"), 0);    // no carbon named
}

TEST(PDB, IdealisedMethylProtons) {
    TempDir dir;
    // ALA: C-C axis along x, protons deliberately off the ideal geometry; model 2 is shifted and
    // has a longer C-H bond.
    auto residue = [](double shift, double stretch) {
        return atom(1, " CA", "ALA", 4, -1.53 + shift, 0, 0) + atom(2, " CB", "ALA", 4, shift, 0, 0) +
               atom(3, " HB1", "ALA", 4, 0.3 * stretch + shift, 1.0 * stretch, 0.2 * stretch) +
               atom(4, " HB2", "ALA", 4, 0.5 + shift, -0.6, 0.7) + atom(5, " HB3", "ALA", 4, 0.2 + shift, -0.4, -1.0) +
               atom(6, " CB", "SER", 5, 0, 5, 0) + atom(7, " HB2", "SER", 5, 1, 5, 0) +
               atom(8, " HB3", "SER", 5, 0, 6, 0);
    };
    PDB p = loadText(dir, "MODEL 1\n" + residue(0, 1) + "ENDMDL\nMODEL 2\n" + residue(10, 1.2) + "ENDMDL\n");

    std::vector<CORdata> I, J;
    ASSERT_EQ(p.getVectorEntries_Methyl_CH3(I, J, 4, "HB#", 4, "CB"), 6);
    ASSERT_EQ(J.size(), 6u);
    for (size_t k = 0; k < 6; k++) {
        const int conf = k < 3 ? 1 : 2;  // carbon and its three protons, model by model
        EXPECT_EQ(I[k].conformerIndex, conf);
        EXPECT_EQ(J[k].conformerIndex, conf);
        EXPECT_EQ(I[k].atomName, "CB");
        const CORdata orig = p.getEntry(conf, 4, J[k].atomName);
        const CORdata ca = p.getEntry(conf, 4, "CA");
        const double axis[3] = {ca.Coord[0] - I[k].Coord[0], ca.Coord[1] - I[k].Coord[1], ca.Coord[2] - I[k].Coord[2]};
        const double h[3] = {J[k].Coord[0] - I[k].Coord[0], J[k].Coord[1] - I[k].Coord[1], J[k].Coord[2] - I[k].Coord[2]};
        const double h0[3] = {orig.Coord[0] - I[k].Coord[0], orig.Coord[1] - I[k].Coord[1],
                              orig.Coord[2] - I[k].Coord[2]};
        // 110.9 degrees from the C-C axis, bond length unchanged
        EXPECT_NEAR(std::acos(dot(axis, h) / std::sqrt(dot(axis, axis) * dot(h, h))) / kDeg, 110.9, 1e-9);
        EXPECT_NEAR(std::sqrt(dot(h, h)), std::sqrt(dot(h0, h0)), 1e-12);
        // moved within the plane of the axis and the original proton, on the same side
        const double n[3] = {axis[1] * h0[2] - axis[2] * h0[1], axis[2] * h0[0] - axis[0] * h0[2],
                             axis[0] * h0[1] - axis[1] * h0[0]};
        EXPECT_NEAR(dot(n, h), 0.0, 1e-9);
        EXPECT_GT(h[1] * h0[1] + h[2] * h0[2], 0.0);  // axis along x: compare the perpendicular parts
        EXPECT_FLOAT_EQ(J[k].X, static_cast<float>(J[k].Coord[0]));
    }
    EXPECT_EQ(J[0].atomName, "HB1");
    EXPECT_EQ(J[2].atomName, "HB3");

    // two protons per axis: the pairs come back as found
    I.clear();
    J.clear();
    EXPECT_EQ(p.getVectorEntries_Methyl_CH3(I, J, 5, "CB", 5, "HB#"), 4);
    ASSERT_EQ(J.size(), 4u);
    EXPECT_DOUBLE_EQ(J[0].Coord[0], 1.0);
    EXPECT_EQ(J[0].atomName, "HB2");
}

TEST(PDB, DisulfideMarking) {
    TempDir dir;
    std::string text;
    int s = 1;
    auto cys = [&](int res, double x) {
        text += atom(s, " CA", "CYS", res, x, 2, 0) + atom(s + 1, " SG", "CYS", res, x, 0, 0);
        s += 2;
    };
    cys(1, 0.0);
    cys(10, 2.0);     // bonded to 1
    cys(20, 50.0);    // free
    cys(30, 100.0);
    cys(32, 102.0);   // close in space, too close in sequence
    cys(40, 200.0);
    cys(44, 202.5);   // exactly 2.5 A: bonded
    text += atom(s, " CA", "ALA", 50, 0, 0, 1);
    PDB p = loadText(dir, text);
    for (int res : {1, 10, 40, 44}) {
        EXPECT_EQ(p.residList.at(res), "cys") << res;
        EXPECT_EQ(p.residListOne.at(res), "c") << res;
        EXPECT_TRUE(p.isSSBonded(1, res));
        EXPECT_EQ(p.residLists.at(1).at(res), "CYS");  // per-model lists keep the file's name
    }
    for (int res : {20, 30, 32}) {
        EXPECT_EQ(p.residList.at(res), "CYS") << res;
        EXPECT_EQ(p.residListOne.at(res), "C") << res;
        EXPECT_FALSE(p.isSSBonded(1, res));
    }
    EXPECT_FALSE(p.isSSBonded(1, 50));
    EXPECT_FALSE(p.isSSBonded(2, 1));
}

TEST(PDB, ShortAndMalformedLines) {
    TempDir dir;
    auto line = [](int serial) { return atom(serial, " CA", "ALA", 1, 1.5, 2.5, 3.5, 'A', ' ', "ATOM", 0.5, 12.34); };
    const std::string full = line(1).substr(0, 66);
    std::string text;
    text += line(1).substr(0, 53) + "\n";  // too short: skipped
    text += line(2).substr(0, 54) + "\n";  // no occupancy, no B-factor
    text += line(3).substr(0, 60) + "\n";  // occupancy only
    text += line(4).substr(0, 66) + "\n";  // both
    // garbage in the number fields never stops the reader:
    //       1-6     7-11  12-16  17 18-20 21 22 23-26 27-30 31-38       39-46       47-54       55-63
    text += "ATOM  " "*****" "  N  " " " "ALA" " " "A" "  x2" "    " "abc.def " "1.2.3   " "   -    " "   xxxxxx\n";
    PDB p = loadText(dir, text);
    ASSERT_TRUE(p.isLoaded);
    ASSERT_EQ(p.Conformers.at(1).size(), 4u);
    const CORdata a = p.getEntry(1, 2), b = p.getEntry(1, 3), c = p.getEntry(1, 4);
    EXPECT_EQ(a.atomName, "CA");
    EXPECT_FLOAT_EQ(a.Z, 3.5f);
    EXPECT_FLOAT_EQ(a.Occupancy, 1.0f);
    EXPECT_FLOAT_EQ(a.B_Factor, 1.0f);
    EXPECT_FLOAT_EQ(b.Occupancy, 0.5f);
    EXPECT_FLOAT_EQ(b.B_Factor, 1.0f);
    EXPECT_FLOAT_EQ(c.Occupancy, 0.5f);
    EXPECT_FLOAT_EQ(c.B_Factor, 12.34f);
    EXPECT_EQ(p.getEntry(1, 1).atomIndex, 0);
    const CORdata bad = p.getEntry(1, 0);
    EXPECT_EQ(bad.atomIndex, 1);
    EXPECT_EQ(bad.atomName, "N");
    EXPECT_EQ(bad.resNum, 0);
    EXPECT_EQ(bad.X, 0.0f);
    EXPECT_FLOAT_EQ(bad.Y, 1.2f);
    EXPECT_EQ(bad.Z, 0.0f);
    EXPECT_EQ(bad.Occupancy, 0.0f);
    EXPECT_EQ(bad.B_Factor, 1.0f);  // the line ends before column 66

    // a repeated serial number is answered with the later record
    PDB r = loadText(dir, atom(5, " N", "ALA", 1, 1, 0, 0) + atom(5, " CA", "ALA", 1, 2, 0, 0), "r.pdb");
    EXPECT_EQ(r.getEntry(1, 5).atomName, "CA");
    EXPECT_EQ(r.getEntry(1, 6).atomIndex, 0);
    EXPECT_EQ(r.getEntry(1, 1, "N").atomNum, 5);

    EXPECT_EQ(PDB::getField(full, 0), " ");
    EXPECT_EQ(PDB::getField(full, 1), "ATOM  ");
    EXPECT_EQ(PDB::getField(full, 2), "    1");
    EXPECT_EQ(PDB::getField(full, 3), "  CA ");
    EXPECT_EQ(PDB::getField(full, 4), "ALA ");
    EXPECT_EQ(PDB::getField(full, 5), "A");
    EXPECT_EQ(PDB::getField(full, 6), "   1");
    EXPECT_EQ(PDB::getField(full, 7), "   1.500");
    EXPECT_EQ(PDB::getField(full, 9), "   3.500");
    EXPECT_EQ(PDB::getField(full, 10), "  0.50");
    EXPECT_EQ(PDB::getField(full, 11), " 12.34");
    EXPECT_EQ(PDB::getField(full.substr(0, 58), 10), "  0.");
    EXPECT_EQ(PDB::getField(full.substr(0, 54), 11), "");
    EXPECT_EQ(PDB::getField(full, 12), "");
}

TEST(PDB, MissingFile) {
    testing::internal::CaptureStderr();
    PDB p("/nonexistent/dir/none.pdb");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\tCan't open file /nonexistent/dir/none.pdb for reading\n");
    EXPECT_FALSE(p.isLoaded);
    EXPECT_TRUE(p.isNull());
    EXPECT_EQ(p.conformer_count, 0);
    EXPECT_TRUE(p.Conformers.empty());
    EXPECT_TRUE(p.ATOMS.empty());
    EXPECT_TRUE(p.residList.empty());
    EXPECT_EQ(p.r1, 9999);
    EXPECT_EQ(p.rN, -9999);
    std::vector<CORdata> I, J;
    EXPECT_EQ(p.getVectorEntries(I, J, 1, "N", 1, "HN", "_"), 0);
    EXPECT_EQ(p.getEntry(1, 1, "N").atomIndex, 0);

    PDB e;
    EXPECT_TRUE(e.isNull());
    EXPECT_EQ(e.r1, 9999);
    EXPECT_EQ(e.rN, -9999);

    // reloading the same object: the old model goes, whatever the new file holds
    PDB r(std::string(ORVEX_TEST_DATA) + "/io/two_models.pdb");
    ASSERT_FALSE(r.isNull());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(r.loadPDB("/nonexistent/dir/none.pdb"));
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(r.isNull());
    EXPECT_EQ(r.conformer_count, 0);
    EXPECT_TRUE(r.residListOne.empty());
    EXPECT_EQ(r.r1, 9999);
}

TEST(PDB, ResidueCodes) {
    const char* three[] = {"ALA", "CYS", "ASP", "GLU", "PHE", "GLY", "HIS", "ILE", "LYS", "LEU",
                           "MET", "ASN", "PRO", "GLN", "ARG", "SER", "THR", "VAL", "TRP", "TYR"};
    const std::string one = "ACDEFGHIKLMNPQRSTVWY";
    for (int i = 0; i < 20; i++) {
        EXPECT_EQ(PDB::getOneAAName(three[i]), one.substr(i, 1));
        EXPECT_EQ(PDB::getThreeAAName(one[i]), three[i]);
    }
    EXPECT_EQ(PDB::getOneAAName("cys"), "c");
    EXPECT_EQ(PDB::getOneAAName("his"), "h");
    EXPECT_EQ(PDB::getOneAAName("HIS+"), "H");
    EXPECT_EQ(PDB::getOneAAName("LYS+"), "K");
    EXPECT_EQ(PDB::getOneAAName("ARG+"), "R");
    EXPECT_EQ(PDB::getOneAAName("HOH"), "X");
    EXPECT_EQ(PDB::getOneAAName("ala"), "X");
    EXPECT_EQ(PDB::getThreeAAName('c'), "cys");
    EXPECT_EQ(PDB::getThreeAAName('h'), "XXX");
    EXPECT_EQ(PDB::getThreeAAName('X'), "XXX");
    EXPECT_EQ(PDB::getThreeAAName(std::string("W")), "TRP");
    EXPECT_EQ(PDB::getThreeAAName(std::string("WW")), "XXX");
}

TEST(PDB, GeometryHelpers) {
    const Vec3 o = {0, 0, 0}, x = {1, 0, 0}, y = {0, 1, 0}, z = {0, 0, 1};
    const Vec3 p345 = {3, 4, 0};
    EXPECT_DOUBLE_EQ(PDB::getDist(o, p345), 5.0);
    EXPECT_NEAR(PDB::getBondAngle(x, o, y), 90.0, 1e-12);
    const Vec3 diag = {-1, 1, 0};
    EXPECT_NEAR(PDB::getBondAngle(x, o, diag), 135.0, 1e-12);

    // a = x, b = origin, c = z, d = z + (cos t, sin t, 0): the dihedral is t, positive clockwise
    // looking from b to c
    for (double t : {60.0, -60.0, 120.0, 0.0, -179.0}) {
        const Vec3 d = {std::cos(t * kDeg), std::sin(t * kDeg), 1};
        EXPECT_NEAR(PDB::getDihedralAngle(x, o, z, d), t, 1e-9) << t;
    }
    const Vec3 dTrans = {-1, 0, 1};
    EXPECT_NEAR(std::fabs(PDB::getDihedralAngle(x, o, z, dTrans)), 180.0, 1e-9);

    CORdata a, b, c;
    a.Coord[0] = 2;
    c.Coord[0] = 1;
    c.Coord[1] = 1;
    c.Coord[2] = 0.5;
    c.atomName = "H";
    const CORdata moved = PDB::setBondAngle(a, b, c, 30.0);
    EXPECT_NEAR(PDB::getBondAngle(a, b, moved), 30.0, 1e-9);
    EXPECT_NEAR(PDB::getDist(b, moved), PDB::getDist(b, c), 1e-12);
    EXPECT_NEAR(moved.Coord[1] / moved.Coord[2], 2.0, 1e-12);  // stays in the plane a-b-c
    EXPECT_EQ(moved.atomName, "H");
}

TEST(PDB, BackboneAndSideChainDihedrals) {
    TempDir dir;
    // Each dihedral a-b-c-d is built with b at the origin, c on z and a on x, so that it equals the
    // angle of d about z (checked against the hand-made frame in GeometryHelpers).
    const double phi = -65, chiVal = 175, chiSer = -70, decoy = 55;
    auto about = [](double t, double zz) {
        return std::array<double, 3>{std::cos(t * kDeg), std::sin(t * kDeg), zz};
    };
    std::string text;
    // phi of residue 2: C(1) N(2) CA(2) C(2)
    text += atom(1, " C", "GLY", 1, 1.33, 0, 0);
    text += atom(2, " N", "ALA", 2, 0, 0, 0) + atom(3, " CA", "ALA", 2, 0, 0, 1.46);
    auto c2 = about(phi, 1.96);
    text += atom(4, " C", "ALA", 2, c2[0], c2[1], c2[2]);
    // chi1 of VAL 3 uses CG1 (CG2 is a decoy); chi1 of SER 4 uses OG
    auto g1 = about(chiVal, 2.0), g2 = about(decoy, 2.0), og = about(chiSer, 2.0);
    text += atom(5, " N", "VAL", 3, 1.4, 0, -0.5) + atom(6, " CA", "VAL", 3, 0, 0, 0) +
            atom(7, " CB", "VAL", 3, 0, 0, 1.5) + atom(8, " CG1", "VAL", 3, g1[0], g1[1], g1[2]) +
            atom(9, " CG2", "VAL", 3, g2[0], g2[1], g2[2]);
    text += atom(10, " N", "SER", 4, 1.4, 0, -0.5) + atom(11, " CA", "SER", 4, 0, 0, 0) +
            atom(12, " CB", "SER", 4, 0, 0, 1.5) + atom(13, " CG", "SER", 4, g2[0], g2[1], g2[2]) +
            atom(14, " OG", "SER", 4, og[0], og[1], og[2]);
    PDB p = loadText(dir, text);
    EXPECT_NEAR(p.getPhi(1, 2), phi, 0.05);  // coordinates carry three decimals
    EXPECT_NEAR(p.getChi1(1, 3), chiVal, 0.05);
    EXPECT_NEAR(p.getChi1(1, 4), chiSer, 0.05);
    EXPECT_EQ(p.getPhi(1, 1), 9999.0);   // no residue 0
    EXPECT_EQ(p.getPsi(1, 4), 9999.0);   // no residue 5
    EXPECT_EQ(p.getChi2(1, 3), 9999.0);  // VAL has no chi2
    EXPECT_EQ(p.getChi1(2, 3), 9999.0);  // no conformer 2
}

TEST(PDB, SuperpositionRmsd) {
    // B = A * Q + t with Q a proper rotation (row vectors): rmsd 0, rot_m = Q^T
    const double A[5][3] = {{1, 2, 3}, {-2, 0.5, 1}, {0, -1, 4}, {3, 3, -1}, {-1, -2, -2}};
    const double c = std::cos(40 * kDeg), s = std::sin(40 * kDeg);
    const double Q[3][3] = {{c, s, 0}, {-s, c, 0}, {0, 0, 1}};
    std::vector<CORdata> va, vb, vm;
    DoubleD2 ma, mb;
    for (int k = 0; k < 5; k++) {
        CORdata ea, eb, em;
        for (int j = 0; j < 3; j++) {
            ea.Coord[j] = A[k][j];
            eb.Coord[j] = A[k][0] * Q[0][j] + A[k][1] * Q[1][j] + A[k][2] * Q[2][j] + (j + 1) * 10.0;
            em.Coord[j] = j == 0 ? -A[k][j] : A[k][j];
            ma[k][j] = ea.Coord[j];
            mb[k][j] = eb.Coord[j];
        }
        va.push_back(ea);
        vb.push_back(eb);
        vm.push_back(em);
    }
    PDB p;
    EXPECT_NEAR(p.rmsd(va, vb), 0.0, 1e-9);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_NEAR(p.rot_m[i][j], Q[j][i], 1e-9);
    EXPECT_NEAR(p.a_c[0], (1 - 2 + 0 + 3 - 1) / 5.0, 1e-12);
    EXPECT_NEAR(p.rmsd(ma, mb, 5), 0.0, 1e-9);

    // a mirror image cannot be superposed: rmsd > 0 and the rotation stays proper
    EXPECT_GT(p.rmsd(va, vm), 0.1);
    const auto& R = p.rot_m;
    const double det = R.at(0).at(0) * (R.at(1).at(1) * R.at(2).at(2) - R.at(1).at(2) * R.at(2).at(1)) -
                       R.at(0).at(1) * (R.at(1).at(0) * R.at(2).at(2) - R.at(1).at(2) * R.at(2).at(0)) +
                       R.at(0).at(2) * (R.at(1).at(0) * R.at(2).at(1) - R.at(1).at(1) * R.at(2).at(0));
    EXPECT_NEAR(det, 1.0, 1e-9);

    // two points at +-1 against two at +-2 on one line: rmsd 1
    std::vector<CORdata> la(2), lb(2);
    la[0].Coord[0] = 1;
    la[1].Coord[0] = -1;
    lb[0].Coord[0] = 2;
    lb[1].Coord[0] = -2;
    EXPECT_NEAR(p.rmsd(la, lb), 1.0, 1e-9);
}

TEST(PDB, VectorHelpersOfTheClass) {
    const float pi = static_cast<float>(3.14159265358979323846);
    EXPECT_EQ(PDB::arccos_(1.5f), 0.0f);
    EXPECT_FLOAT_EQ(PDB::arccos_(-1.5f), pi);
    EXPECT_FLOAT_EQ(PDB::arccos_(-1.0f), pi);
    EXPECT_FLOAT_EQ(PDB::arccos_(1.0f), 0.0f);
    for (float v : {0.9f, 0.5f, 0.2f, 0.0f, -0.3f, -0.5f, -0.8f})
        EXPECT_NEAR(PDB::arccos_(v), std::acos(static_cast<double>(v)), 1e-6) << v;
    EXPECT_EQ(PDB::sgn(0.0f), 1);
    EXPECT_EQ(PDB::sgn(-0.1f), -1);
    EXPECT_EQ(PDB::r_sign(-2.0f, 3.0f), 2.0);
    EXPECT_EQ(PDB::r_sign(2.0f, -0.5f), -2.0);

    Vec3 v = {3, 0, 4};
    EXPECT_EQ(PDB::Vec3Abs(v), 5.0f);
    PDB::Vec3Norm(v);
    EXPECT_DOUBLE_EQ(v[0], 0.6);
    Vec3 a = {1, 0, 0};
    const Vec3 b = {0, 1, 0};
    PDB::Vec3Cross(a, b);
    EXPECT_EQ(a[2], 1.0);
    EXPECT_EQ(PDB::Vec3Scalar(a, b), 0.0f);
    // row vector times Rz(90): (1, 0, 0) -> (0, -1, 0)
    const Mat3 rz = {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}};
    Vec3 e = {1, 0, 0};
    PDB::Mat3VecMult(e, rz);
    EXPECT_EQ(e[0], 0.0);
    EXPECT_EQ(e[1], -1.0);
    Vec3 f = {1, 2, 3};
    PDB::Vec3Sub(f, b);
    PDB::Vec3Scale(f, 2.0f);
    PDB::Vec3Add(f, b);
    EXPECT_EQ(f[1], 3.0);
    EXPECT_FLOAT_EQ(PDB::Vec3DiffAbs(f, b), std::sqrt(4.0f + 4.0f + 36.0f));
}

// The structures of the example data sets, when present on this machine.
TEST(PDB, ExampleStructures) {
    const std::string ubq = "/work/shared/data/ubiquitin-2mjb/2MJB.pdb";
    const std::string cam = "/work/shared/data/cam-iq-relax/2BE6_core_I_IV.pdb";
    if (!testutil::fileExists(ubq) || !testutil::fileExists(cam)) GTEST_SKIP() << "example data not present";
    PDB u(ubq);
    EXPECT_EQ(u.conformer_count, 20);
    EXPECT_EQ(u.r1, 1);
    EXPECT_EQ(u.rN, 76);
    EXPECT_EQ(u.atomCount(1), 1231);
    std::vector<CORdata> I, J;
    EXPECT_EQ(u.getVectorEntries(I, J, 2, "N", 2, "HN", "A"), 20);
    EXPECT_NEAR(PDB::getDist(I[0], J[0]), 1.0, 0.05);
    std::string seq;
    for (const auto& kv : u.residListOne) seq += kv.second;
    EXPECT_EQ(seq, "MQIFVKTLTGKTITLEVEPSDTIENVKAKIQDKEGIPPDQQRLIFAGKQLEDGRTLSDYNIQKESTLHLVLRLRGG");

    PDB m(cam);  // three complexes (chains A, D, G share residue numbers), left-aligned names
    EXPECT_EQ(m.conformer_count, 1);
    EXPECT_EQ(m.atomCount(1), 4257);
    I.clear();
    J.clear();
    EXPECT_EQ(m.getVectorEntries(I, J, 5, "N", 5, "HN", "A"), 1);
    EXPECT_EQ(m.getVectorEntries(I, J, 5, "N", 5, "HN", "D"), 1);
    EXPECT_EQ(I[0].chainName, "A");
    EXPECT_EQ(I[1].chainName, "D");
    EXPECT_NE(I[0].Coord[0], I[1].Coord[0]);
}

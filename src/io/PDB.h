// Structure files: fixed-column ATOM/HETATM records (or the atom table of a PDBx/mmCIF file, either
// perhaps gzipped) read into conformers (one per MODEL), the atom lookups from which couplings take
// their internuclear vectors (with methyl and methylene pseudo-atoms), residue-name lists and a few
// geometry utilities.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/Types.h"
#include "numeric/MatVec.h"  // Vec3, Mat3

// One atom of one conformer, as the lookups hand it out.
struct CORdata {
    int conformerIndex = 0;   // conformer (model) number
    int atomIndex = 0;        // 1 for every atom read from a file (0 in the EMPTY record)
    int atomNum = 0;          // serial number, columns 7-11
    int resNum = 0;           // residue number, columns 23-26
    std::string atomName;     // normalised: H -> HN, leading digit moved to the end (1HB -> HB1)
    std::string resName;      // columns 18-20, trimmed
    std::string chainName;    // column 22, a blank kept as " " (mmCIF: auth_asym_id, any length)
    std::string altLoc;       // column 17, a blank kept as " "
    float X = 0, Y = 0, Z = 0;
    float Occupancy = 0, B_Factor = 0;  // 1.0 when the line is too short to hold them
    Vec3 Coord = {0, 0, 0};   // (X, Y, Z) as doubles; what the geometry uses
    Vec3 wCoord = {0, 0, 0};  // second coordinate set for superposition code
    bool rotated = false;
    // A TER line as long as an atom line (archive files pad TER to 80 columns): stored and counted
    // like an atom, but it has a blank name and blank coordinates and stands for no atom.
    bool terRecord = false;
};
typedef CORdata PDB_Entry;

enum class RecordKind : unsigned char { Atom, Hetatm, Ter };

// One atom line as stored: names as indexes into PDB::names, coordinates once, as read
// (CORdata's double coordinates are these floats widened).
struct AtomRecord {
    float x = 0, y = 0, z = 0;
    float occupancy = 1, bFactor = 1;
    int atomNum = 0, resNum = 0;
    uint32_t atomName = 0, resName = 0, chainName = 0;  // chains of mmCIF files may be longer than 1
    char altLoc = ' ';
    RecordKind kind = RecordKind::Atom;
    bool replaced = false;  // a later record of the same conformer has the same serial number
};

// One matched atom pair as building a coupling reads it: coordinates as read, occupancy and
// alternate location of both atoms, and the conformer the pair belongs to.
struct AtomPair {
    struct Atom {
        float x = 0, y = 0, z = 0;
        float occupancy = 1;
        char altLoc = ' ';
    };
    Atom i, j;
    int conformer = 0;
};

// Conformer number -> every atom record of that conformer, in file order.
typedef std::map<int, std::vector<AtomRecord>> Mols;

// Name and serial index of one conformer: positions into its records.
struct AtomIndex {
    // Ordered by (resNum, atomName, altLoc, chainName); one position per key, the record read
    // last winning. Alternate locations ascend in text order (blank, A, B, ...) within a name.
    std::vector<int> byName;
    // The (residue number, name) key of each byName entry, searched instead of the records.
    std::vector<uint64_t> nameKeys;
    // Ordered by atomNum; one position per serial number, the record read last winning.
    std::vector<int> bySerial;
};
// Conformers whose records name the same atoms in the same order (the models of an NMR
// ensemble) share one index.
typedef std::shared_ptr<const AtomIndex> AtomTable;

class PDB {
public:
    bool isLoaded = false;
    std::string PDBfileName;
    CORdata EMPTY;                       // returned by failed lookups (atomIndex 0)
    Mols Conformers;                     // conformer -> atoms in file order
    int conformer_count = 0;             // number of entries of Conformers
    std::map<int, AtomTable> ATOMS;      // conformer -> name index (keys as in Conformers)
    std::vector<std::string> names;      // atom, residue and chain names, each once; AtomRecord indexes it
    std::map<int, std::map<int, std::string>> residLists;     // conformer -> residue -> name
    std::map<int, std::map<int, std::string>> residListsOne;  // conformer -> residue -> one letter
    std::map<int, std::string> residList;     // residue -> name over all conformers ("cys" when S-S bonded)
    std::map<int, std::string> residListOne;  // residue -> one letter ("c" when S-S bonded)
    int r1 = 9999;                       // smallest residue number of the ATOM records
    int rN = -9999;                      // largest residue number of the ATOM records
    DoubleD1 a_c, b_c;                   // centroids of the last rmsd superposition (keys 0..2)
    DoubleD2 rot_m;                      // its rotation: (b - b_c) * rot_m ~ (a - a_c), row vectors

    PDB() = default;
    explicit PDB(const std::string& fileName);

    // ---- loading ----
    // PDB or PDBx/mmCIF, plain or gzipped (see StructureInput.h); false (and an empty model) when
    // the file cannot be read or is damaged.
    bool loadPDB(const std::string& fileName);
    bool isNull() const { return !isLoaded; }
    static void loadPDB_Entry(const std::string& line, CORdata& entry);
    // Raw column field 0..11 of a coordinate line (0 alt loc, 1 record, 2 serial, 3 name,
    // 4 residue name, 5 chain, 6 residue number, 7-9 x y z, 10 occupancy, 11 B-factor);
    // empty for any other index or beyond the line's end.
    static std::string getField(const std::string& line, int index);
    static std::string getOneAAName(const std::string& threeLetter);
    static std::string getThreeAAName(char oneLetter);
    static std::string getThreeAAName(const std::string& oneLetter);

    // Entries of conformer conf keyed by residue number, atom name and alternate location (atoms of
    // several chains with the same residue number and name count once; padded TER records count);
    // 0 when the conformer is absent. The structure announcement prints it for conformer 1.
    int atomCount(int conf) const;

    // Visits the atoms of conformer conf in file order, visit(const CORdata&), one record per
    // serial number (a record whose serial number comes again later in the conformer is replaced
    // by the later one and not visited). Padded TER records are visited with terRecord set.
    template <class Visit>
    void forEachAtom(int conf, Visit&& visit) const {
        auto it = Conformers.find(conf);
        if (it == Conformers.end()) return;
        CORdata entry;
        for (const AtomRecord& a : it->second) {
            if (a.replaced) continue;
            fillEntry(it->first, a, entry);
            visit(static_cast<const CORdata&>(entry));
        }
    }
    // The lookup record of a stored atom of conformer conf.
    void fillEntry(int conf, const AtomRecord& atom, CORdata& entry) const;

    // ---- atom lookups ----
    CORdata getEntry(int conf, int atomNum) const;
    // First alternate location in text order (blank, A, B, ...); EMPTY when absent.
    CORdata getEntry(int conf, int res, const std::string& atomName) const;
    CORdata getEntry(int conf, int res, const std::string& atomName, const std::string& altLoc) const;
    // Appends the atom of every conformer (ascending), every alternate location; returns the count.
    int getEntries(std::vector<CORdata>& list, int res, const std::string& atomName) const;
    // Pairs I/J per conformer and common alternate location, same chain, chain "_" or "" for any;
    // names with '#' or '|' go to getVectorEntries_Methylene_CH2. Returns the number of pairs.
    int getVectorEntries(std::vector<CORdata>& listI, std::vector<CORdata>& listJ, int resI,
                         const std::string& nameI, int resJ, const std::string& nameJ,
                         const std::string& chain) const;
    // Methyl symmetry axis: the carbon with the heavy atom it is bonded to.
    int getVectorEntries_Methyl_CC(std::vector<CORdata>& listI, std::vector<CORdata>& listJ, int resI,
                                   const std::string& nameI, int resJ, const std::string& nameJ) const;
    // Carbon with its three protons placed at 110.9 degrees from the methyl axis.
    int getVectorEntries_Methyl_CH3(std::vector<CORdata>& listI, std::vector<CORdata>& listJ, int resI,
                                    const std::string& nameI, int resJ, const std::string& nameJ) const;
    // Heavy atom (listI) with the protons of a pseudo-atom "HB#" or "HB2|HB3" (listJ).
    int getVectorEntries_Methylene_CH2(std::vector<CORdata>& listI, std::vector<CORdata>& listJ, int resI,
                                       const std::string& nameI, int resJ, const std::string& nameJ) const;
    // The same pairs as getVectorEntries, getVectorEntries_Methyl_CC and getVectorEntries_Methyl_CH3
    // (same rules, same order, same messages), appended to `pairs` as coordinates, occupancies and
    // alternate locations only. Returns the number of pairs.
    int getVectorPairs(std::vector<AtomPair>& pairs, int resI, const std::string& nameI, int resJ,
                       const std::string& nameJ, const std::string& chain) const;
    int getVectorPairs_Methyl_CC(std::vector<AtomPair>& pairs, int resI, const std::string& nameI, int resJ,
                                 const std::string& nameJ) const;
    int getVectorPairs_Methyl_CH3(std::vector<AtomPair>& pairs, int resI, const std::string& nameI, int resJ,
                                  const std::string& nameJ) const;

    // ---- geometry (angles in degrees) ----
    static double getDist(const Vec3 a, const Vec3 b);
    static double getDist(const CORdata& a, const CORdata& b);
    static double getBondAngle(const Vec3 a, const Vec3 b, const Vec3 c);
    static double getBondAngle(const CORdata& a, const CORdata& b, const CORdata& c);
    // Copy of c moved in the plane a-b-c so that angle a-b-c = angle, its distance to b kept.
    static CORdata setBondAngle(const CORdata& a, const CORdata& b, const CORdata& c, double angle);
    // Signed dihedral a-b-c-d in (-180, 180], positive clockwise looking from b to c.
    static double getDihedralAngle(const Vec3 a, const Vec3 b, const Vec3 c, const Vec3 d);
    static double getDihedralAngle(const CORdata& a, const CORdata& b, const CORdata& c, const CORdata& d);
    // Backbone and side-chain dihedrals of residue res; 9999 when an atom is missing.
    double getPhi(int conf, int res) const;     // C(i-1) N CA C
    double getPsi(int conf, int res) const;     // N CA C N(i+1)
    double getOmega(int conf, int res) const;   // CA C N(i+1) CA(i+1)
    double getChi1(int conf, int res) const;    // N CA CB (CG, CG1, OG1, OG or SG)
    double getChi2(int conf, int res) const;    // CA CB CG(1) CD/CD1/OD1/ND1/SD
    // SG within 2.5 A of the SG of another cysteine at least 4 residues away.
    bool isSSBonded(int conf, int res) const;
    // Superposition RMSD; the maps pair their first n entries in key order (index -> 0..2 -> value).
    double rmsd(const DoubleD2& a, const DoubleD2& b, int n);
    double rmsd(const std::vector<CORdata>& a, const std::vector<CORdata>& b);
    // Shared SVD solver: a (m x n, zero-based) := U, w := singular values, v := V. Returns 1.
    int svd_(double** a, int m, int n, double* w, double** v);

    // ---- vector helpers (lengths in single precision, like the stored coordinates) ----
    static void Vec3Zero(Vec3 v);
    static void Vec3Copy(Vec3 dst, const Vec3 src);
    static float Vec3Abs(const Vec3 v);
    static float Vec3DiffAbs(const Vec3 a, const Vec3 b);
    static void Vec3Norm(Vec3 v);                 // divides by the length rounded to float
    static void Vec3Scale(Vec3 v, float s);
    static void Vec3Add(Vec3 a, const Vec3 b);
    static void Vec3Sub(Vec3 a, const Vec3 b);
    static float Vec3Scalar(const Vec3 a, const Vec3 b);
    static void Vec3Cross(Vec3 a, const Vec3 b);
    static void Mat3VecMult(Vec3 v, const Mat3 M);  // v := v * M
    static int sgn(float x);                        // -1 for x < 0, else +1
    static float arccos_(float x);                  // clamped arc cosine
    static double r_sign(float a, float b);         // |a| with the sign of b

private:
    friend class AtomModelBuilder;
    std::unordered_map<std::string, uint32_t> nameIds_;  // names[i] -> i

    // Index of a name in `names`, or -1 when no record carries it.
    long nameId(const std::string& name) const;
    // Positions [first, last) of `byName` holding (res, name) of one conformer.
    struct KeyRange {
        const int* first;
        const int* last;
    };
    static KeyRange findKey(const AtomIndex& index, int res, long name);
    CORdata entryOf(int conf, const AtomRecord& atom) const;
    // The atom (conf, res, name) at alternate location altLoc (a character code), or at the first
    // one in text order for kFirstAltLoc.
    static constexpr int kFirstAltLoc = -1;
    CORdata entryWithAltLoc(int conf, int res, const std::string& atomName, int altLoc) const;
    void appendEntry(std::vector<CORdata>& list, int conf, const AtomRecord& atom) const;
    // The pairing rules, once for both kinds of result: each pair found is handed to
    // emit(conformer, atom I, atom J) in order. Return the number of pairs.
    template <class Emit>
    int pairAtoms(int resI, const std::string& nameI, int resJ, const std::string& nameJ, const std::string& chain,
                  Emit&& emit) const;
    template <class Emit>
    int vectorPairs(int resI, const std::string& nameI, int resJ, const std::string& nameJ, const std::string& chain,
                    Emit&& emit) const;
    template <class Emit>
    int methylenePairs(int resI, const std::string& nameI, int resJ, const std::string& nameJ, Emit&& emit) const;
    template <class Emit>
    int methylAxisPairs(int resI, const std::string& nameI, int resJ, const std::string& nameJ, Emit&& emit) const;
    double dihedralOf(int conf, int resA, const char* a, int resB, const char* b, int resC, const char* c,
                      int resD, const char* d) const;
};

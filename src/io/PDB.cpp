// Structure files: reading ATOM/HETATM records into conformers, the name index, the atom and
// pseudo-atom lookups for internuclear vectors, residue lists and the geometry utilities.
#include "io/PDB.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <numeric>
#include <string_view>

#include "io/GDB.h"
#include "numeric/SVD.h"

namespace {

const double kPi = 3.14159265358979323846;
const double kMissingAngle = 9999.0;       // dihedral of a residue with a missing atom
const double kMethylHCCAngle = 110.9;      // idealised angle between a methyl C-H bond and its C-C axis
const double kSSBondMaxDist = 2.5;         // SG-SG distance (A) of a disulfide bond
const int kSSBondMinSeparation = 4;        // residues between two bonded cysteines, at least

// Text of the 1-based columns first..last of a coordinate line; what lies past the line's end is
// not read.
std::string_view field(std::string_view line, size_t first, size_t last) {
    if (first > line.size()) return std::string_view();
    const size_t stop = std::min(last, line.size());
    return line.substr(first - 1, stop - (first - 1));
}

std::string trimmed(std::string_view text) { return GDB::simplifyWhiteSpace(std::string(text)); }

// strtol/strtod on the column text: a malformed field reads as 0 (or as its valid prefix).
long toLong(std::string_view text) {
    char tmp[32];
    const size_t n = std::min(text.size(), sizeof tmp - 1);
    std::memcpy(tmp, text.data(), n);
    tmp[n] = '\0';
    return std::strtol(tmp, nullptr, 10);
}

double toDouble(std::string_view text) {
    char tmp[32];
    const size_t n = std::min(text.size(), sizeof tmp - 1);
    std::memcpy(tmp, text.data(), n);
    tmp[n] = '\0';
    return std::strtod(tmp, nullptr);
}

bool startsWith(std::string_view line, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return line.size() >= n && line.compare(0, n, prefix) == 0;
}

void parseAtomLine(std::string_view line, CORdata& e) {
    e.atomNum = static_cast<int>(toLong(field(line, 7, 11)));
    std::string name = trimmed(field(line, 12, 16));
    if (name == "H") name = "HN";
    if (!name.empty() && (name[0] == '1' || name[0] == '2' || name[0] == '3'))
        name = name.substr(1) + name[0];  // 1HB -> HB1, 2HG1 -> HG12
    e.atomName = std::move(name);
    e.resName = trimmed(field(line, 18, 20));
    e.chainName = std::string(field(line, 22, 22));
    e.altLoc = std::string(field(line, 17, 17));
    e.resNum = static_cast<int>(toLong(field(line, 23, 26)));
    e.X = static_cast<float>(toDouble(field(line, 31, 38)));
    e.Y = static_cast<float>(toDouble(field(line, 39, 46)));
    e.Z = static_cast<float>(toDouble(field(line, 47, 54)));
    e.Occupancy = line.size() > 59 ? static_cast<float>(toDouble(field(line, 55, 60))) : 1.0f;
    e.B_Factor = line.size() > 65 ? static_cast<float>(toDouble(field(line, 61, 66))) : 1.0f;
    e.rotated = false;
    e.Coord[0] = e.X;
    e.Coord[1] = e.Y;
    e.Coord[2] = e.Z;
}

// Reads a file line by line through one growing buffer; a line is valid until the next call.
// The newline and one trailing carriage return are stripped.
class LineReader {
public:
    explicit LineReader(FILE* f) : f_(f), buf_(1 << 20) {}
    bool next(std::string_view& line) {
        while (true) {
            const char* base = buf_.data();
            const void* nl = end_ > pos_ ? std::memchr(base + pos_, '\n', end_ - pos_) : nullptr;
            if (nl) {
                const size_t at = static_cast<const char*>(nl) - base;
                line = std::string_view(base + pos_, at - pos_);
                pos_ = at + 1;
                stripCR(line);
                return true;
            }
            if (eof_) {
                if (pos_ >= end_) return false;
                line = std::string_view(base + pos_, end_ - pos_);
                pos_ = end_;
                stripCR(line);
                return true;
            }
            const size_t rest = end_ - pos_;
            std::memmove(buf_.data(), buf_.data() + pos_, rest);
            pos_ = 0;
            end_ = rest;
            if (end_ == buf_.size()) buf_.resize(buf_.size() * 2);
            const size_t got = std::fread(buf_.data() + end_, 1, buf_.size() - end_, f_);
            end_ += got;
            if (got == 0) eof_ = true;
        }
    }

private:
    static void stripCR(std::string_view& line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    }
    FILE* f_;
    std::vector<char> buf_;
    size_t pos_ = 0, end_ = 0;
    bool eof_ = false;
};

// Order of the name index: residue, name, alternate location, chain.
int compareKey(const CORdata& a, const CORdata& b) {
    if (a.resNum != b.resNum) return a.resNum < b.resNum ? -1 : 1;
    if (int c = a.atomName.compare(b.atomName)) return c;
    if (int c = a.altLoc.compare(b.altLoc)) return c;
    return a.chainName.compare(b.chainName);
}

int comparePrefix(const CORdata& a, int res, const std::string& name) {
    if (a.resNum != res) return a.resNum < res ? -1 : 1;
    return a.atomName.compare(name);
}

// One alternate location of one (residue, name) in one conformer: positions [first, last) in the
// name index, one per chain.
struct AltRun {
    const int* first;
    const int* last;
};

// Splits the index range of (res, name) into runs of equal alternate location (ascending).
std::vector<AltRun> altRuns(const std::vector<CORdata>& atoms, const AtomTable& table, int res,
                            const std::string& name) {
    std::vector<AltRun> runs;
    const int* begin = table.byName.data();
    const int* end = begin + table.byName.size();
    const int* lo = std::lower_bound(begin, end, 0, [&](int pos, int) { return comparePrefix(atoms[pos], res, name) < 0; });
    const int* hi = lo;
    while (hi != end && comparePrefix(atoms[*hi], res, name) == 0) hi++;
    for (const int* p = lo; p != hi;) {
        const int* q = p + 1;
        while (q != hi && atoms[*q].altLoc == atoms[*p].altLoc) q++;
        runs.push_back({p, q});
        p = q;
    }
    return runs;
}

// The record read last among the chains of a run: what a lookup without chain answers.
int lastOfRun(const AltRun& run) { return *std::max_element(run.first, run.last); }

int chainOfRun(const std::vector<CORdata>& atoms, const AltRun& run, const std::string& chain) {
    for (const int* p = run.first; p != run.last; p++)
        if (atoms[*p].chainName == chain) return *p;
    return -1;
}

bool beginsWithC(const std::string& name) { return !name.empty() && name[0] == 'C'; }

void sameResidError() { std::cerr << "DC Error: all methylene atoms must be defined with a same RESID\n"; }

// Heavy atom bonded to a methyl carbon: the methyl symmetry axis.
std::string methylPartner(const std::string& resName, const std::string& carbon) {
    if (resName == "ALA" && carbon == "CB") return "CA";
    if (resName == "MET" && carbon == "CE") return "SD";
    if (resName == "ILE" && carbon == "CD1") return "CG1";
    if (resName == "ILE" && carbon == "CG2") return "CB";
    if (resName == "VAL" && (carbon == "CG1" || carbon == "CG2")) return "CB";
    if (resName == "THR" && carbon == "CG2") return "CB";
    if (resName == "LEU" && (carbon == "CD1" || carbon == "CD2")) return "CG";
    return std::string();
}

}  // namespace

// ---------------------------------------------------------------- loading

PDB::PDB(const std::string& fileName) { isLoaded = loadPDB(fileName); }

void PDB::loadPDB_Entry(const std::string& line, CORdata& entry) { parseAtomLine(line, entry); }

std::string PDB::getField(const std::string& line, int index) {
    static const int cols[12][2] = {{17, 17}, {1, 6},   {7, 11},  {12, 16}, {18, 21}, {22, 22},
                                    {23, 26}, {31, 38}, {39, 46}, {47, 54}, {55, 60}, {61, 66}};
    if (index < 0 || index > 11) return std::string();
    return std::string(field(line, cols[index][0], cols[index][1]));
}

bool PDB::loadPDB(const std::string& fileName) {
    Conformers.clear();
    ATOMS.clear();
    residLists.clear();
    residListsOne.clear();
    residList.clear();
    residListOne.clear();
    conformer_count = 0;
    isLoaded = false;
    r1 = 9999;
    rN = -9999;
    PDBfileName = fileName;

    FILE* f = std::fopen(fileName.c_str(), "rb");
    if (!f) {
        std::cerr << "\tCan't open file " << fileName << " for reading" << std::endl;
        return false;
    }
    LineReader reader(f);
    std::string_view line;
    int current = 1;                            // conformer the next atoms belong to
    std::vector<CORdata>* pending = nullptr;    // atoms of the current conformer (stored as read)
    size_t lastModelSize = 0;
    int lastConf = 0, lastRes = 0;
    std::string lastResName;
    bool haveLast = false;
    CORdata entry;
    entry.atomIndex = 1;

    while (reader.next(line)) {
        if (startsWith(line, "ATOM") || startsWith(line, "HETATM") || startsWith(line, "TER")) {
            if (line.size() < 54) continue;
            parseAtomLine(line, entry);
            entry.conformerIndex = current;
            entry.terRecord = startsWith(line, "TER");
            if (!pending) {
                pending = &Conformers[current];
                pending->reserve(pending->size() + lastModelSize);
            }
            pending->push_back(entry);
            // residue lists: last write wins, so only changes need writing. A padded TER record
            // repeats the name of the chain's last residue; one without a residue name names no
            // residue and leaves the lists alone.
            const bool namesResidue = !entry.terRecord || !entry.resName.empty();
            if (namesResidue && (!haveLast || lastConf != current || lastRes != entry.resNum || lastResName != entry.resName)) {
                const std::string one = getOneAAName(entry.resName);
                residLists[current][entry.resNum] = entry.resName;
                residListsOne[current][entry.resNum] = one;
                residList[entry.resNum] = entry.resName;
                residListOne[entry.resNum] = one;
                lastConf = current;
                lastRes = entry.resNum;
                lastResName = entry.resName;
                haveLast = true;
            }
            if (startsWith(line, "ATOM")) {
                r1 = std::min(r1, entry.resNum);
                rN = std::max(rN, entry.resNum);
            }
        } else if (startsWith(line, "END")) {  // END and ENDMDL
            if (pending) lastModelSize = pending->size();
            pending = nullptr;
            current++;
        } else if (startsWith(line, "MODEL")) {
            if (pending) lastModelSize = pending->size();
            pending = nullptr;
            current = static_cast<int>(toLong(field(line, 7, 16)));
        }
    }
    std::fclose(f);
    isLoaded = true;

    for (auto& kv : Conformers) storeConformerIndex(kv.first);
    conformer_count = static_cast<int>(Conformers.size());

    // Disulfide-bonded cysteines, judged in the first conformer (conformer 1 in every file that
    // numbers its models from 1).
    if (!ATOMS.empty()) {
        const int conf = ATOMS.count(1) ? 1 : ATOMS.begin()->first;
        for (auto& kv : residListOne) {
            if (kv.second == "C" && isSSBonded(conf, kv.first)) {
                kv.second = "c";
                residList[kv.first] = "cys";
            }
        }
    }
    return true;
}

void PDB::storeConformerIndex(int conf) {
    const std::vector<CORdata>& atoms = Conformers[conf];
    AtomTable& table = ATOMS[conf];
    const int n = static_cast<int>(atoms.size());

    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const int c = compareKey(atoms[a], atoms[b]);
        return c != 0 ? c < 0 : a < b;
    });
    table.byName.clear();
    for (int i = 0; i < n; i++) {  // keep the last record of each key
        if (i + 1 < n && compareKey(atoms[order[i]], atoms[order[i + 1]]) == 0) continue;
        table.byName.push_back(order[i]);
    }

    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return atoms[a].atomNum < atoms[b].atomNum; });
    table.bySerial.clear();
    for (int i = 0; i < n; i++) {
        if (i + 1 < n && atoms[order[i]].atomNum == atoms[order[i + 1]].atomNum) continue;
        table.bySerial.push_back(order[i]);
    }
}

std::string PDB::getOneAAName(const std::string& name) {
    static const std::map<std::string, std::string> codes = {
        {"ALA", "A"}, {"CYS", "C"}, {"cys", "c"},  {"ASP", "D"},  {"GLU", "E"}, {"PHE", "F"},
        {"GLY", "G"}, {"HIS", "H"}, {"HIS+", "H"}, {"his", "h"},  {"ILE", "I"}, {"LYS", "K"},
        {"LYS+", "K"}, {"LEU", "L"}, {"MET", "M"}, {"ASN", "N"},  {"PRO", "P"}, {"GLN", "Q"},
        {"ARG", "R"}, {"ARG+", "R"}, {"SER", "S"}, {"THR", "T"},  {"VAL", "V"}, {"TRP", "W"},
        {"TYR", "Y"}};
    auto it = codes.find(name);
    return it == codes.end() ? std::string("X") : it->second;
}

std::string PDB::getThreeAAName(char c) {
    switch (c) {
        case 'A': return "ALA";
        case 'C': return "CYS";
        case 'c': return "cys";
        case 'D': return "ASP";
        case 'E': return "GLU";
        case 'F': return "PHE";
        case 'G': return "GLY";
        case 'H': return "HIS";
        case 'I': return "ILE";
        case 'K': return "LYS";
        case 'L': return "LEU";
        case 'M': return "MET";
        case 'N': return "ASN";
        case 'P': return "PRO";
        case 'Q': return "GLN";
        case 'R': return "ARG";
        case 'S': return "SER";
        case 'T': return "THR";
        case 'V': return "VAL";
        case 'W': return "TRP";
        case 'Y': return "TYR";
        default: return "XXX";
    }
}

std::string PDB::getThreeAAName(const std::string& oneLetter) {
    return oneLetter.size() == 1 ? getThreeAAName(oneLetter[0]) : std::string("XXX");
}

int PDB::atomCount(int conf) const {
    const std::vector<CORdata>* atoms = conformerAtoms(conf);
    const AtomTable* table = conformerTable(conf);
    if (!atoms || !table) return 0;
    // byName is ordered by residue, name, alternate location, chain: the chains of one key are
    // neighbours
    int count = 0;
    const CORdata* previous = nullptr;
    for (int pos : table->byName) {
        const CORdata& a = (*atoms)[pos];
        if (!previous || previous->resNum != a.resNum || previous->atomName != a.atomName ||
            previous->altLoc != a.altLoc)
            count++;
        previous = &a;
    }
    return count;
}

// ---------------------------------------------------------------- lookups

const std::vector<CORdata>* PDB::conformerAtoms(int conf) const {
    auto it = Conformers.find(conf);
    return it == Conformers.end() ? nullptr : &it->second;
}

const AtomTable* PDB::conformerTable(int conf) const {
    auto it = ATOMS.find(conf);
    return it == ATOMS.end() ? nullptr : &it->second;
}

CORdata PDB::getEntry(int conf, int atomNum) const {
    const std::vector<CORdata>* atoms = conformerAtoms(conf);
    const AtomTable* table = conformerTable(conf);
    if (!atoms || !table) return EMPTY;
    const std::vector<int>& s = table->bySerial;
    auto it = std::lower_bound(s.begin(), s.end(), atomNum,
                               [&](int pos, int num) { return (*atoms)[pos].atomNum < num; });
    if (it == s.end() || (*atoms)[*it].atomNum != atomNum) return EMPTY;
    return (*atoms)[*it];
}

CORdata PDB::getEntry(int conf, int res, const std::string& atomName) const {
    const std::vector<CORdata>* atoms = conformerAtoms(conf);
    const AtomTable* table = conformerTable(conf);
    if (!atoms || !table) return EMPTY;
    const std::vector<AltRun> runs = altRuns(*atoms, *table, res, atomName);
    if (runs.empty()) return EMPTY;
    return (*atoms)[lastOfRun(runs.front())];
}

CORdata PDB::getEntry(int conf, int res, const std::string& atomName, const std::string& altLoc) const {
    const std::vector<CORdata>* atoms = conformerAtoms(conf);
    const AtomTable* table = conformerTable(conf);
    if (!atoms || !table) return EMPTY;
    for (const AltRun& run : altRuns(*atoms, *table, res, atomName))
        if ((*atoms)[*run.first].altLoc == altLoc) return (*atoms)[lastOfRun(run)];
    return EMPTY;
}

int PDB::getEntries(std::vector<CORdata>& list, int res, const std::string& atomName) const {
    int count = 0;
    for (const auto& kv : ATOMS) {
        const std::vector<CORdata>& atoms = Conformers.at(kv.first);
        for (const AltRun& run : altRuns(atoms, kv.second, res, atomName)) {
            list.push_back(atoms[lastOfRun(run)]);
            count++;
        }
    }
    return count;
}

// Ordinary pairing: per conformer (ascending) and per alternate location present for both atoms.
int PDB::pairAtoms(std::vector<CORdata>& listI, std::vector<CORdata>& listJ, int resI, const std::string& nameI,
                   int resJ, const std::string& nameJ, const std::string& chain) const {
    const bool anyChain = chain.empty() || chain == "_";
    int count = 0;
    for (const auto& kv : ATOMS) {
        const std::vector<CORdata>& atoms = Conformers.at(kv.first);
        const std::vector<AltRun> runsI = altRuns(atoms, kv.second, resI, nameI);
        if (runsI.empty()) continue;
        const std::vector<AltRun> runsJ = altRuns(atoms, kv.second, resJ, nameJ);
        for (const AltRun& ri : runsI) {
            const std::string& alt = atoms[*ri.first].altLoc;
            for (const AltRun& rj : runsJ) {
                if (atoms[*rj.first].altLoc != alt) continue;
                int i, j;
                if (anyChain) {
                    i = lastOfRun(ri);
                    j = lastOfRun(rj);
                    if (atoms[i].chainName != atoms[j].chainName) break;
                } else {
                    // The index keeps every chain, so a chain filter finds its chain even where
                    // several chains share residue numbers.
                    i = chainOfRun(atoms, ri, chain);
                    j = chainOfRun(atoms, rj, chain);
                    if (i < 0 || j < 0) break;
                }
                listI.push_back(atoms[i]);
                listJ.push_back(atoms[j]);
                count++;
                break;
            }
        }
    }
    return count;
}

int PDB::getVectorEntries(std::vector<CORdata>& listI, std::vector<CORdata>& listJ, int resI,
                          const std::string& nameI, int resJ, const std::string& nameJ,
                          const std::string& chain) const {
    const bool pseudo = nameI.find_first_of("#|") != std::string::npos || nameJ.find_first_of("#|") != std::string::npos;
    if (pseudo) return getVectorEntries_Methylene_CH2(listI, listJ, resI, nameI, resJ, nameJ);
    return pairAtoms(listI, listJ, resI, nameI, resJ, nameJ, chain);
}

int PDB::getVectorEntries_Methylene_CH2(std::vector<CORdata>& listI, std::vector<CORdata>& listJ, int resI,
                                        const std::string& nameI, int resJ, const std::string& nameJ) const {
    if (resI != resJ) {
        sameResidError();
        return 0;
    }
    std::string heavy, proton;
    if (beginsWithC(nameI)) {
        heavy = nameI;
        proton = nameJ;
    } else if (beginsWithC(nameJ)) {
        heavy = nameJ;
        proton = nameI;
    } else {
        return 0;
    }
    int count = 0;
    if (proton.find('|') != std::string::npos) {
        for (const std::string& alt : GDB::split('|', proton)) count += pairAtoms(listI, listJ, resI, heavy, resI, alt, "_");
        return count;
    }
    const size_t hash = proton.find('#');
    if (hash == std::string::npos) return 0;
    const std::string prefix = proton.substr(0, hash);
    for (const char* n : {"1", "2", "3"}) count += pairAtoms(listI, listJ, resI, heavy, resI, prefix + n, "_");
    if (proton.find('\'') != std::string::npos) {  // sugar methylene: H5' and H5''
        count += pairAtoms(listI, listJ, resI, heavy, resI, prefix, "_");
        count += pairAtoms(listI, listJ, resI, heavy, resI, prefix + "'", "_");
    }
    return count;
}

int PDB::getVectorEntries_Methyl_CC(std::vector<CORdata>& listI, std::vector<CORdata>& listJ, int resI,
                                    const std::string& nameI, int resJ, const std::string& nameJ) const {
    if (resI != resJ) {
        sameResidError();
        return 0;
    }
    const bool carbonFirst = beginsWithC(nameI);
    if (!carbonFirst && !beginsWithC(nameJ)) return 0;
    const std::string& carbon = carbonFirst ? nameI : nameJ;
    auto res = residList.find(resI);
    if (res == residList.end()) return 0;
    const std::string partner = methylPartner(res->second, carbon);
    if (partner.empty()) return 0;
    if (carbonFirst) return pairAtoms(listI, listJ, resI, carbon, resI, partner, "_");
    return pairAtoms(listI, listJ, resI, partner, resI, carbon, "_");
}

int PDB::getVectorEntries_Methyl_CH3(std::vector<CORdata>& listI, std::vector<CORdata>& listJ, int resI,
                                     const std::string& nameI, int resJ, const std::string& nameJ) const {
    if (resI != resJ) {
        sameResidError();
        return 0;
    }
    std::vector<CORdata> carbons, protons;  // carbon first, whatever the input order
    const int nH = getVectorEntries_Methylene_CH2(carbons, protons, resI, nameI, resJ, nameJ);
    std::vector<CORdata> axisI, axisJ;
    const int nAxis = getVectorEntries_Methyl_CC(axisI, axisJ, resI, nameI, resJ, nameJ);
    if (nAxis > 0 && nH == 3 * nAxis) {
        const bool carbonFirst = beginsWithC(nameI);
        // conformer by conformer: the carbon and its three protons
        std::vector<int> order(nH);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return carbons[a].conformerIndex < carbons[b].conformerIndex; });
        for (int k : order) {
            const CORdata& c = carbons[k];
            CORdata h = protons[k];
            for (int a = 0; a < nAxis; a++) {
                const CORdata& axisCarbon = carbonFirst ? axisI[a] : axisJ[a];
                const CORdata& bonded = carbonFirst ? axisJ[a] : axisI[a];
                if (axisCarbon.conformerIndex == c.conformerIndex && axisCarbon.altLoc == c.altLoc) {
                    h = setBondAngle(bonded, c, h, kMethylHCCAngle);
                    break;
                }
            }
            listI.push_back(c);
            listJ.push_back(h);
        }
        return nH;
    }
    listI.insert(listI.end(), carbons.begin(), carbons.end());
    listJ.insert(listJ.end(), protons.begin(), protons.end());
    return nH;
}

// ---------------------------------------------------------------- geometry

double PDB::getDist(const Vec3 a, const Vec3 b) {
    const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

double PDB::getDist(const CORdata& a, const CORdata& b) { return getDist(a.Coord, b.Coord); }

double PDB::getBondAngle(const Vec3 a, const Vec3 b, const Vec3 c) {
    const double u[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    const double v[3] = {c[0] - b[0], c[1] - b[1], c[2] - b[2]};
    const double cx = u[1] * v[2] - u[2] * v[1], cy = u[2] * v[0] - u[0] * v[2], cz = u[0] * v[1] - u[1] * v[0];
    const double cross = std::sqrt(cx * cx + cy * cy + cz * cz);
    const double dot = u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
    return std::atan2(cross, dot) * 180.0 / kPi;
}

double PDB::getBondAngle(const CORdata& a, const CORdata& b, const CORdata& c) {
    return getBondAngle(a.Coord, b.Coord, c.Coord);
}

CORdata PDB::setBondAngle(const CORdata& a, const CORdata& b, const CORdata& c, double angle) {
    CORdata moved = c;
    double u[3] = {a.Coord[0] - b.Coord[0], a.Coord[1] - b.Coord[1], a.Coord[2] - b.Coord[2]};
    const double w[3] = {c.Coord[0] - b.Coord[0], c.Coord[1] - b.Coord[1], c.Coord[2] - b.Coord[2]};
    const double lu = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    const double r = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    if (lu == 0.0 || r == 0.0) return moved;  // no plane to move in
    for (double& x : u) x /= lu;
    const double along = w[0] * u[0] + w[1] * u[1] + w[2] * u[2];
    double p[3] = {w[0] - along * u[0], w[1] - along * u[1], w[2] - along * u[2]};
    double lp = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    if (lp < 1e-12 * r) {
        // c on the a-b line: any plane through it will do; take the axis least aligned with u
        int k = 0;
        for (int i = 1; i < 3; i++)
            if (std::fabs(u[i]) < std::fabs(u[k])) k = i;
        double e[3] = {0, 0, 0};
        e[k] = 1.0;
        p[0] = e[0] - u[k] * u[0];
        p[1] = e[1] - u[k] * u[1];
        p[2] = e[2] - u[k] * u[2];
        lp = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    }
    const double t = angle * kPi / 180.0;
    for (int i = 0; i < 3; i++) moved.Coord[i] = b.Coord[i] + r * (std::cos(t) * u[i] + std::sin(t) * p[i] / lp);
    moved.X = static_cast<float>(moved.Coord[0]);
    moved.Y = static_cast<float>(moved.Coord[1]);
    moved.Z = static_cast<float>(moved.Coord[2]);
    return moved;
}

double PDB::getDihedralAngle(const Vec3 a, const Vec3 b, const Vec3 c, const Vec3 d) {
    const double b1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double b2[3] = {c[0] - b[0], c[1] - b[1], c[2] - b[2]};
    const double b3[3] = {d[0] - c[0], d[1] - c[1], d[2] - c[2]};
    auto cross = [](const double* x, const double* y, double* out) {
        out[0] = x[1] * y[2] - x[2] * y[1];
        out[1] = x[2] * y[0] - x[0] * y[2];
        out[2] = x[0] * y[1] - x[1] * y[0];
    };
    auto dot = [](const double* x, const double* y) { return x[0] * y[0] + x[1] * y[1] + x[2] * y[2]; };
    double n1[3], n2[3];
    cross(b1, b2, n1);
    cross(b2, b3, n2);
    const double y = std::sqrt(dot(b2, b2)) * dot(b1, n2);
    const double x = dot(n1, n2);
    return std::atan2(y, x) * 180.0 / kPi;
}

double PDB::getDihedralAngle(const CORdata& a, const CORdata& b, const CORdata& c, const CORdata& d) {
    return getDihedralAngle(a.Coord, b.Coord, c.Coord, d.Coord);
}

double PDB::dihedralOf(int conf, int resA, const char* a, int resB, const char* b, int resC, const char* c,
                       int resD, const char* d) const {
    const CORdata A = getEntry(conf, resA, a), B = getEntry(conf, resB, b);
    const CORdata C = getEntry(conf, resC, c), D = getEntry(conf, resD, d);
    if (!A.atomIndex || !B.atomIndex || !C.atomIndex || !D.atomIndex) return kMissingAngle;
    return getDihedralAngle(A, B, C, D);
}

double PDB::getPhi(int conf, int res) const { return dihedralOf(conf, res - 1, "C", res, "N", res, "CA", res, "C"); }

double PDB::getPsi(int conf, int res) const { return dihedralOf(conf, res, "N", res, "CA", res, "C", res + 1, "N"); }

double PDB::getOmega(int conf, int res) const {
    return dihedralOf(conf, res, "CA", res, "C", res + 1, "N", res + 1, "CA");
}

static std::string residueNameOf(const PDB& pdb, int conf, int res) {
    auto c = pdb.residLists.find(conf);
    if (c == pdb.residLists.end()) return std::string();
    auto r = c->second.find(res);
    return r == c->second.end() ? std::string() : GDB::str_toupper(r->second);
}

double PDB::getChi1(int conf, int res) const {
    const std::string name = residueNameOf(*this, conf, res);
    const char* gamma = "CG";
    if (name == "CYS") gamma = "SG";
    else if (name == "SER") gamma = "OG";
    else if (name == "THR") gamma = "OG1";
    else if (name == "ILE" || name == "VAL") gamma = "CG1";
    return dihedralOf(conf, res, "N", res, "CA", res, "CB", res, gamma);
}

double PDB::getChi2(int conf, int res) const {
    const std::string name = residueNameOf(*this, conf, res);
    const char* gamma = "CG";
    const char* delta = nullptr;
    if (name == "ILE") {
        gamma = "CG1";
        delta = "CD1";
    } else if (name == "LEU" || name == "PHE" || name == "TYR" || name == "TRP") {
        delta = "CD1";
    } else if (name == "ASN" || name == "ASP") {
        delta = "OD1";
    } else if (name == "HIS") {
        delta = "ND1";
    } else if (name == "MET") {
        delta = "SD";
    } else if (name == "ARG" || name == "GLN" || name == "GLU" || name == "LYS" || name == "PRO") {
        delta = "CD";
    }
    if (!delta) return kMissingAngle;
    return dihedralOf(conf, res, "CA", res, "CB", res, gamma, res, delta);
}

bool PDB::isSSBonded(int conf, int res) const {
    const CORdata sg = getEntry(conf, res, "SG");
    if (!sg.atomIndex) return false;
    auto c = residLists.find(conf);
    if (c == residLists.end()) return false;
    for (const auto& kv : c->second) {
        if (std::abs(kv.first - res) < kSSBondMinSeparation) continue;
        const CORdata other = getEntry(conf, kv.first, "SG");  // only cysteines carry an SG
        if (other.atomIndex && getDist(sg, other) <= kSSBondMaxDist) return true;
    }
    return false;
}

int PDB::svd_(double** a, int m, int n, double* w, double** v) {
    return SVD::getInstance()->SingValDecomp(a, m, n, w, v);
}

// Least-squares superposition (Kabsch): H = sum (b - b_c)^T (a - a_c) = U diag(w) V^T; the row-vector
// rotation taking b onto a is M = U D V^T, D flipping the smallest singular direction when
// det(U V^T) < 0 so that M stays a proper rotation.
static double superpose(PDB& pdb, const std::vector<std::array<double, 3>>& A,
                        const std::vector<std::array<double, 3>>& B) {
    const size_t n = std::min(A.size(), B.size());
    pdb.a_c.clear();
    pdb.b_c.clear();
    pdb.rot_m.clear();
    if (n == 0) return 0.0;
    double ca[3] = {0, 0, 0}, cb[3] = {0, 0, 0};
    for (size_t k = 0; k < n; k++)
        for (int i = 0; i < 3; i++) {
            ca[i] += A[k][i];
            cb[i] += B[k][i];
        }
    for (int i = 0; i < 3; i++) {
        ca[i] /= static_cast<double>(n);
        cb[i] /= static_cast<double>(n);
        pdb.a_c[i] = ca[i];
        pdb.b_c[i] = cb[i];
    }
    std::array<double, 9> h{}, v{};
    std::array<double, 3> w{};
    for (size_t k = 0; k < n; k++)
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) h[i * 3 + j] += (B[k][i] - cb[i]) * (A[k][j] - ca[j]);
    double* hRows[3] = {&h[0], &h[3], &h[6]};
    double* vRows[3] = {&v[0], &v[3], &v[6]};
    pdb.svd_(hRows, 3, 3, w.data(), vRows);  // h now holds U
    auto det3 = [](const double* m) {
        return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
               m[2] * (m[3] * m[7] - m[4] * m[6]);
    };
    double d[3] = {1, 1, 1};
    if (det3(h.data()) * det3(v.data()) < 0) {
        int k = 0;
        for (int i = 1; i < 3; i++)
            if (w[i] < w[k]) k = i;
        d[k] = -1;
    }
    double M[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            M[i][j] = 0;
            for (int k = 0; k < 3; k++) M[i][j] += h[i * 3 + k] * d[k] * v[j * 3 + k];
            pdb.rot_m[i][j] = M[i][j];
        }
    double sum = 0;
    for (size_t k = 0; k < n; k++)
        for (int j = 0; j < 3; j++) {
            double x = -(A[k][j] - ca[j]);
            for (int i = 0; i < 3; i++) x += (B[k][i] - cb[i]) * M[i][j];
            sum += x * x;
        }
    return std::sqrt(sum / static_cast<double>(n));
}

double PDB::rmsd(const DoubleD2& a, const DoubleD2& b, int n) {
    std::vector<std::array<double, 3>> A, B;
    auto take = [n](const DoubleD2& m, std::vector<std::array<double, 3>>& out) {
        for (const auto& kv : m) {
            if (static_cast<int>(out.size()) >= n) break;
            std::array<double, 3> p{};
            for (int i = 0; i < 3; i++) {
                auto it = kv.second.find(i);
                if (it != kv.second.end()) p[i] = it->second;
            }
            out.push_back(p);
        }
    };
    take(a, A);
    take(b, B);
    return superpose(*this, A, B);
}

double PDB::rmsd(const std::vector<CORdata>& a, const std::vector<CORdata>& b) {
    std::vector<std::array<double, 3>> A, B;
    for (const CORdata& e : a) A.push_back({e.Coord[0], e.Coord[1], e.Coord[2]});
    for (const CORdata& e : b) B.push_back({e.Coord[0], e.Coord[1], e.Coord[2]});
    return superpose(*this, A, B);
}

// ---------------------------------------------------------------- vector helpers

// The class's own vector helpers: those in double precision are the library's.
void PDB::Vec3Zero(Vec3 v) { ::Vec3Zero(v); }

void PDB::Vec3Copy(Vec3 dst, const Vec3 src) { ::Vec3Copy(dst, src); }

float PDB::Vec3Abs(const Vec3 v) { return static_cast<float>(std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2])); }

float PDB::Vec3DiffAbs(const Vec3 a, const Vec3 b) { return static_cast<float>(getDist(a, b)); }

void PDB::Vec3Norm(Vec3 v) {
    const float len = Vec3Abs(v);
    for (int i = 0; i < 3; i++) v[i] /= len;
}

void PDB::Vec3Scale(Vec3 v, float s) {
    for (int i = 0; i < 3; i++) v[i] *= s;
}

void PDB::Vec3Add(Vec3 a, const Vec3 b) { ::Vec3Add(a, b); }

void PDB::Vec3Sub(Vec3 a, const Vec3 b) { ::Vec3Sub(a, b); }

float PDB::Vec3Scalar(const Vec3 a, const Vec3 b) { return static_cast<float>(a[0] * b[0] + a[1] * b[1] + a[2] * b[2]); }

void PDB::Vec3Cross(Vec3 a, const Vec3 b) { ::Vec3Cross(a, b); }

void PDB::Mat3VecMult(Vec3 v, const Mat3 M) { ::Mat3VecMult(v, M); }

int PDB::sgn(float x) { return x < 0 ? -1 : 1; }

float PDB::arccos_(float x) {
    if (x > 1.0f) return 0.0f;
    if (x < -1.0f) return static_cast<float>(kPi);
    const double xd = x;
    if (std::fabs(xd) >= 0.5) {
        double r = std::atan(std::sqrt(1.0 - xd * xd) / xd);
        if (xd <= 0) r += kPi;
        return static_cast<float>(r);
    }
    return static_cast<float>(kPi / 2.0 - std::atan(xd / std::sqrt(1.0 - xd * xd)));
}

double PDB::r_sign(float a, float b) {
    const double m = std::fabs(static_cast<double>(a));
    return b >= 0 ? m : -m;
}

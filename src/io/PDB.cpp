// Structure files: the fixed-column reader, the atom model (compact records, name pool, name and
// serial indexes), and the atom and pseudo-atom lookups for internuclear vectors.
#include "io/PDB.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <string_view>

#include <sys/stat.h>

#include "common/LargeBuffer.h"
#include "io/AtomModelBuilder.h"
#include "io/GDB.h"
#include "io/LineReader.h"
#include "io/NumberText.h"
#include "io/RunFiles.h"
#include "io/StructureInput.h"

namespace {

const double kMethylHCCAngle = 110.9;  // idealised angle between a methyl C-H bond and its C-C axis

// Text of the 1-based columns first..last of a coordinate line; what lies past the line's end is
// not read.
std::string_view field(std::string_view line, size_t first, size_t last) {
    if (first > line.size()) return std::string_view();
    const size_t stop = std::min(last, line.size());
    return line.substr(first - 1, stop - (first - 1));
}

std::string trimmed(std::string_view text) { return GDB::simplifyWhiteSpace(std::string(text)); }

std::string_view trimmedView(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

bool startsWith(std::string_view line, std::string_view prefix) { return line.substr(0, prefix.size()) == prefix; }

// An atom line is at least this long: every field up to the z coordinate is complete.
const size_t kAtomLineMin = 54;

// A fixed-column real written with `decimals` digits after the point at the field's end, as PDB
// files write them ("  -1.234" for 8.3), the blanks before it and a minus aside: the digits as
// one integer over 10^decimals, the value parseDouble gives for that text. Any other text goes to
// parseDouble.
template <int decimals>
double fixedPointField(const char* t, int width) {
    static_assert(decimals >= 1 && decimals <= 3, "a short fraction");
    const char* point = t + width - decimals - 1;
    if (*point != '.') return parseDouble(std::string_view(t, static_cast<size_t>(width)));
    uint64_t m = 0;
    for (const char* d = point + 1; d < t + width; d++) {
        const unsigned digit = static_cast<unsigned>(*d - '0');
        if (digit > 9) return parseDouble(std::string_view(t, static_cast<size_t>(width)));
        m = m * 10 + digit;
    }
    uint64_t whole = 0, scale = 1;
    const char* q = point - 1;
    for (; q >= t && static_cast<unsigned>(*q - '0') <= 9; q--) {
        whole += static_cast<uint64_t>(*q - '0') * scale;
        scale *= 10;
    }
    const bool minus = q >= t && *q == '-';
    if (minus) q--;
    for (; q >= t; q--)
        if (*q != ' ') return parseDouble(std::string_view(t, static_cast<size_t>(width)));
    constexpr double kScale = decimals == 1 ? 1e1 : decimals == 2 ? 1e2 : 1e3;
    constexpr uint64_t kUnits = decimals == 1 ? 10 : decimals == 2 ? 100 : 1000;
    const double value = static_cast<double>(whole * kUnits + m) / kScale;  // at most 11 digits: exact
    return minus ? -value : value;
}

// The numbers and the alternate location of an atom line (at least kAtomLineMin long).
//   1-6 record | 7-11 serial | 12-16 name | 17 altLoc | 18-20 residue | 22 chain | 23-26 resSeq
//   31-38 x | 39-46 y | 47-54 z | 55-60 occupancy | 61-66 B-factor
void parseAtomNumbers(std::string_view line, AtomRecord& a) {
    const char* t = line.data();  // every column up to 54 is there
    a.atomNum = static_cast<int>(parseLong(std::string_view(t + 6, 5)));
    a.altLoc = t[16];
    a.resNum = static_cast<int>(parseLong(std::string_view(t + 22, 4)));
    a.x = static_cast<float>(fixedPointField<3>(t + 30, 8));
    a.y = static_cast<float>(fixedPointField<3>(t + 38, 8));
    a.z = static_cast<float>(fixedPointField<3>(t + 46, 8));
    a.occupancy = line.size() > 59 ? static_cast<float>(fixedPointField<2>(t + 54, 6)) : 1.0f;
    a.bFactor = line.size() > 65 ? static_cast<float>(fixedPointField<2>(t + 60, 6)) : 1.0f;
    a.kind = line[0] == 'A' ? RecordKind::Atom : line[0] == 'H' ? RecordKind::Hetatm : RecordKind::Ter;
}

// Column text -> name index, so that each distinct text is normalised and pooled once; the text of
// the line before is remembered per field (residue and chain names repeat from line to line).
class NameFieldCache {
public:
    // `text` is at most 7 bytes (name, residue and chain fields are 5, 3 and 1); `kind` (1 to 3)
    // tells the fields apart.
    template <class Make>
    uint32_t get(std::string_view text, unsigned kind, Make make) {
        uint64_t key = static_cast<uint64_t>(kind) << 56;
        for (size_t i = 0; i < text.size(); i++) key |= static_cast<uint64_t>(static_cast<unsigned char>(text[i])) << (8 * i);
        Last& last = last_[kind];
        if (last.key == key) return last.id;
        auto it = ids_.find(key);
        const uint32_t id = it != ids_.end() ? it->second : ids_.emplace(key, make(text)).first->second;
        last = {key, id};
        return id;
    }

private:
    struct Last {
        uint64_t key = 0;  // no field text packs to 0: the kind is in the top byte
        uint32_t id = 0;
    };
    Last last_[4];
    std::unordered_map<uint64_t, uint32_t> ids_;
};

}  // namespace

bool usableCoordinates(const AtomRecord& atom) {
    return isUsableNumber(atom.x, kCoordinateMax) && isUsableNumber(atom.y, kCoordinateMax) &&
           isUsableNumber(atom.z, kCoordinateMax);
}

void warnUnusableCoordinates(const AtomRecord& atom, const std::string& where, std::string_view atomName) {
    std::fprintf(stderr,
                 "PDB Warning: %s: atom %d %.*s of residue %d has coordinates %g %g %g, not finite numbers up to "
                 "%g in size; atom left out\n",
                 where.c_str(), atom.atomNum, static_cast<int>(atomName.size()), atomName.data(), atom.resNum,
                 atom.x, atom.y, atom.z, kCoordinateMax);
}

void readFixedColumns(LineReader& lines, AtomModelBuilder& model, const std::string& fileName) {
    NameFieldCache cache;
    auto atomName = [&model](std::string_view t) { return model.intern(AtomModelBuilder::normalisedAtomName(t)); };
    auto resName = [&model](std::string_view t) { return model.intern(AtomModelBuilder::normalisedResidueName(t)); };
    auto chainName = [&model](std::string_view t) { return model.intern(t); };
    std::string_view line;
    AtomRecord atom;
    int lineNumber = 0;
    while (lines.next(line)) {
        lineNumber++;
        if (startsWith(line, "ATOM") || startsWith(line, "HETATM") || startsWith(line, "TER")) {
            if (line.size() < kAtomLineMin) continue;
            parseAtomNumbers(line, atom);
            if (!usableCoordinates(atom)) {
                warnUnusableCoordinates(atom, fileName + " line " + std::to_string(lineNumber),
                                        trimmedView(field(line, 13, 16)));
                continue;
            }
            atom.atomName = cache.get(field(line, 12, 16), 1, atomName);
            atom.resName = cache.get(field(line, 18, 20), 2, resName);
            atom.chainName = cache.get(field(line, 22, 22), 3, chainName);
            model.add(atom);
        } else if (startsWith(line, "END")) {  // END and ENDMDL
            model.endConformer();
        } else if (startsWith(line, "MODEL")) {
            model.startConformer(static_cast<int>(parseLong(field(line, 7, 16))));
        }
    }
}

namespace {

// One (residue, name) of one conformer: its positions in the name index, in runs of one
// alternate location each (ascending), one position per chain within a run.
template <class Visit>
void forEachAltRun(const std::vector<AtomRecord>& atoms, const int* first, const int* last, Visit visit) {
    for (const int* p = first; p != last;) {
        const int* q = p + 1;
        while (q != last && atoms[*q].altLoc == atoms[*p].altLoc) q++;
        visit(p, q);
        p = q;
    }
}

// The record read last among the chains of a run: what a lookup without chain answers.
int lastOfRun(const int* first, const int* last) { return *std::max_element(first, last); }

int chainOfRun(const std::vector<AtomRecord>& atoms, const int* first, const int* last, long chain) {
    for (const int* p = first; p != last; p++)
        if (atoms[*p].chainName == chain) return *p;
    return -1;
}

bool beginsWithC(const std::string& name) { return !name.empty() && name[0] == 'C'; }

void sameResidError() { std::fputs("DC Error: all methylene atoms must be defined with a same RESID\n", stderr); }

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

// ---------------------------------------------------------------- building the model

AtomModelBuilder::AtomModelBuilder(PDB& pdb) : pdb_(pdb) {
    pdb.Conformers.clear();
    pdb.ATOMS.clear();
    pdb.names.clear();
    pdb.nameIds_.clear();
    pdb.residLists.clear();
    pdb.residListsOne.clear();
    pdb.residList.clear();
    pdb.residListOne.clear();
    pdb.conformer_count = 0;
    pdb.r1 = 9999;
    pdb.rN = -9999;
}

uint32_t AtomModelBuilder::intern(std::string_view name) {
    auto it = pdb_.nameIds_.find(std::string(name));
    if (it != pdb_.nameIds_.end()) return it->second;
    const uint32_t id = static_cast<uint32_t>(pdb_.names.size());
    pdb_.names.emplace_back(name);
    pdb_.nameIds_.emplace(pdb_.names.back(), id);
    return id;
}

std::string AtomModelBuilder::normalisedResidueName(std::string_view text) { return trimmed(text); }

std::string AtomModelBuilder::normalisedAtomName(std::string_view text) {
    std::string name = trimmed(text);
    if (name == "H") name = "HN";
    if (!name.empty() && (name[0] == '1' || name[0] == '2' || name[0] == '3'))
        name = name.substr(1) + name[0];  // 1HB -> HB1, 2HG1 -> HG12
    return name;
}

void AtomModelBuilder::startConformer(int conf) {
    if (pending_) lastModelSize_ = pending_->size();
    pending_ = nullptr;
    current_ = conf;
}

void AtomModelBuilder::endConformer() { startConformer(current_ + 1); }

void AtomModelBuilder::add(const AtomRecord& atom) {
    if (!pending_) {
        pending_ = &pdb_.Conformers[current_];
        grow(pending_->size() + (lastModelSize_ ? lastModelSize_ : firstHint_));
        firstHint_ = 0;
    }
    if (pending_->size() == pending_->capacity()) grow(std::max<size_t>(2 * pending_->capacity(), 256));
    pending_->push_back(atom);
    // Residue lists: last write wins, so only changes need writing. A padded TER record repeats
    // the name of the chain's last residue; one without a residue name names no residue and
    // leaves the lists alone.
    const std::string& resName = pdb_.names[atom.resName];
    const bool namesResidue = atom.kind != RecordKind::Ter || !resName.empty();
    if (namesResidue && (!haveLast_ || lastConf_ != current_ || lastRes_ != atom.resNum || lastResName_ != atom.resName)) {
        const std::string one = PDB::getOneAAName(resName);
        pdb_.residLists[current_][atom.resNum] = resName;
        pdb_.residListsOne[current_][atom.resNum] = one;
        pdb_.residList[atom.resNum] = resName;
        pdb_.residListOne[atom.resNum] = one;
        lastConf_ = current_;
        lastRes_ = atom.resNum;
        lastResName_ = atom.resName;
        haveLast_ = true;
    }
    if (atom.kind == RecordKind::Atom) {
        pdb_.r1 = std::min(pdb_.r1, atom.resNum);
        pdb_.rN = std::max(pdb_.rN, atom.resNum);
    }
}

void AtomModelBuilder::grow(size_t records) {
    pending_->reserve(records);
    adviseLargeBuffer(pending_->data(), pending_->capacity() * sizeof(AtomRecord));
}

void AtomModelBuilder::finish() {
    startConformer(current_);
    const std::vector<AtomRecord>* previousAtoms = nullptr;
    AtomTable previousTable;
    for (auto& kv : pdb_.Conformers) {
        buildIndex(kv.first, previousAtoms, previousTable);
        previousAtoms = &kv.second;
        previousTable = pdb_.ATOMS[kv.first];
    }
    pdb_.conformer_count = static_cast<int>(pdb_.Conformers.size());

    // Disulfide-bonded cysteines, judged in the first conformer (conformer 1 in every file that
    // numbers its models from 1).
    if (!pdb_.ATOMS.empty()) {
        const int conf = pdb_.ATOMS.count(1) ? 1 : pdb_.ATOMS.begin()->first;
        for (auto& kv : pdb_.residListOne) {
            if (kv.second == "C" && pdb_.isSSBonded(conf, kv.first)) {
                kv.second = "c";
                pdb_.residList[kv.first] = "cys";
            }
        }
    }
}

// The records of two conformers name the same atoms in the same order (as the models of an NMR
// ensemble do): they share the index.
static bool sameLayout(const std::vector<AtomRecord>& a, const std::vector<AtomRecord>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (a[i].resNum != b[i].resNum || a[i].atomName != b[i].atomName || a[i].altLoc != b[i].altLoc ||
            a[i].chainName != b[i].chainName || a[i].atomNum != b[i].atomNum)
            return false;
    return true;
}

// (residue number, name) as one number that orders as the pair does
static uint64_t nameKey(int resNum, uint32_t name) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(resNum) ^ 0x80000000u) << 32) | name;
}

void AtomModelBuilder::buildIndex(int conf, const std::vector<AtomRecord>* previousAtoms,
                                  const AtomTable& previousTable) {
    std::vector<AtomRecord>& atoms = pdb_.Conformers[conf];
    if (previousAtoms && sameLayout(*previousAtoms, atoms)) {
        pdb_.ATOMS[conf] = previousTable;
        for (size_t i = 0; i < atoms.size(); i++) atoms[i].replaced = (*previousAtoms)[i].replaced;
        return;
    }
    auto index = std::make_shared<AtomIndex>();
    const int n = static_cast<int>(atoms.size());

    // name index: residue, name, alternate location (text order), chain; the last record of a key
    struct Key {
        uint64_t major;  // nameKey
        uint64_t minor;  // alternate location, chain
        int pos;
    };
    std::vector<Key> keys(n);
    for (int i = 0; i < n; i++) {
        const AtomRecord& a = atoms[i];
        keys[i] = {nameKey(a.resNum, a.atomName),
                   static_cast<uint64_t>(static_cast<unsigned char>(a.altLoc)) << 32 | a.chainName,
                   i};
    }
    auto before = [](const Key& x, const Key& y) {
        if (x.major != y.major) return x.major < y.major;
        if (x.minor != y.minor) return x.minor < y.minor;
        return x.pos < y.pos;
    };
    // Files list residue after residue: then each residue's atoms are sorted on their own.
    auto residueOf = [](const Key& k) { return k.major >> 32; };
    const bool residuesInOrder = std::is_sorted(keys.begin(), keys.end(), [&](const Key& x, const Key& y) {
        return residueOf(x) < residueOf(y);
    });
    if (residuesInOrder) {
        for (auto first = keys.begin(); first != keys.end();) {
            auto last = first + 1;
            while (last != keys.end() && residueOf(*last) == residueOf(*first)) last++;
            std::sort(first, last, before);
            first = last;
        }
    } else {
        std::sort(keys.begin(), keys.end(), before);
    }
    for (int i = 0; i < n; i++)
        if (i + 1 == n || keys[i].major != keys[i + 1].major || keys[i].minor != keys[i + 1].minor) {
            index->byName.push_back(keys[i].pos);
            index->nameKeys.push_back(keys[i].major);
        }

    // serial index: the last record of each serial number; the earlier ones are replaced
    std::vector<std::pair<int, int>> serials(n);  // (serial, position)
    for (int i = 0; i < n; i++) serials[i] = {atoms[i].atomNum, i};
    if (!std::is_sorted(serials.begin(), serials.end())) std::sort(serials.begin(), serials.end());
    for (int i = 0; i < n; i++) {
        const bool last = i + 1 == n || serials[i].first != serials[i + 1].first;
        atoms[serials[i].second].replaced = !last;
        if (last) index->bySerial.push_back(serials[i].second);
    }
    pdb_.ATOMS[conf] = std::move(index);
}

// ---------------------------------------------------------------- loading

PDB::PDB(const std::string& fileName) { isLoaded = loadPDB(fileName); }

void PDB::loadPDB_Entry(const std::string& text, CORdata& entry) {
    // a shorter line reads as if padded with blanks: its missing fields are 0 or blank
    const std::string line = text.size() < kAtomLineMin ? text + std::string(kAtomLineMin - text.size(), ' ') : text;
    AtomRecord a;
    parseAtomNumbers(line, a);
    entry.atomNum = a.atomNum;
    entry.resNum = a.resNum;
    entry.atomName = AtomModelBuilder::normalisedAtomName(field(line, 12, 16));
    entry.resName = trimmed(field(line, 18, 20));
    entry.chainName = std::string(field(line, 22, 22));
    entry.altLoc = std::string(1, a.altLoc);
    entry.X = a.x;
    entry.Y = a.y;
    entry.Z = a.z;
    entry.Occupancy = a.occupancy;
    entry.B_Factor = a.bFactor;
    entry.rotated = false;
    entry.Coord[0] = a.x;
    entry.Coord[1] = a.y;
    entry.Coord[2] = a.z;
    entry.terRecord = a.kind == RecordKind::Ter;
}

std::string PDB::getField(const std::string& line, int index) {
    static const int cols[12][2] = {{17, 17}, {1, 6},   {7, 11},  {12, 16}, {18, 21}, {22, 22},
                                    {23, 26}, {31, 38}, {39, 46}, {47, 54}, {55, 60}, {61, 66}};
    if (index < 0 || index > 11) return std::string();
    return std::string(field(line, cols[index][0], cols[index][1]));
}

bool PDB::loadPDB(const std::string& fileName) {
    AtomModelBuilder model(*this);
    isLoaded = false;
    PDBfileName = fileName;
    // a directory is as missing as an absent file, whatever its name says
    const bool directory = run_files::isDirectory(fileName);
    const StructureFormat format = directory ? StructureFormat::FixedColumns : structureFormat(fileName);
    std::string reason;
    bool read = false;
    if (directory) {
        read = false;
    } else if (format == StructureFormat::FixedColumns) {
        FILE* f = std::fopen(fileName.c_str(), "rb");
        if (f) {
            struct stat st;
            if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode))
                model.expectRecords(static_cast<size_t>(st.st_size) / (kAtomLineMin + 1) + 1);
            LineReader lines(f);
            readFixedColumns(lines, model, fileName);
            std::fclose(f);
            read = true;
        }
    } else if (format == StructureFormat::GzipFixedColumns) {
        read = readGzipFixedColumns(fileName, model, reason);
    } else {
        read = readMmcif(fileName, model, reason);
    }
    if (!read) {
        AtomModelBuilder empty(*this);  // nothing of a damaged file stays
        std::fprintf(stderr, "\tCan't open file %s for reading\n", fileName.c_str());
        if (!reason.empty()) std::fprintf(stderr, "\t%s\n", reason.c_str());
        return false;
    }
    run_files::noteRead(fileName);
    model.finish();
    isLoaded = true;
    return true;
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
    auto atoms = Conformers.find(conf);
    auto table = ATOMS.find(conf);
    if (atoms == Conformers.end() || table == ATOMS.end()) return 0;
    // byName is ordered by residue, name, alternate location, chain: the chains of one key are
    // neighbours
    int count = 0;
    const AtomRecord* previous = nullptr;
    for (int pos : table->second->byName) {
        const AtomRecord& a = atoms->second[pos];
        if (!previous || previous->resNum != a.resNum || previous->atomName != a.atomName ||
            previous->altLoc != a.altLoc)
            count++;
        previous = &a;
    }
    return count;
}

// ---------------------------------------------------------------- lookups

long PDB::nameId(const std::string& name) const {
    auto it = nameIds_.find(name);
    return it == nameIds_.end() ? -1 : static_cast<long>(it->second);
}

PDB::KeyRange PDB::findKey(const AtomIndex& index, int res, long name) {
    if (name < 0) return {nullptr, nullptr};
    const uint64_t key = nameKey(res, static_cast<uint32_t>(name));
    auto range = std::equal_range(index.nameKeys.begin(), index.nameKeys.end(), key);
    const int* base = index.byName.data();
    return {base + (range.first - index.nameKeys.begin()), base + (range.second - index.nameKeys.begin())};
}

void PDB::fillEntry(int conf, const AtomRecord& a, CORdata& e) const {
    e.conformerIndex = conf;
    e.atomIndex = 1;
    e.atomNum = a.atomNum;
    e.resNum = a.resNum;
    e.atomName = names[a.atomName];
    e.resName = names[a.resName];
    e.chainName = names[a.chainName];
    e.altLoc.assign(1, a.altLoc);
    e.X = a.x;
    e.Y = a.y;
    e.Z = a.z;
    e.Occupancy = a.occupancy;
    e.B_Factor = a.bFactor;
    e.Coord[0] = a.x;
    e.Coord[1] = a.y;
    e.Coord[2] = a.z;
    e.wCoord[0] = e.wCoord[1] = e.wCoord[2] = 0;
    e.rotated = false;
    e.terRecord = a.kind == RecordKind::Ter;
}

CORdata PDB::entryOf(int conf, const AtomRecord& atom) const {
    CORdata e;
    fillEntry(conf, atom, e);
    return e;
}

void PDB::appendEntry(std::vector<CORdata>& list, int conf, const AtomRecord& atom) const {
    list.push_back(entryOf(conf, atom));
}

CORdata PDB::getEntry(int conf, int atomNum) const {
    auto atoms = Conformers.find(conf);
    auto table = ATOMS.find(conf);
    if (atoms == Conformers.end() || table == ATOMS.end()) return EMPTY;
    const std::vector<AtomRecord>& a = atoms->second;
    const std::vector<int>& s = table->second->bySerial;
    auto it = std::partition_point(s.begin(), s.end(), [&](int pos) { return a[pos].atomNum < atomNum; });
    if (it == s.end() || a[*it].atomNum != atomNum) return EMPTY;
    return entryOf(conf, a[*it]);
}

CORdata PDB::getEntry(int conf, int res, const std::string& atomName) const {
    return entryWithAltLoc(conf, res, atomName, kFirstAltLoc);
}

CORdata PDB::getEntry(int conf, int res, const std::string& atomName, const std::string& altLoc) const {
    if (altLoc.size() != 1) return EMPTY;
    return entryWithAltLoc(conf, res, atomName, static_cast<unsigned char>(altLoc[0]));
}

CORdata PDB::entryWithAltLoc(int conf, int res, const std::string& atomName, int altLoc) const {
    auto atoms = Conformers.find(conf);
    auto table = ATOMS.find(conf);
    if (atoms == Conformers.end() || table == ATOMS.end()) return EMPTY;
    const KeyRange key = findKey(*table->second, res, nameId(atomName));
    int found = -1;
    forEachAltRun(atoms->second, key.first, key.last, [&](const int* first, const int* last) {
        const bool wanted = altLoc == kFirstAltLoc || static_cast<unsigned char>(atoms->second[*first].altLoc) == altLoc;
        if (found < 0 && wanted) found = lastOfRun(first, last);
    });
    return found < 0 ? EMPTY : entryOf(conf, atoms->second[found]);
}

int PDB::getEntries(std::vector<CORdata>& list, int res, const std::string& atomName) const {
    const long name = nameId(atomName);
    int count = 0;
    auto table = ATOMS.begin();
    for (const auto& kv : Conformers) {  // ATOMS has the same keys
        const std::vector<AtomRecord>& atoms = kv.second;
        const KeyRange key = findKey(*(table++)->second, res, name);
        forEachAltRun(atoms, key.first, key.last, [&](const int* first, const int* last) {
            appendEntry(list, kv.first, atoms[lastOfRun(first, last)]);
            count++;
        });
    }
    return count;
}

// Ordinary pairing: per conformer (ascending) and per alternate location present for both atoms.
template <class Emit>
int PDB::pairAtoms(int resI, const std::string& nameI, int resJ, const std::string& nameJ, const std::string& chain,
                   Emit&& emit) const {
    const bool anyChain = chain.empty() || chain == "_";
    const long idI = nameId(nameI), idJ = nameId(nameJ), idChain = anyChain ? -1 : nameId(chain);
    if (idI < 0 || idJ < 0 || (!anyChain && idChain < 0)) return 0;
    int count = 0;
    auto table = ATOMS.begin();
    const AtomIndex* index = nullptr;  // the keys are searched once per distinct index
    KeyRange keyI{nullptr, nullptr}, keyJ{nullptr, nullptr};
    for (const auto& kv : Conformers) {  // ATOMS has the same keys
        const std::vector<AtomRecord>& atoms = kv.second;
        const AtomIndex* t = (table++)->second.get();
        if (t != index) {
            index = t;
            keyI = findKey(*t, resI, idI);
            keyJ = findKey(*t, resJ, idJ);
        }
        if (keyI.first == keyI.last || keyJ.first == keyJ.last) continue;
        forEachAltRun(atoms, keyI.first, keyI.last, [&](const int* firstI, const int* lastI) {
            const char alt = atoms[*firstI].altLoc;
            bool paired = false;
            forEachAltRun(atoms, keyJ.first, keyJ.last, [&](const int* firstJ, const int* lastJ) {
                if (paired || atoms[*firstJ].altLoc != alt) return;
                paired = true;
                int i, j;
                if (anyChain) {
                    i = lastOfRun(firstI, lastI);
                    j = lastOfRun(firstJ, lastJ);
                    if (atoms[i].chainName != atoms[j].chainName) return;
                } else {
                    // The index keeps every chain, so a chain filter finds its chain even where
                    // several chains share residue numbers.
                    i = chainOfRun(atoms, firstI, lastI, idChain);
                    j = chainOfRun(atoms, firstJ, lastJ, idChain);
                    if (i < 0 || j < 0) return;
                }
                emit(kv.first, atoms[i], atoms[j]);
                count++;
            });
        });
    }
    return count;
}

template <class Emit>
int PDB::vectorPairs(int resI, const std::string& nameI, int resJ, const std::string& nameJ,
                     const std::string& chain, Emit&& emit) const {
    const bool pseudo = nameI.find_first_of("#|") != std::string::npos || nameJ.find_first_of("#|") != std::string::npos;
    if (pseudo) return methylenePairs(resI, nameI, resJ, nameJ, emit);
    return pairAtoms(resI, nameI, resJ, nameJ, chain, emit);
}

template <class Emit>
int PDB::methylenePairs(int resI, const std::string& nameI, int resJ, const std::string& nameJ, Emit&& emit) const {
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
        for (const std::string& alt : GDB::split('|', proton)) count += pairAtoms(resI, heavy, resI, alt, "_", emit);
        return count;
    }
    const size_t hash = proton.find('#');
    if (hash == std::string::npos) return 0;
    const std::string prefix = proton.substr(0, hash);
    for (const char* n : {"1", "2", "3"}) count += pairAtoms(resI, heavy, resI, prefix + n, "_", emit);
    if (proton.find('\'') != std::string::npos) {  // sugar methylene: H5' and H5''
        count += pairAtoms(resI, heavy, resI, prefix, "_", emit);
        count += pairAtoms(resI, heavy, resI, prefix + "'", "_", emit);
    }
    return count;
}

template <class Emit>
int PDB::methylAxisPairs(int resI, const std::string& nameI, int resJ, const std::string& nameJ, Emit&& emit) const {
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
    if (carbonFirst) return pairAtoms(resI, carbon, resI, partner, "_", emit);
    return pairAtoms(resI, partner, resI, carbon, "_", emit);
}

namespace {

// Appends the lookup records of each pair to two lists.
struct AppendEntries {
    const PDB& pdb;
    std::vector<CORdata>& listI;
    std::vector<CORdata>& listJ;
    void operator()(int conf, const AtomRecord& i, const AtomRecord& j) const {
        listI.emplace_back();
        pdb.fillEntry(conf, i, listI.back());
        listJ.emplace_back();
        pdb.fillEntry(conf, j, listJ.back());
    }
};

AtomPair::Atom pairAtom(const AtomRecord& a) { return {a.x, a.y, a.z, a.occupancy, a.altLoc}; }

AtomPair::Atom pairAtom(const CORdata& a) {
    return {a.X, a.Y, a.Z, a.Occupancy, a.altLoc.empty() ? ' ' : a.altLoc[0]};
}

// Appends each pair's coordinates, occupancies and alternate locations.
struct AppendPairs {
    std::vector<AtomPair>& pairs;
    void operator()(int conf, const AtomRecord& i, const AtomRecord& j) const {
        pairs.push_back({pairAtom(i), pairAtom(j), conf});
    }
};

}  // namespace

int PDB::getVectorEntries(std::vector<CORdata>& listI, std::vector<CORdata>& listJ, int resI,
                          const std::string& nameI, int resJ, const std::string& nameJ,
                          const std::string& chain) const {
    return vectorPairs(resI, nameI, resJ, nameJ, chain, AppendEntries{*this, listI, listJ});
}

int PDB::getVectorEntries_Methylene_CH2(std::vector<CORdata>& listI, std::vector<CORdata>& listJ, int resI,
                                        const std::string& nameI, int resJ, const std::string& nameJ) const {
    return methylenePairs(resI, nameI, resJ, nameJ, AppendEntries{*this, listI, listJ});
}

int PDB::getVectorEntries_Methyl_CC(std::vector<CORdata>& listI, std::vector<CORdata>& listJ, int resI,
                                    const std::string& nameI, int resJ, const std::string& nameJ) const {
    return methylAxisPairs(resI, nameI, resJ, nameJ, AppendEntries{*this, listI, listJ});
}

int PDB::getVectorPairs(std::vector<AtomPair>& pairs, int resI, const std::string& nameI, int resJ,
                        const std::string& nameJ, const std::string& chain) const {
    return vectorPairs(resI, nameI, resJ, nameJ, chain, AppendPairs{pairs});
}

int PDB::getVectorPairs_Methyl_CC(std::vector<AtomPair>& pairs, int resI, const std::string& nameI, int resJ,
                                  const std::string& nameJ) const {
    return methylAxisPairs(resI, nameI, resJ, nameJ, AppendPairs{pairs});
}

// The idealised protons are made on lookup records (a handful per conformer); their pairs are
// then handed on like any other.
int PDB::getVectorPairs_Methyl_CH3(std::vector<AtomPair>& pairs, int resI, const std::string& nameI, int resJ,
                                   const std::string& nameJ) const {
    std::vector<CORdata> listI, listJ;
    const int n = getVectorEntries_Methyl_CH3(listI, listJ, resI, nameI, resJ, nameJ);
    for (int k = 0; k < n; k++) pairs.push_back({pairAtom(listI[k]), pairAtom(listJ[k]), listI[k].conformerIndex});
    return n;
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


// Structure files through zlib (gzip) and gemmi's CIF parser. The mmCIF atom table fills the same
// atom model as the fixed-column reader: the texts of its cells go through the same name
// normalisation and the same number conversions, so a structure reads the same in either format.
#include "io/StructureInput.h"

#include <zlib.h>

#include <cctype>
#include <exception>
#include <memory>
#include <string_view>

#include <gemmi/cif.hpp>

#include "io/AtomModelBuilder.h"
#include "io/LineReader.h"
#include "io/NumberText.h"

namespace {

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// An open gzip (or plain) file, closed when the object goes.
struct GzFile {
    gzFile file;
    explicit GzFile(const std::string& path) : file(gzopen(path.c_str(), "rb")) {}
    ~GzFile() {
        if (file) gzclose(file);
    }
    GzFile(const GzFile&) = delete;
    GzFile& operator=(const GzFile&) = delete;

    // Up to `size` decompressed bytes; 0 at the end, -1 on damaged data, including a compressed
    // stream that ends before its end mark (zlib reports that only through gzerror).
    long read(char* buffer, size_t size) {
        const int got = gzread(file, buffer, static_cast<unsigned>(size < (1u << 30) ? size : (1u << 30)));
        if (got == 0 && !error().empty()) return -1;
        return got;
    }

    // zlib's account of the last error, or "" when there was none.
    std::string error() const {
        int code = Z_OK;
        const char* text = gzerror(file, &code);
        return code == Z_OK || code == Z_STREAM_END ? std::string() : std::string(text);
    }
};

// CIF text begins with a data block, perhaps after blank and comment lines.
bool startsLikeCif(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[i]))) {
            i++;
        } else if (text[i] == '#') {
            while (i < text.size() && text[i] != '\n') i++;
        } else {
            break;
        }
    }
    return lowered(std::string(text.substr(i, 5))) == "data_";
}

}  // namespace

StructureFormat structureFormat(const std::string& path) {
    const std::string name = lowered(path);
    const bool gz = endsWith(name, ".gz");
    const std::string inner = gz ? name.substr(0, name.size() - 3) : name;
    if (endsWith(inner, ".cif") || endsWith(inner, ".mmcif")) return StructureFormat::Mmcif;
    if (endsWith(inner, ".pdb") || endsWith(inner, ".ent"))
        return gz ? StructureFormat::GzipFixedColumns : StructureFormat::FixedColumns;
    // no telling name: look at the (decompressed) beginning
    GzFile f(path);
    if (!f.file) return gz ? StructureFormat::GzipFixedColumns : StructureFormat::FixedColumns;
    char head[4096];
    const int got = gzread(f.file, head, sizeof head);
    const bool compressed = gzdirect(f.file) == 0;
    if (got > 0 && startsLikeCif(std::string_view(head, static_cast<size_t>(got)))) return StructureFormat::Mmcif;
    return gz || compressed ? StructureFormat::GzipFixedColumns : StructureFormat::FixedColumns;
}

bool readGzipFixedColumns(const std::string& path, AtomModelBuilder& model, std::string& reason) {
    GzFile f(path);
    if (!f.file) return false;  // as a PDB file that cannot be opened: the one message
    LineReader lines([&f](char* buffer, size_t size) { return f.read(buffer, size); });
    readFixedColumns(lines, model, path);
    if (lines.failed()) {
        reason = "gzip: " + f.error();
        return false;
    }
    return true;
}

namespace {

// Columns of _atom_site that the model takes, in the order asked of gemmi ('?': optional).
// (gemmi wants a required tag first.)
enum AtomSiteColumn {
    kX, kY, kZ, kGroup, kId, kAuthAtom, kLabelAtom, kAltId, kAuthComp, kLabelComp, kAuthAsym, kLabelAsym,
    kAuthSeq, kLabelSeq, kOccupancy, kBiso, kModel
};
const std::vector<std::string> kAtomSiteTags = {
    "Cartn_x", "Cartn_y", "Cartn_z", "?group_PDB", "?id", "?auth_atom_id", "?label_atom_id", "?label_alt_id",
    "?auth_comp_id", "?label_comp_id", "?auth_asym_id", "?label_asym_id", "?auth_seq_id", "?label_seq_id",
    "?occupancy", "?B_iso_or_equiv", "?pdbx_PDB_model_num"};

// The whole file, decompressed when it is gzip data.
bool readAll(const std::string& path, std::string& text, std::string& reason) {
    GzFile f(path);
    if (!f.file) return false;  // as a PDB file that cannot be opened: the one message
    char buffer[1 << 16];
    while (true) {
        const long got = f.read(buffer, sizeof buffer);
        if (got < 0) {
            reason = "gzip: " + f.error();
            return false;
        }
        if (got == 0) return true;
        text.append(buffer, static_cast<size_t>(got));
    }
}

// Files without _atom_site.group_PDB (gemmi convert leaves it out) do not say which atoms were ATOM
// records: as PDB files have it, the standard amino acids and nucleotides are, and everything
// else (ligands, ions, water, modified residues) is HETATM.
bool isStandardResidue(const std::string& name) {
    static const char* const kStandard[] = {"ALA", "ARG", "ASN", "ASP", "CYS", "GLN", "GLU", "GLY", "HIS", "ILE",
                                            "LEU", "LYS", "MET", "PHE", "PRO", "SER", "THR", "TRP", "TYR", "VAL",
                                            "UNK", "A",   "C",   "G",   "I",   "U",   "DA",  "DC",  "DG",  "DI",
                                            "DT",  "DU",  "N",   "DN"};
    for (const char* s : kStandard)
        if (name == s) return true;
    return false;
}

void addAtomSites(gemmi::cif::Table& sites, AtomModelBuilder& model, const std::string& path) {
    const int atomCol = sites.first_of(kAuthAtom, kLabelAtom);
    const int compCol = sites.first_of(kAuthComp, kLabelComp);
    const int asymCol = sites.first_of(kAuthAsym, kLabelAsym);
    const int seqCol = sites.first_of(kAuthSeq, kLabelSeq);
    auto text = [](const gemmi::cif::Table::Row& row, int col) {
        return row.has(col) ? gemmi::cif::as_string(row[col]) : std::string();
    };
    bool first = true;
    int conformer = 0;
    AtomRecord atom;
    int siteNumber = 0;
    for (auto row : sites) {
        // models become conformers, numbered by model number (1 without one)
        const int conf = row.has(kModel) ? static_cast<int>(parseLong(text(row, kModel))) : 1;
        if (first || conf != conformer) model.startConformer(conf);
        first = false;
        conformer = conf;
        const std::string resName = AtomModelBuilder::normalisedResidueName(text(row, compCol));
        if (row.has(kGroup))
            atom.kind = lowered(text(row, kGroup)) == "atom" ? RecordKind::Atom : RecordKind::Hetatm;
        else
            atom.kind = isStandardResidue(resName) ? RecordKind::Atom : RecordKind::Hetatm;
        atom.atomNum = static_cast<int>(parseLong(text(row, kId)));
        atom.atomName = model.intern(AtomModelBuilder::normalisedAtomName(text(row, atomCol)));
        const std::string alt = text(row, kAltId);
        atom.altLoc = alt.empty() ? ' ' : alt[0];
        atom.resName = model.intern(resName);
        atom.chainName = model.intern(text(row, asymCol));
        atom.resNum = static_cast<int>(parseLong(text(row, seqCol)));
        atom.x = static_cast<float>(parseDouble(text(row, kX)));
        atom.y = static_cast<float>(parseDouble(text(row, kY)));
        atom.z = static_cast<float>(parseDouble(text(row, kZ)));
        atom.occupancy = row.has2(kOccupancy) ? static_cast<float>(parseDouble(text(row, kOccupancy))) : 1.0f;
        atom.bFactor = row.has2(kBiso) ? static_cast<float>(parseDouble(text(row, kBiso))) : 1.0f;
        siteNumber++;
        // chosen: an mmCIF site is named by its row of the atom table (values carry no line)
        if (!usableCoordinates(atom)) {
            warnUnusableCoordinates(atom, path + " atom site " + std::to_string(siteNumber), text(row, atomCol));
            continue;
        }
        model.add(atom);
    }
}

}  // namespace

bool readMmcif(const std::string& path, AtomModelBuilder& model, std::string& reason) {
    std::string text;
    if (!readAll(path, text, reason)) return false;
    try {
        gemmi::cif::Document doc = gemmi::cif::read_memory(text.data(), text.size(), path.c_str());
        for (gemmi::cif::Block& block : doc.blocks) {
            gemmi::cif::Table sites = block.find("_atom_site.", kAtomSiteTags);
            if (!sites.ok() || sites.length() == 0) continue;
            if (!sites.has_column(sites.first_of(kAuthAtom, kLabelAtom)) ||
                !sites.has_column(sites.first_of(kAuthSeq, kLabelSeq))) {
                reason = "mmCIF: the atom table names no atoms or no residue numbers";
                return false;
            }
            addAtomSites(sites, model, path);
            return true;
        }
        reason = "mmCIF: no atom table (_atom_site with coordinates)";
    } catch (const std::exception& e) {
        reason = std::string("mmCIF: ") + e.what();
    }
    return false;
}

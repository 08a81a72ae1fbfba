// Fills the atom model of a PDB record by record. The structure readers (fixed-column text,
// mmCIF) hand it conformer boundaries and atoms in file order; it keeps the name pool, the
// residue lists and the residue range, and builds the name and serial indexes at the end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "io/PDB.h"

class LineReader;

class AtomModelBuilder {
public:
    explicit AtomModelBuilder(PDB& pdb);  // empties the model

    // Index of a name in pdb.names, added on first use.
    uint32_t intern(std::string_view name);
    // An atom name as the model keeps it: white space simplified, "H" read as "HN", a leading
    // digit 1, 2 or 3 moved to the end (1HB -> HB1, 2HG1 -> HG12).
    static std::string normalisedAtomName(std::string_view text);
    // A residue name as the model keeps it: white space simplified.
    static std::string normalisedResidueName(std::string_view text);

    // A MODEL record: the atoms that follow belong to conformer `conf`.
    void startConformer(int conf);
    // An END or ENDMDL record: the atoms that follow belong to the next conformer number.
    void endConformer();
    // At most how many records the first conformer holds (a size hint: a file of n bytes holds
    // fewer than n / 55 atom lines), so that its records are not moved while they grow. A hint
    // above kMaxRecordsHint (a file of hundreds of megabytes) is taken as kMaxRecordsHint: beyond
    // it the records grow as they come.
    static constexpr size_t kMaxRecordsHint = size_t(1) << 22;
    void expectRecords(size_t records) { firstHint_ = records < kMaxRecordsHint ? records : kMaxRecordsHint; }
    // One atom line of the current conformer (ATOM, HETATM or a padded TER record).
    void add(const AtomRecord& atom);
    // Builds the indexes, counts the conformers, marks disulfide-bonded cysteines.
    void finish();

private:
    // Room for `records` records in the current conformer (a large one in huge pages).
    void grow(size_t records);
    void buildIndex(int conf, const std::vector<AtomRecord>* previousAtoms, const AtomTable& previousTable);

    PDB& pdb_;
    int current_ = 1;                              // conformer the next atoms belong to
    std::vector<AtomRecord>* pending_ = nullptr;   // its records, once it has one
    size_t lastModelSize_ = 0;                     // records of the model before (a size hint)
    size_t firstHint_ = 0;                         // records the first conformer may hold
    // residue lists change only where (conformer, residue, residue name) changes
    bool haveLast_ = false;
    int lastConf_ = 0, lastRes_ = 0;
    uint32_t lastResName_ = 0;
};

// Reads the fixed-column records of a PDB file, in order, into the model. `fileName` names the
// file in warnings.
void readFixedColumns(LineReader& lines, AtomModelBuilder& model, const std::string& fileName);

// Whether an atom's coordinates may reach a fit (finite, at most kCoordinateMax in size).
bool usableCoordinates(const AtomRecord& atom);
// The one warning for an atom left out for its coordinates; `where` names the file and the line
// or record.
void warnUnusableCoordinates(const AtomRecord& atom, const std::string& where, std::string_view atomName);

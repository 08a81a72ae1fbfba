// Which reader a structure file needs, and the readers that go through zlib and gemmi:
// fixed-column (PDB) files compressed with gzip, and PDBx/mmCIF files, compressed or not.
#pragma once

#include <string>

class AtomModelBuilder;

enum class StructureFormat {
    FixedColumns,         // a PDB file read as it is
    GzipFixedColumns,     // a PDB file decompressed on the fly
    Mmcif,                // a PDBx/mmCIF file, gzipped or not
};

// By the name first: .pdb/.ent and .cif/.mmcif (either case), each perhaps followed by .gz. Any
// other name by the content: gzip data are decompressed, and text that starts with a CIF data
// block ("data_", after blank and '#' comment lines) is mmCIF; anything else is a PDB file.
StructureFormat structureFormat(const std::string& path);

// The reading itself; each returns false with a reason when the file cannot be read, its
// compressed data are damaged, or (mmCIF) it is no CIF file or holds no atom table.
bool readGzipFixedColumns(const std::string& path, AtomModelBuilder& model, std::string& reason);
bool readMmcif(const std::string& path, AtomModelBuilder& model, std::string& reason);

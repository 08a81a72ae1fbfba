// Structure files in other shapes for tests, made at test time: a PDB file converted to PDBx/mmCIF
// with the gemmi library (what `gemmi convert` writes), and files gzipped with zlib.
// Include in one source file per test executable (it holds gemmi's writer).
#pragma once

#include <zlib.h>

#include <fstream>
#include <string>

#define GEMMI_WRITE_IMPLEMENTATION
#define USE_STD_SNPRINTF  // gemmi's number printing through std::snprintf: no stb_sprintf needed
#include <gemmi/pdb.hpp>
#include <gemmi/polyheur.hpp>
#include <gemmi/to_cif.hpp>
#include <gemmi/to_mmcif.hpp>

namespace teststructure {

// Reads `pdbPath` with gemmi and writes it as mmCIF to `cifPath`.
inline void convertToMmcif(const std::string& pdbPath, const std::string& cifPath) {
    gemmi::Structure st = gemmi::read_pdb_file(pdbPath);
    gemmi::setup_entities(st);
    const gemmi::cif::Document doc = gemmi::make_mmcif_document(st);
    std::ofstream os(cifPath, std::ios::binary);
    gemmi::cif::write_cif_to_stream(os, doc, gemmi::cif::Style::PreferPairs);
}

// Writes `bytes` gzip-compressed to `path`.
inline void writeGzip(const std::string& path, const std::string& bytes) {
    gzFile f = gzopen(path.c_str(), "wb");
    gzwrite(f, bytes.data(), static_cast<unsigned>(bytes.size()));
    gzclose(f);
}

}  // namespace teststructure

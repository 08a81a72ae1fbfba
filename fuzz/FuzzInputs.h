// What the fuzz targets feed to Orvex: one input (bytes) read the way a run reads a coupling
// table, a structure file or a command line. Each entry returns the status the run exited
// with while reading (through fail/quit), or kReadToEnd when the reading finished normally.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvexfuzz {

constexpr int kReadToEnd = INT_MIN;

// The bytes as a coupling table: DCListData::readDC, then the plain table reader (GDB with its
// row map and column queries) that the RCSA tables go through.
int readCouplingTable(const uint8_t* data, size_t size);

// The bytes as a structure file under a name that tells no format, so that the content decides:
// gzip data, mmCIF text (a "data_" block) or fixed-column PDB text. After loading, the atoms of
// every conformer are visited and the pairs and dihedrals of every residue looked up.
int readStructure(const uint8_t* data, size_t size);

// The bytes as a command line, one argument per line (a NUL byte also ends one): the parser
// filled as the entry fills it, then Orvex::setArgs; no mode runs.
int readCommandLine(const uint8_t* data, size_t size);

// The arguments readCommandLine makes of the bytes (without the program name).
std::vector<std::string> splitArguments(const uint8_t* data, size_t size);

}  // namespace orvexfuzz

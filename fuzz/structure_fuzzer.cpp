// Fuzz target: the structure file reader (PDB text, mmCIF, gzip) and its atom lookups.
#include "FuzzInputs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    orvexfuzz::readStructure(data, size);
    return 0;
}

// Fuzz target: the coupling table reader.
#include "FuzzInputs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    orvexfuzz::readCouplingTable(data, size);
    return 0;
}

// Fuzz target: the command-line parser and the option reading of Orvex::setArgs.
#include "FuzzInputs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    orvexfuzz::readCommandLine(data, size);
    return 0;
}

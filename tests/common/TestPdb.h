// Writing small structure files for tests: fixed-column ATOM records and MODEL blocks.
#pragma once

#include <cstdio>
#include <string>

namespace testpdb {

// One ATOM record; the name goes to columns 13-16 (left-aligned), the alternate location
// to column 17, the chain to column 22.
inline std::string atom(int serial, const std::string& name, const std::string& resName, int resSeq, double x,
                        double y, double z, double occupancy = 1.0, char altLoc = ' ', char chain = 'A') {
    char line[100];
    std::snprintf(line, sizeof line, "ATOM  %5d %-4s%c%3s %c%4d    %8.3f%8.3f%8.3f%6.2f%6.2f           %c\n",
                  serial, name.c_str(), altLoc, resName.c_str(), chain, resSeq, x, y, z, occupancy, 0.0,
                  name.empty() ? 'X' : name[0]);
    return line;
}

inline std::string model(int serial) {
    char line[32];
    std::snprintf(line, sizeof line, "MODEL     %4d\n", serial);
    return line;
}

inline std::string endModel() { return "ENDMDL\n"; }

}  // namespace testpdb

// Couplings simulated from one known tensor (Da, Dr and rotations) on a structure read
// independently of the program, and the values read back from its result tables: the
// references of the nonlinear-fit tests.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "common/KnownTensor.h"
#include "common/ResultTable.h"

namespace testsim {

using namespace knowntensor;
using namespace resulttable;

// Writes a table of couplings D = |DI| <u.S.u> averaged over the models, for the tensor (Da, Dr,
// psi, theta, phi). Returns the rows written.
inline int writeSimulated(const std::string& path, const Models& models, const std::vector<Kind>& kinds, double Da,
                          double Dr, double psi, double theta, double phi, const std::map<int, std::string>& resNames) {
    return knowntensor::writeSimulated(path, models, kinds, {tensorMatrix(Da, Dr, psi, theta, phi)}, true, resNames);
}

}  // namespace testsim

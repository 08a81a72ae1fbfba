// One residual chemical shift anisotropy record (RCSA mode).
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "io/PDB.h"
#include "numeric/MatVec.h"

class RCSA_Data {
public:
    int id = 0, absFlag = 0, count = 1, valid = 1, selected = 1, selected_v = 1, CLASS = -1, resID = 0;
    std::string resName, atomName, chainName, segName, atomType;
    Vec3 vc = {0, 0, 0}, vn = {0, 0, 0}, vh = {0, 0, 0};
    Vec3 s11 = {0, 0, 0}, s22 = {0, 0, 0}, s33 = {0, 0, 0};
    double d = 9999, dCalc = 0, dCalc_jk = 0, ddc = 0, ddcCalc = 0, di = 0, diCalc = 0;
    double w = 1, wCalc = 0, sigma = 1, sigmaCalc = 0;
    double da_jk = 0, dr_jk = 0;
    std::array<double, 10> da_jk_multiTensor{}, dr_jk_multiTensor{};
    std::vector<CORdata> atom, atomH, atomN, atomC;
    std::map<int, std::map<int, std::array<double, 3>>> csa_tensor_v_maps;
    double dii[4] = {0, 0, 0, 0};
    int atomCount = 0, m = 0;
    std::array<double, 5> A{};
    std::map<int, std::array<double, 5>> Ai;
    Vec3 v = {0, 0, 0};

    RCSA_Data() = default;
    RCSA_Data(const RCSA_Data&) = default;
    RCSA_Data(RCSA_Data&&) = default;
    RCSA_Data& operator=(const RCSA_Data&) = default;
    RCSA_Data& operator=(RCSA_Data&&) = default;
    virtual ~RCSA_Data() = default;
};

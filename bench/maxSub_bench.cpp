// Time of the maximal-subset searches on the ubiquitin example (305 backbone couplings of
// examples/2mjb_set500_backbone.tab averaged over the 20 models of examples/2MJB.pdb): the
// growing search, culling by residue and by coupling, on the measured values and on the same
// couplings with five N-H couplings (residues 5, 18, 33, 48, 63) moved by 10-15 Hz so that
// culling has rounds to run. Also one culling trial (residue jackknife of 69 of the 70
// residues): the engine's trial against the same trial on a copied list with its own selection
// (jackknife, full fit, statistics). Usage: maxSub_bench [examples folder]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "couplings/DCListData.h"
#include "fit/SVDWorkData.h"
#include "io/PDB.h"

namespace {

using Clock = std::chrono::steady_clock;

// Median and fastest of `repeats` runs of f, in milliseconds.
void timeIt(const char* what, int repeats, const std::function<void()>& f, FILE* out) {
    std::vector<double> ms;
    for (int k = 0; k < repeats; k++) {
        const auto t0 = Clock::now();
        f();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    std::fprintf(out, "%-44s %6d %12.3f %12.3f\n", what, repeats, ms[ms.size() / 2], ms.front());
    std::fflush(out);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? std::string(argv[1]) + "/" : "examples/";
    // the searches print progress on both streams: the figures go to a copy of standard output
    FILE* out = fdopen(dup(1), "w");
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);

    std::vector<PDB> pdbs(1);
    if (!pdbs[0].loadPDB(dir + "2MJB.pdb")) return 1;
    DCListData measured;
    DTensor t0;
    measured.readDC(dir + "2mjb_set500_backbone.tab", t0);
    measured.selectDC(measured.segFIRST, measured.segLAST, {}, {}, true);
    measured.buildDC(pdbs, true, 0);
    DCListData corrupted = measured;
    const std::map<int, double> shift = {{5, 10.0}, {18, -12.5}, {33, 15.0}, {48, -11.0}, {63, 13.5}};
    for (DipolarCouplingData& dc : corrupted.dcList)
        if (dc.atomNameI == "N" && dc.atomNameJ == "HN" && shift.count(dc.resIDI)) dc.d += shift.at(dc.resIDI);

    std::fprintf(out, "%-44s %6s %12s %12s\n", "what", "runs", "median_ms", "min_ms");
    for (const auto& [name, list] : {std::make_pair("measured", &measured), std::make_pair("5 corrupted", &corrupted)}) {
        for (int search = 0; search < 3; search++) {
            DTensor t = t0;
            t.byRes = search != 2;
            t.tau = 0.1;
            t.culling_Q = 0.1;
            t.culling_percent = 0;
            t.searchLevel = 9999;
            const char* kind[] = {"growing (-maxSub +)", "culling by residue", "culling by coupling"};
            const std::string what = std::string(kind[search]) + ", " + name;
            timeIt(what.c_str(), 7, [&] {
                std::vector<DipolarCouplingData> work = list->dcList;
                DTensor tt = t;
                std::vector<int> ids;
                std::map<int, double> scores;
                SVDWorkData svd;
                if (search == 0)
                    svd.findS_maxSub_soloSet(ids, scores, 3.0, tt, work);
                else
                    svd.findS_maxSub_culling(ids, scores, 3.0, tt, work);
            }, out);
        }
    }

    // one trial: 69 of the 70 residues, residue jackknife
    SVDWorkData svd;
    SVDWorkData::SubsetUnits units;
    SVDWorkData::buildSubsetUnits(corrupted.dcList, true, units);
    std::vector<char> set(units.count(), 1);
    set[30] = 0;
    std::vector<int> ids;
    for (int u = 0; u < units.count(); u++)
        if (set[u]) ids.push_back(units.id[u]);
    SVDWorkData::CullingOrder order;
    DTensor t = t0;
    DCListData work = corrupted;
    svd.runCullingTrialFit(order, set, units, t);
    timeIt("one trial, engine (runCullingTrialFit)", 201, [&] { svd.runCullingTrialFit(order, set, units, t); }, out);
    timeIt("one trial kept (keepCullingTrial)", 201, [&] { svd.keepCullingTrial(set, units, t, work); }, out);
    timeIt("one trial on a copied list", 201, [&] {
        DCListData copy = corrupted;
        SVDWorkData::updateDClistSelectionByIDs(copy.dcList, ids, true);
        DTensor tt = t0;
        SVDWorkData fit;
        fit.findSaupe_jk_byRes(tt, copy.dcList, 1);
        fit.findSaupe(tt, copy.dcList, 1);
        copy.getStatAll(tt);
    }, out);
    return 0;
}

// The multi-tensor fit on 20 conformers (100 unknowns) and 300 couplings: the ubiquitin
// ensemble examples/2MJB.pdb with the first 300 couplings of examples/2mjb_set500_backbone.tab.
// Times SVDWorkData::simD_multiTensors with the residue jackknife (the default) and the coupling
// jackknife, and, for scale, the residue trials solved one by one with svdLSMat.
// Processor time (clock) is given beside the wall time: on a shared machine it is the steadier one.
// Usage: multiTensor_bench [2MJB.pdb] [table]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "couplings/DCListData.h"
#include "fit/SVDWorkData.h"
#include "io/PDB.h"

namespace {

using Clock = std::chrono::steady_clock;
using List = std::vector<DipolarCouplingData>;

// Wall and processor seconds since a start.
struct Timer {
    Clock::time_point wall = Clock::now();
    std::clock_t cpu = std::clock();
    std::pair<double, double> elapsed() const {
        return {std::chrono::duration<double>(Clock::now() - wall).count(),
                static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC};
    }
};
using Times = std::pair<double, double>;

// One jackknife run on a fresh copy of the list (the copy is not timed).
Times jackknife(const List& list, int P, bool byRes, int& trials) {
    List work = list;
    std::vector<DTensor> tensors(P);
    tensors[0].byRes = byRes;
    SVDWorkData svd;
    const Timer timer;
    trials = svd.simD_multiTensors(work, P, tensors);
    return timer.elapsed();
}

// The residue trials as a plain implementation would solve them: each trial's rows gathered and
// solved by svdLSMat.
Times oneByOne(const List& list, int P) {
    const Timer timer;
    SVDWorkData::Rows rows;
    SVDWorkData::buildRowsPerPair(list, P, rows);
    std::vector<int> trialOf;
    const int K = SVDWorkData::residueTrials(list, rows, trialOf);
    const int k = rows.k;
    std::vector<double> a, b, x(k), cov(static_cast<size_t>(k) * k);
    SVD2 solver;
    for (int g = 0; g < K; g++) {
        a.clear();
        b.clear();
        for (int r = 0; r < rows.n; r++) {
            if (trialOf[r] == g) continue;
            a.insert(a.end(), rows.a.begin() + static_cast<long>(r) * k, rows.a.begin() + static_cast<long>(r + 1) * k);
            b.push_back(rows.b[r]);
        }
        const int n = std::max(static_cast<int>(b.size()), k);
        a.resize(static_cast<size_t>(n) * k, 0.0);
        b.resize(n, 0.0);
        solver.svdLSMat(a.data(), b.data(), n, k, x.data(), cov.data(), 1);
    }
    return timer.elapsed();
}

// Median and fastest, wall and processor time, in ms.
void report(const char* what, std::vector<Times> t, int trials) {
    std::vector<double> wall, cpu;
    for (const Times& x : t) wall.push_back(x.first), cpu.push_back(x.second);
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("%-38s %4d trials  wall median %7.1f fastest %7.1f  cpu median %7.1f fastest %7.1f ms\n", what,
                trials, 1e3 * wall[wall.size() / 2], 1e3 * wall[0], 1e3 * cpu[cpu.size() / 2], 1e3 * cpu[0]);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string pdbName = argc > 1 ? argv[1] : "examples/2MJB.pdb";
    const std::string tabName = argc > 2 ? argv[2] : "examples/2mjb_set500_backbone.tab";
    if (!std::freopen("/dev/null", "w", stderr)) return 1;   // the readers' progress lines
    std::vector<PDB> pdbs(1);
    if (!pdbs[0].loadPDB(pdbName)) return 1;
    DCListData list;
    DTensor t;
    list.readDC(tabName, t);
    if (list.dcList.size() > 300) list.dcList.resize(300);
    list.selectDC(list.segFIRST, list.segLAST, {}, {}, true);
    list.buildDC(pdbs, true, 0);
    const int P = pdbs[0].conformer_count;
    std::printf("%d conformers (%d unknowns), %zu couplings\n", P, 5 * P, list.dcList.size());

    int trials = 0, residueTrials = 0;
    for (bool byRes : {true, false}) {
        std::vector<Times> times;
        jackknife(list.dcList, P, byRes, trials);   // sizes the buffers
        for (int i = 0; i < 7; i++) times.push_back(jackknife(list.dcList, P, byRes, trials));
        report(byRes ? "simD_multiTensors, residue JK" : "simD_multiTensors, coupling JK", times, trials);
        if (byRes) residueTrials = trials;
    }
    std::vector<Times> times;
    for (int i = 0; i < 3; i++) times.push_back(oneByOne(list.dcList, P));
    report("residue trials one by one (svdLSMat)", times, residueTrials);
    return 0;
}

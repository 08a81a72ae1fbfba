// The shape-based tensor mode on the 20-model ubiquitin ensemble with its 305 backbone couplings:
// the whole mode in-process (structure loading, table reading, building, the 20 tensors and the
// final back-calculation), nine runs, each on a fresh application object. Processor time; the
// mode's listing goes to /dev/null, the results to the error stream.
// Usage: shapeTensor_bench [2MJB.pdb] [2mjb_set500_backbone.tab]
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "driver/Orvex.h"

int main(int argc, char** argv) {
    const std::string pdb = argc > 1 ? argv[1] : "examples/2MJB.pdb";
    const std::string table = argc > 2 ? argv[2] : "examples/2mjb_set500_backbone.tab";
    if (!std::freopen("/dev/null", "w", stdout)) return 1;
    std::vector<double> times;
    for (int r = 0; r < 9; r++) {
        Orvex app;
        app.inPDBFileName = pdb;
        app.inDCFileName = table;
        const double t0 = static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
        app.simDC_shapeTensor_multiconfomers();
        times.push_back(static_cast<double>(std::clock()) / CLOCKS_PER_SEC - t0);
        if (r == 0) std::fprintf(stderr, "%zu tensors, %zu couplings\n", app.dTensors.size(), app.dcDataList.dcList.size());
    }
    std::sort(times.begin(), times.end());
    std::fprintf(stderr, "shape mode: median %.1f ms, fastest %.1f ms, slowest %.1f ms\n", 1e3 * times[4],
                 1e3 * times[0], 1e3 * times[8]);
    return 0;
}

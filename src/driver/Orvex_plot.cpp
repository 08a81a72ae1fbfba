// -plot FILE.svg (an extension): the routes of the standard run (SVD, one tensor per conformer,
// nonlinear, given tensors) and the maximal-subset search draw their couplings and statistics
// after writing the result table (CouplingPlot). The plot never changes the run: a file that
// cannot be written only gets a warning.
#include <cstdio>

#include "couplings/CouplingPlot.h"
#include "driver/Orvex.h"
#include "io/RunFiles.h"

void Orvex::writePlotIfAsked(DCListData& list, const std::vector<DTensor>& tensors, int level, int nSVD,
                             bool maxSubset) {
    const std::string& name = runOptions.plotFile;
    // as the result table: nothing for an empty list
    if (name.empty() || list.dcList.empty() || tensors.empty()) return;
    plotDrawn = true;
    CouplingPlot plot;
    plot.compute(list, tensors, level, nSVD, maxSubset);
    bool refused = false;
    FILE* fp = run_files::openForWriting(name, "Plot file", "no plot written", &refused);
    if (refused) return;
    if (fp) {
        plot.write(fp);
        const bool failed = std::ferror(fp) != 0;
        if (std::fclose(fp) == 0 && !failed) return;
        std::remove(name.c_str());   // no half-written plot left behind
    }
    std::fprintf(stderr, "Warning :: Cannot write the plot file %s; the run goes on without a plot.\n", name.c_str());
}

void Orvex::warnIfPlotNotDrawn() const {
    if (runOptions.plotFile.empty() || plotDrawn) return;
    std::fprintf(stderr, "Warning :: No plot written to %s: this run fitted no couplings that -plot can draw.\n",
                 runOptions.plotFile.c_str());
}

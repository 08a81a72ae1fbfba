// The variable-weight ensemble fit at 20, 100 and 500 conformers x 300 couplings x 1 and 4 media:
// one score evaluation (fresh weights every time), the time to stream the coefficients it reads
// once from memory (for scale), and one whole trial (random start, three annealing phases of
// 100, 1000, 1000 steps, two Powell passes; the fit's printing goes to /dev/null).
// The couplings are the first 300 of examples/2mjb_set500_backbone.tab built on the 20 models of
// examples/2MJB.pdb; conformer c takes the unit vectors of model c mod 20, perturbed by a random
// 0.05 (about 3 degrees) beyond the first 20; every medium gets values from its own tensor of that
// ensemble with equal weights plus 0.5 Hz noise. Times are processor time of the process.
// Usage: vwfit_bench [examples folder] [largest conformer count for the trial (default 500)]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "common/RunSeed.h"
#include "couplings/DCListData.h"
#include "fit/FitCostFunctions.h"
#include "fit/FitWorkData.h"
#include "fit/VWFitEnsemble.h"
#include "io/PDB.h"

namespace {

using List = std::vector<DipolarCouplingData>;
constexpr int kCouplings = 300;

double cpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + 1e-9 * t.tv_nsec;
}

// The first 300 working couplings of the table, built on the 20 models.
List baseCouplings(const std::string& examples) {
    std::vector<PDB> pdbs(1);
    pdbs[0].isLoaded = pdbs[0].loadPDB(examples + "/2MJB.pdb");
    DCListData list;
    DTensor t;
    list.readDC(examples + "/2mjb_set500_backbone.tab", t);
    list.selectDC(list.segFIRST, list.segLAST, {}, {}, true);
    list.buildDC(pdbs, true, 0);
    List out;
    for (const DipolarCouplingData& dc : list.dcList)
        if (VWFitEnsemble::isWorking(dc) && dc.vi.size() == 20 && out.size() < kCouplings) out.push_back(dc);
    return out;
}

// One medium of n conformers: the pairs replaced by conformer c's perturbed unit vector, values
// from the tensor s with equal weights plus noise.
List medium(const List& base, int n, const double s[5], std::mt19937& rng) {
    std::normal_distribution<double> noise(0.0, 1.0);
    List out = base;
    for (DipolarCouplingData& dc : out) {
        const std::vector<std::array<double, 3>> model = dc.vi;
        dc.vi.assign(n, {});
        dc.Ai.assign(n, {});
        dc.wi.assign(n, 1.0 / n);
        dc.pairConformer.resize(n);
        dc.atomICount = dc.atomJCount = dc.m = n;
        double sum = 0;
        for (int c = 0; c < n; c++) {
            std::array<double, 3> v = model[c % 20];
            if (c >= 20)
                for (double& x : v) x += 0.05 * noise(rng);
            const double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
            const double x = v[0] / len, y = v[1] / len, z = v[2] / len;
            dc.vi[c] = {x, y, z};
            dc.Ai[c] = {(3 * z * z - 1) / 2, (x * x - y * y) / 2, 2 * x * y, 2 * z * x, 2 * z * y};
            dc.pairConformer[c] = c + 1;
            for (int k = 0; k < 5; k++) sum += dc.wi[c] * dc.Ai[c][k] * s[k];
        }
        dc.d = std::fabs(dc.diCalc) * sum + 0.5 * noise(rng);
    }
    return out;
}

// Processor time of one pass reading every double of the array (eight running sums, so that
// the pass is not bound by the latency of one chain of additions).
double streamOnce(const std::vector<double>& a, double& sink) {
    const double start = cpuSeconds();
    double s[8] = {};
    const size_t n = a.size() / 8 * 8;
    for (size_t i = 0; i < n; i += 8)
        for (int k = 0; k < 8; k++) s[k] += a[i + k];
    for (double v : s) sink += v;
    return cpuSeconds() - start;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Row {
    int conformers, media;
    double stream, evaluation, fastestEvaluation, ratio, trial;
    long trialEvaluations;
};

Row measure(const List& base, int n, int nMedia, int trialUpTo) {
    std::mt19937 rng(12345 + n * 10 + nMedia);
    std::uniform_real_distribution<double> uniform(-8e-4, 8e-4);
    std::vector<List> media;
    for (int k = 0; k < nMedia; k++) {
        double s[5];
        for (double& v : s) v = uniform(rng);
        media.push_back(medium(base, n, s, rng));
    }
    std::vector<int> numbers;
    for (int c = 1; c <= n; c++) numbers.push_back(c);
    std::vector<DTensor> tensors(nMedia);
    const std::vector<int> classes = VWFitEnsemble::classesInUse(media);
    VWFitEnsemble ens(media, tensors, n, numbers, classes);

    Row row{n, nMedia, 0, 0, 0, 0, 0, 0};
    // streaming: an array as large as the blocks one evaluation reads
    std::vector<double> block(static_cast<size_t>(n) * kCouplings * 5 * nMedia);
    for (size_t i = 0; i < block.size(); i++) block[i] = 1e-3 * static_cast<double>(i % 977);
    double sink = 0;

    // evaluations: a pool of weight vectors, a new one every call; each batch of evaluations is
    // timed right after streaming passes over the array, so that both see the same load
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<std::vector<double>> pool(16, std::vector<double>(n));
    for (auto& w : pool)
        for (double& v : w) v = unit(rng);
    ens.score(pool[0].data(), 0, false, true);
    const int perBatch = std::max(5, 200000 / (n * kCouplings * nMedia) * 10);
    std::vector<double> batches, streams, ratios;
    for (int b = 0; b < 21; b++) {
        double stream = 0;
        for (int i = 0; i < perBatch; i++) stream += streamOnce(block, sink);
        stream /= perBatch;
        const double start = cpuSeconds();
        for (int i = 0; i < perBatch; i++) sink += ens.score(pool[i % 16].data(), 0, false, true);
        batches.push_back((cpuSeconds() - start) / perBatch);
        streams.push_back(stream);
        ratios.push_back(batches.back() / stream);
    }
    row.stream = median(streams);
    row.evaluation = median(batches);
    row.fastestEvaluation = *std::min_element(batches.begin(), batches.end());
    row.ratio = median(ratios);

    if (n <= trialUpTo) {
        for (DTensor& t : tensors) {
            t.tensorMode = 3;
            t.fitMode = 7;
            t.saTryCount = 1;
        }
        RunSeed::set(1);
        FitWorkData fit(media, tensors, n);
        fit.conformerNumbers = numbers;
        std::fflush(stdout);
        const int saved = dup(1), null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        const double start = cpuSeconds();
        fit.vwfit_SA_LM_CV_multi_topN_2(n);
        row.trial = cpuSeconds() - start;
        std::fflush(stdout);
        dup2(saved, 1);
        close(null);
        close(saved);
        row.trialEvaluations = fit.dArgs->ensemble->evaluations();
    }
    if (sink == 12345.678) std::puts("");   // keeps the sums alive
    return row;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string examples = argc > 1 ? argv[1] : "examples";
    const int trialUpTo = argc > 2 ? std::atoi(argv[2]) : 500;
    const List base = baseCouplings(examples);
    std::printf("%zu couplings per medium\n", base.size());
    std::printf("conformers media | stream once (ms) | evaluation median (fastest) ms | median ratio | trial s | evaluations "
                "| ms per evaluation in the trial\n");
    for (int n : {20, 100, 500})
        for (int nMedia : {1, 4}) {
            const Row r = measure(base, n, nMedia, trialUpTo);
            std::printf("%10d %5d | %16.3f | %12.3f (%.3f) | %5.2f | ", r.conformers, r.media, 1e3 * r.stream,
                        1e3 * r.evaluation, 1e3 * r.fastestEvaluation, r.ratio);
            if (r.trialEvaluations > 0)
                std::printf("%7.1f | %11ld | %.3f\n", r.trial, r.trialEvaluations, 1e3 * r.trial / r.trialEvaluations);
            else
                std::printf("      - |           - | -\n");
            std::fflush(stdout);
        }
    return 0;
}

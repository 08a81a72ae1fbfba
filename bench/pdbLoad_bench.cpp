// Loading speed of the structure reader: a 1000-model ensemble made by repeating the models of
// an NMR ensemble with new MODEL serials, written to /tmp and read with loadPDB.
// Usage: pdbLoad_bench [source.pdb [models]]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "io/PDB.h"

int main(int argc, char** argv) {
    const std::string source = argc > 1 ? argv[1] : "/work/shared/data/ubiquitin-2mjb/2MJB.pdb";
    const int models = argc > 2 ? std::atoi(argv[2]) : 1000;
    const std::string target = "/tmp/orvex_pdbLoad_bench.pdb";

    // the atom lines of every model of the source, model by model
    std::ifstream in(source);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", source.c_str());
        return 1;
    }
    std::vector<std::string> blocks;
    std::string line, current;
    bool inModel = false;
    while (std::getline(in, line)) {
        if (line.compare(0, 5, "MODEL") == 0) {
            inModel = true;
            current.clear();
        } else if (line.compare(0, 6, "ENDMDL") == 0) {
            if (inModel) blocks.push_back(current);
            inModel = false;
        } else if (inModel) {
            current += line + "\n";
        }
    }
    if (blocks.empty()) {
        std::fprintf(stderr, "no MODEL in %s\n", source.c_str());
        return 1;
    }
    {
        std::ofstream out(target);
        out << "REMARK   1 benchmark ensemble built from " << source << "\n";
        char buf[96];
        for (int m = 1; m <= models; m++) {
            std::snprintf(buf, sizeof buf, "MODEL     %4d                                                                  \n", m);
            out << buf << blocks[(m - 1) % blocks.size()] << "ENDMDL                                                                          \n";
        }
        out << "END\n";
    }
    std::ifstream sized(target, std::ios::binary | std::ios::ate);
    const double mb = static_cast<double>(sized.tellg()) / 1e6;

    double best = 1e30;
    PDB pdb;
    for (int rep = 0; rep < 3; rep++) {
        const auto t0 = std::chrono::steady_clock::now();
        pdb.loadPDB(target);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best) best = s;
    }
    std::printf("file %s: %.1f MB, %d models\n", target.c_str(), mb, models);
    std::printf("loaded: %d conformers, residues %d-%d, %d atoms in conformer 1\n", pdb.conformer_count, pdb.r1,
                pdb.rN, pdb.atomCount(1));
    std::printf("loadPDB best of 3: %.3f s, %.1f MB/s\n", best, mb / best);

    // the lookups the coupling build makes: one N-H pair list over all conformers per residue
    const auto t0 = std::chrono::steady_clock::now();
    int pairs = 0;
    for (int res = pdb.r1; res <= pdb.rN; res++) {
        std::vector<CORdata> I, J;
        pairs += pdb.getVectorEntries(I, J, res, "N", res, "HN", "_");
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("N-HN pairs of every residue: %d pairs in %.3f s\n", pairs, s);
    std::remove(target.c_str());
    return 0;
}

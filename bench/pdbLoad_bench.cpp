// Loading speed of the structure reader, and the pair lookups that building couplings makes.
// Usage: pdbLoad_bench FILE [repeats]
// FILE is any structure file (bench/make-inputs.sh writes a 1000-model ensemble, ens1000.pdb).
// Each repeat loads it into a fresh PDB object; the best processor and wall times are printed,
// then those of the pair lookups of one table (as lookup records and as coordinate pairs), with
// the peak resident memory of the process.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "io/PDB.h"

namespace {

struct Times {
    double cpu = 1e30, wall = 1e30;
};

template <class Work>
Times best(int repeats, Work work) {
    Times t;
    for (int r = 0; r < repeats; r++) {
        const std::clock_t c0 = std::clock();
        const auto w0 = std::chrono::steady_clock::now();
        work();
        const double cpu = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
        if (cpu < t.cpu) t.cpu = cpu;
        if (wall < t.wall) t.wall = wall;
    }
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: pdbLoad_bench FILE [repeats]\n");
        return 2;
    }
    const std::string file = argv[1];
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
    std::ifstream sized(file, std::ios::binary | std::ios::ate);
    const double mb = static_cast<double>(sized.tellg()) / 1e6;

    int conformers = 0, r1 = 0, rN = 0, atoms = 0;
    const Times load = best(repeats, [&] {
        PDB pdb;
        pdb.loadPDB(file);
        conformers = pdb.conformer_count;
        r1 = pdb.r1;
        rN = pdb.rN;
        atoms = pdb.atomCount(1);
    });
    std::printf("file %s: %.1f MB\n", file.c_str(), mb);
    std::printf("loaded: %d conformers, residues %d-%d, atom count %d\n", conformers, r1, rN, atoms);
    std::printf("loadPDB best of %d: %.3f s processor, %.3f s wall, %.1f MB/s\n", repeats, load.cpu, load.wall,
                mb / load.wall);

    // the lookups of building one table: an N-HN pair list over all conformers per residue, into
    // lists that are emptied for each coupling as the coupling records do
    PDB pdb;
    pdb.loadPDB(file);
    int pairs = 0;
    std::vector<CORdata> I, J;
    const Times lookup = best(repeats, [&] {
        pairs = 0;
        for (int res = pdb.r1; res <= pdb.rN; res++) {
            I.clear();
            J.clear();
            pairs += pdb.getVectorEntries(I, J, res, "N", res, "HN", "_");
        }
    });
    std::printf("N-HN pairs of every residue: %d pairs, best %.3f s processor\n", pairs, lookup.cpu);
    // the same pairs as building the couplings takes them: coordinates only, into one list
    std::vector<AtomPair> coordinates;
    const Times lean = best(repeats, [&] {
        pairs = 0;
        for (int res = pdb.r1; res <= pdb.rN; res++) {
            coordinates.clear();
            pairs += pdb.getVectorPairs(coordinates, res, "N", res, "HN", "_");
        }
    });
    std::printf("N-HN coordinate pairs of every residue: %d pairs, best %.3f s processor\n", pairs, lean.cpu);
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %.1f MiB\n", usage.ru_maxrss / 1024.0);
    return 0;
}

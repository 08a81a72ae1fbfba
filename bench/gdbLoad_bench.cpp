// Reading speed of the table reader (GDB::loadGDB), rows as maps and rows in column order.
// Usage: gdbLoad_bench TABLE [copies]
// Writes /tmp/orvex_gdbLoad_bench.tab: the lines of TABLE up to its FORMAT line, then its data rows
// repeated `copies` times (default 100), and loads it three times each way (best processor time).
// Then loads TABLE itself again and again (about 20 MB in all), the cost of reading one small table.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "io/GDB.h"

namespace {

double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: gdbLoad_bench TABLE [copies]\n");
        return 2;
    }
    const std::string source = argv[1];
    const int copies = argc > 2 ? std::atoi(argv[2]) : 100;
    const std::string target = "/tmp/orvex_gdbLoad_bench.tab";

    std::ifstream in(source);
    std::string header, rows, line;
    bool formatSeen = false;
    while (std::getline(in, line)) {
        (formatSeen ? rows : header) += line + "\n";
        if (line.compare(0, 6, "FORMAT") == 0) formatSeen = true;
    }
    {
        std::ofstream out(target);
        out << header;
        for (int c = 0; c < copies; c++) out << rows;
    }
    std::ifstream sized(target, std::ios::binary | std::ios::ate);
    const double mb = static_cast<double>(sized.tellg()) / 1e6;

    double best = 1e30;
    int count = 0;
    for (int rep = 0; rep < 3; rep++) {
        const double t0 = cpuSeconds();
        GDB table(target);
        count = table.getEntryCount();
        best = std::min(best, cpuSeconds() - t0);
    }
    std::printf("table %s: %.1f MB, %d rows\n", target.c_str(), mb, count);
    std::printf("loadGDB best of 3: %.3f s processor, %.1f MB/s\n", best, mb / best);
    best = 1e30;
    for (int rep = 0; rep < 3; rep++) {
        const double t0 = cpuSeconds();
        GDB table;
        GDBRows byColumn;
        table.loadGDB(target, byColumn);
        count = byColumn.rowCount();
        best = std::min(best, cpuSeconds() - t0);
    }
    std::printf("loadGDB into rows in column order, best of 3: %.3f s processor, %.1f MB/s, %d rows\n", best,
                mb / best, count);
    std::remove(target.c_str());

    std::ifstream sourceSize(source, std::ios::binary | std::ios::ate);
    const int small = std::max(10, static_cast<int>(20e6 / std::max<double>(1.0, sourceSize.tellg())));
    const double t0 = cpuSeconds();
    for (int rep = 0; rep < small; rep++) {
        GDB table(source);
        count = table.getEntryCount();
    }
    std::printf("%s (%d rows) loaded %d times: %.1f us per load\n", source.c_str(), count, small,
                (cpuSeconds() - t0) / small * 1e6);
    const double t1 = cpuSeconds();
    for (int rep = 0; rep < small; rep++) {
        GDB table;
        GDBRows byColumn;
        table.loadGDB(source, byColumn);
        count = byColumn.rowCount();
    }
    std::printf("the same in column order: %.1f us per load\n", (cpuSeconds() - t1) / small * 1e6);
    return 0;
}

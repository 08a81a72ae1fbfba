// Whole standard run (read table, load structure, build, SVD fit with jackknife, write the
// result table) on generated tables of 100, 1 000 and 10 000 N-H couplings.
//
// The structure is a chain of N residues made by repeating the amide N/H and CA of model 1 of
// examples/2MJB.pdb with shifted residue numbers; the couplings are simulated from a fixed
// tensor with 0.5 Hz noise. Usage: fullRun_bench [path to 2MJB_model1.pdb]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "driver/CmdArgParser.h"
#include "driver/Orvex.h"

namespace {

struct Amide {
    std::string resName;
    double n[3], h[3];
};

std::vector<Amide> readAmides(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::vector<Amide> out;
    Amide cur{};
    int curRes = -1;
    bool hasN = false, hasH = false;
    while (std::getline(in, line)) {
        if (line.rfind("ATOM", 0) != 0 || line.size() < 54) continue;
        int res = std::atoi(line.substr(22, 4).c_str());
        if (res != curRes) {
            if (hasN && hasH) out.push_back(cur);
            cur = Amide{};
            curRes = res;
            hasN = hasH = false;
            cur.resName = line.substr(17, 3);
        }
        std::string name = line.substr(12, 4);
        name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
        double xyz[3] = {std::atof(line.substr(30, 8).c_str()), std::atof(line.substr(38, 8).c_str()),
                         std::atof(line.substr(46, 8).c_str())};
        if (name == "N") std::copy(xyz, xyz + 3, cur.n), hasN = true;
        if (name == "H") std::copy(xyz, xyz + 3, cur.h), hasH = true;
    }
    if (hasN && hasH) out.push_back(cur);
    return out;
}

void writeInputs(const std::vector<Amide>& amides, int n, const std::string& pdb, const std::string& tab) {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, 0.5);
    const double S[3][3] = {{-2e-4, 3e-4, 1e-4}, {3e-4, -4e-4, -2e-4}, {1e-4, -2e-4, 6e-4}};
    FILE* fp = std::fopen(pdb.c_str(), "w");
    FILE* ft = std::fopen(tab.c_str(), "w");
    std::fprintf(ft, "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\n");
    std::fprintf(ft, "FORMAT %%5d %%4s %%4s %%5d %%4s %%4s %%9.3f\n");
    int serial = 1;
    for (int r = 1; r <= n; r++) {
        const Amide& a = amides[(r - 1) % amides.size()];
        double shift = 40.0 * ((r - 1) / amides.size());
        std::fprintf(fp, "ATOM  %5d  N   %3s A%4d    %8.3f%8.3f%8.3f  1.00  0.00           N\n", serial++ % 100000,
                     a.resName.c_str(), r, a.n[0] + shift, a.n[1], a.n[2]);
        std::fprintf(fp, "ATOM  %5d  H   %3s A%4d    %8.3f%8.3f%8.3f  1.00  0.00           H\n", serial++ % 100000,
                     a.resName.c_str(), r, a.h[0] + shift, a.h[1], a.h[2]);
        double u[3], len = 0, q = 0;
        for (int c = 0; c < 3; c++) len += std::pow(u[c] = a.h[c] - a.n[c], 2);
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) q += u[i] * S[i][j] * u[j] / len;
        std::fprintf(ft, "%5d %4s %4s %5d %4s %4s %9.3f\n", r, a.resName.c_str(), "N", r, a.resName.c_str(), "H",
                     21585.2 * q + noise(rng));
    }
    std::fprintf(fp, "END\n");
    std::fclose(fp);
    std::fclose(ft);
}

double runOnce(const std::vector<std::string>& args) {
    CmdArgParser* p = CmdArgParser::getInstance();
    p->lst.clear();
    p->origStr = " ";
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    static char prog[] = "Orvex";
    argv.push_back(prog);
    for (auto& a : copy) argv.push_back(&a[0]);
    auto start = std::chrono::steady_clock::now();
    p->setArg(std::string(" -"), static_cast<int>(argv.size()), argv.data());
    Orvex app;
    app.setArgs(ArgList());
    app.simDC();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    std::string model = argc > 1 ? argv[1] : "examples/2MJB_model1.pdb";
    std::vector<Amide> amides = readAmides(model);
    if (amides.empty()) {
        std::fprintf(stderr, "cannot read amides from %s\n", model.c_str());
        return 1;
    }
    // progress lines of the program go to the error stream; keep them out of the figures
    if (!std::freopen("/dev/null", "w", stderr)) return 1;
    std::printf("%8s %10s %14s %14s\n", "N", "residue JK", "coupling JK", "no JK");
    for (int n : {100, 1000, 10000}) {
        std::string dir = "/tmp/orvex_bench_" + std::to_string(n);
        std::string cmd = "mkdir -p " + dir;
        if (std::system(cmd.c_str()) != 0) return 1;
        writeInputs(amides, n, dir + "/s.pdb", dir + "/t.tab");
        if (chdir(dir.c_str()) != 0) return 1;
        const std::vector<std::string> base = {"-pdb", "s.pdb", "-inD", "t.tab", "-outD", "o.tab"};
        double best[3] = {1e9, 1e9, 1e9};
        const int repeats = n >= 10000 ? 3 : 7;
        for (int k = 0; k < repeats; k++) {
            best[0] = std::min(best[0], runOnce(base));
            auto c = base;
            c.insert(c.end(), {"-JK_level", "C"});
            best[1] = std::min(best[1], runOnce(c));
            auto nj = base;
            nj.push_back("-noJK");
            best[2] = std::min(best[2], runOnce(nj));
        }
        std::printf("%8d %9.4fs %13.4fs %13.4fs\n", n, best[0], best[1], best[2]);
        std::fflush(stdout);
    }
    return 0;
}

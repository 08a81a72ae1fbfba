// Time of one LeaveGroupOutLS run (every trial's solution and covariance diagonal) for n rows
// of k columns: one trial per row (coupling jackknife) and one trial per three rows (residue
// jackknife of a backbone table), k = 5 (one tensor) and k = 15 (three tensors).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "numeric/LeaveGroupOutLS.h"

int main() {
    const int repeats = 7;   // the median and the fastest are reported
    std::printf("%7s %4s %9s %12s %12s %14s\n", "n", "k", "trials", "median_ms", "min_ms", "us_per_trial");
    double sink = 0.0;
    for (int k : {5, 15}) {
        for (int n : {100, 1000, 10000}) {
            for (int perTrial : {1, 3}) {
                std::mt19937 gen(n + k);
                std::uniform_real_distribution<double> u(-1.0, 1.0);
                std::vector<double> a(static_cast<size_t>(n) * k), b(n);
                std::vector<int> group(n);
                for (double& v : a) v = u(gen);
                for (double& v : b) v = u(gen);
                for (int r = 0; r < n; r++) group[r] = r / perTrial;
                const int trials = (n + perTrial - 1) / perTrial;

                LeaveGroupOutLS solver;
                solver.run(a.data(), b.data(), n, k, group.data(), trials);   // sizes the buffers
                std::vector<double> ms;
                for (int rep = 0; rep < repeats; rep++) {
                    b[rep] += 1e-9;
                    const auto t0 = std::chrono::steady_clock::now();
                    solver.run(a.data(), b.data(), n, k, group.data(), trials);
                    const auto t1 = std::chrono::steady_clock::now();
                    ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
                    sink += solver.solution(trials - 1)[0];
                }
                std::sort(ms.begin(), ms.end());
                std::printf("%7d %4d %9d %12.3f %12.3f %14.3f\n", n, k, trials, ms[repeats / 2], ms.front(),
                            1000.0 * ms[repeats / 2] / trials);
                std::fflush(stdout);
            }
        }
    }
    std::fprintf(stderr, "(checksum %g)\n", sink);
    return 0;
}

// Time per svdLSMat solve of n x 5 systems (the shape of every order-matrix fit), with the
// covariance, repeated on one SVD2 object as the jackknife does.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "numeric/SVD2.h"

int main() {
    const int m = 5;
    const int batches = 21;  // the median of the batch means is reported
    std::printf("%8s %10s %14s %14s\n", "n", "solves", "median_us", "min_us");
    double sink = 0.0;
    for (int n : {100, 1000, 10000}) {
        std::mt19937 gen(n);
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        std::vector<double> A(static_cast<size_t>(n) * m), b(n), x(m), cvm(m * m);
        for (double& v : A) v = u(gen);
        for (double& v : b) v = u(gen);

        SVD2 solver;
        solver.svdLSMat(A.data(), b.data(), n, m, x.data(), cvm.data(), 1);  // sets up the arrays
        const int perBatch = std::max(5, 400000 / n);
        std::vector<double> perSolveUs;
        for (int batch = 0; batch < batches; ++batch) {
            const auto t0 = std::chrono::steady_clock::now();
            for (int r = 0; r < perBatch; ++r) {
                b[r % n] += 1e-9;  // a slightly different right-hand side each time
                solver.svdLSMat(A.data(), b.data(), n, m, x.data(), cvm.data(), 1);
                sink += x[0];
            }
            const auto t1 = std::chrono::steady_clock::now();
            perSolveUs.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count() / perBatch);
        }
        std::sort(perSolveUs.begin(), perSolveUs.end());
        std::printf("%8d %10d %14.2f %14.2f\n", n, perBatch * batches, perSolveUs[batches / 2],
                    perSolveUs.front());
    }
    std::fprintf(stderr, "(checksum %g)\n", sink);
    return 0;
}

// Golub-Reinsch singular value decomposition, back-substitution, covariance and the
// least-squares drivers shared by SVD and SVD2; the process-wide SVD instance.
//
// The decomposition: Householder reduction of A to upper bidiagonal form, accumulation of
// the right-hand and left-hand transformations, then implicit-shift QR sweeps on the
// bidiagonal matrix, one singular value at a time from the last. Arrays are one-based.
// The least-squares drivers never form U: they keep the left Householder vectors and the
// product G of the QR-phase rotations (n x n) instead and apply U^T = G^T H_n...H_1 to the
// right-hand side, which saves the O(m n^2) accumulation of U over the m rows.
// Two deliberate choices users' results depend on:
//   - every negligibility test is absolute (|x| against 1e-22), not relative to the norm;
//   - singular values are left in the order the sweeps produce them (not sorted).
#include "numeric/SVD.h"

#include <algorithm>
#include <cmath>

namespace {

// |a| with the sign of b (b = -0.0 counts as positive).
double withSignOf(double a, double b) { return b >= 0.0 ? std::fabs(a) : -std::fabs(a); }

}  // namespace

// ---------------------------------------------------------------- work arrays

SVDSolver::SVDSolver(const SVDSolver& other) { *this = other; }

SVDSolver& SVDSolver::operator=(const SVDSolver& other) {
    if (this == &other) return *this;
    at = other.at;
    bt = other.bt;
    ct = other.ct;
    maxarg1 = other.maxarg1;
    maxarg2 = other.maxarg2;
    lastLength = other.lastLength;
    lastOrder = other.lastOrder;
    cols_ = other.cols_;
    vvWidth_ = other.vvWidth_;
    uuBlock_ = other.uuBlock_;
    vvBlock_ = other.vvBlock_;
    bbStore_ = other.bbStore_;
    wwStore_ = other.wwStore_;
    ppStore_ = other.ppStore_;
    ccStore_ = other.ccStore_;
    ggBlock_ = other.ggBlock_;
    hinvStore_ = other.hinvStore_;
    qbStore_ = other.qbStore_;
    ubStore_ = other.ubStore_;
    heldLS_ = other.heldLS_;
    if (other.uu)
        pointArrays();
    else {
        uu = vv = gg = nullptr;
        bb = ww = pp = cc = hinv_ = qb_ = ub_ = nullptr;
        uuRows_.clear();
        vvRows_.clear();
        ggRows_.clear();
    }
    return *this;
}

void SVDSolver::pointArrays() {
    const int rows = lastLength + 1;
    uuRows_.resize(rows);
    for (int i = 0; i < rows; ++i) uuRows_[i] = uuBlock_.data() + static_cast<size_t>(i) * cols_;
    vvRows_.resize(cols_);
    for (int i = 0; i < cols_; ++i) vvRows_[i] = vvBlock_.data() + static_cast<size_t>(i) * vvWidth_;
    ggRows_.resize(cols_);
    for (int i = 0; i < cols_; ++i) ggRows_[i] = ggBlock_.data() + static_cast<size_t>(i) * cols_;
    uu = uuRows_.data();
    vv = vvRows_.data();
    gg = ggRows_.data();
    bb = bbStore_.data();
    ww = wwStore_.data();
    pp = ppStore_.data();
    cc = ccStore_.data();
    hinv_ = hinvStore_.data();
    qb_ = qbStore_.data();
    ub_ = ubStore_.data();
}

int SVDSolver::svdPolyInit(int n, int order) {
    if (n < 0 || order < -1) return 1;
    const int c = order + 2;
    cols_ = c;
    // vv is used as a c x c one-based matrix; rows are at least n + 1 long as well.
    vvWidth_ = std::max(n + 1, c);
    uuBlock_.assign(static_cast<size_t>(n + 1) * c, 0.0);
    vvBlock_.assign(static_cast<size_t>(c) * vvWidth_, 0.0);
    bbStore_.assign(n + 1, 0.0);
    wwStore_.assign(c, 0.0);
    ccStore_.assign(c, 0.0);
    ppStore_.assign(c + n + 1, 0.0);
    ggBlock_.assign(static_cast<size_t>(c) * c, 0.0);
    hinvStore_.assign(c, 0.0);
    qbStore_.assign(n + 1, 0.0);
    ubStore_.assign(c, 0.0);
    heldLS_ = false;
    lastLength = n;
    lastOrder = order;
    pointArrays();
    return 0;
}

int SVDSolver::svdPolyFree() {
    uuBlock_ = std::vector<double>();
    vvBlock_ = std::vector<double>();
    bbStore_ = std::vector<double>();
    wwStore_ = std::vector<double>();
    ppStore_ = std::vector<double>();
    ccStore_ = std::vector<double>();
    ggBlock_ = std::vector<double>();
    hinvStore_ = std::vector<double>();
    qbStore_ = std::vector<double>();
    ubStore_ = std::vector<double>();
    uuRows_ = std::vector<double*>();
    vvRows_ = std::vector<double*>();
    ggRows_ = std::vector<double*>();
    uu = vv = gg = nullptr;
    bb = ww = pp = cc = hinv_ = qb_ = ub_ = nullptr;
    heldLS_ = false;
    lastLength = 0;
    lastOrder = 0;
    cols_ = 0;
    vvWidth_ = 0;
    return 0;
}

// ---------------------------------------------------------------- decomposition

// sqrt(a^2 + b^2) without overflow: the larger magnitude is factored out.
double SVDSolver::hypotenuse(double a, double b) {
    at = std::fabs(a);
    bt = std::fabs(b);
    if (at > bt) {
        ct = bt / at;
        return at * std::sqrt(1.0 + ct * ct);
    }
    if (bt == 0.0) return 0.0;
    ct = at / bt;
    return bt * std::sqrt(1.0 + ct * ct);
}

int SVDSolver::svdcmpUser(double** a, int m, int n, double* w, double** v, double* rv1) {
    heldLS_ = false;   // a may be uu: the held least-squares decomposition is gone
    return golubReinsch(a, m, n, w, v, rv1, nullptr, nullptr);
}

int SVDSolver::golubReinsch(double** a, int m, int n, double* w, double** v, double* rv1, double** g1,
                            double* hinv) {
    if (n < 1) return 0;
    const bool formU = g1 == nullptr;
    const int maxSteps = maxQRSteps();

    // 1. Householder reduction to bidiagonal form: diagonal in w, superdiagonal in rv1.
    //    Column reflections act from the left, row reflections from the right.
    double g = 0.0, scale = 0.0;
    int l = 1;
    for (int i = 1; i <= n; ++i) {
        l = i + 1;
        rv1[i] = scale * g;
        g = 0.0;
        scale = 0.0;
        double s = 0.0;
        if (i <= m) {
            for (int k = i; k <= m; ++k) scale += std::fabs(a[k][i]);
            if (scale > kTiny) {
                for (int k = i; k <= m; ++k) {
                    a[k][i] /= scale;
                    s += a[k][i] * a[k][i];
                }
                double f = a[i][i];
                g = -withSignOf(std::sqrt(s), f);
                const double h = f * g - s;
                a[i][i] = f - g;
                for (int j = l; j <= n; ++j) {
                    double dot = 0.0;
                    for (int k = i; k <= m; ++k) dot += a[k][i] * a[k][j];
                    f = dot / h;
                    for (int k = i; k <= m; ++k) a[k][j] += f * a[k][i];
                }
                for (int k = i; k <= m; ++k) a[k][i] *= scale;
            }
        }
        w[i] = scale * g;
        g = 0.0;
        s = 0.0;
        scale = 0.0;
        if (i <= m && i != n) {
            for (int k = l; k <= n; ++k) scale += std::fabs(a[i][k]);
            if (scale > kTiny) {
                for (int k = l; k <= n; ++k) {
                    a[i][k] /= scale;
                    s += a[i][k] * a[i][k];
                }
                const double f = a[i][l];
                g = -withSignOf(std::sqrt(s), f);
                const double h = f * g - s;
                a[i][l] = f - g;
                for (int k = l; k <= n; ++k) rv1[k] = a[i][k] / h;
                for (int j = l; j <= m; ++j) {
                    double dot = 0.0;
                    for (int k = l; k <= n; ++k) dot += a[j][k] * a[i][k];
                    for (int k = l; k <= n; ++k) a[j][k] += dot * rv1[k];
                }
                for (int k = l; k <= n; ++k) a[i][k] *= scale;
            }
        }
    }

    // 2. Accumulate the right-hand transformations into v.
    for (int i = n; i >= 1; --i) {
        if (i < n) {
            if (g != 0.0) {
                // Two divisions rather than one product, against underflow.
                for (int j = l; j <= n; ++j) v[j][i] = (a[i][j] / a[i][l]) / g;
                for (int j = l; j <= n; ++j) {
                    double dot = 0.0;
                    for (int k = l; k <= n; ++k) dot += a[i][k] * v[k][j];
                    for (int k = l; k <= n; ++k) v[k][j] += dot * v[k][i];
                }
            }
            for (int j = l; j <= n; ++j) v[i][j] = v[j][i] = 0.0;
        }
        v[i][i] = 1.0;
        g = rv1[i];
        l = i;
    }

    // 3. Accumulate the left-hand transformations into a (which becomes U), or keep them:
    //    a keeps the Householder vectors (column i, rows i..m), hinv[i] = 1/w[i] of the
    //    reflection (0: none was made), and g1 starts as the n x n identity.
    if (!formU) {
        for (int i = 1; i <= n; ++i) {
            hinv[i] = (i <= m && w[i] != 0.0) ? 1.0 / w[i] : 0.0;
            for (int j = 1; j <= n; ++j) g1[i][j] = i == j ? 1.0 : 0.0;
        }
    }
    for (int i = formU ? std::min(m, n) : 0; i >= 1; --i) {
        l = i + 1;
        g = w[i];
        for (int j = l; j <= n; ++j) a[i][j] = 0.0;
        if (g != 0.0) {
            g = 1.0 / g;
            for (int j = l; j <= n; ++j) {
                double dot = 0.0;
                for (int k = l; k <= m; ++k) dot += a[k][i] * a[k][j];
                const double f = (dot / a[i][i]) * g;
                for (int k = i; k <= m; ++k) a[k][j] += f * a[k][i];
            }
            for (int j = i; j <= m; ++j) a[j][i] *= g;
        } else {
            for (int j = i; j <= m; ++j) a[j][i] = 0.0;
        }
        a[i][i] += 1.0;
    }

    // 4. Diagonalise the bidiagonal matrix, singular value k = n down to 1. The left
    //    rotations act on the columns of U (m rows), or of g1 (n rows).
    double** left = formU ? a : g1;
    const int leftRows = formU ? m : n;
    for (int k = n; k >= 1; --k) {
        for (int its = 1; its <= maxSteps; ++its) {
            // Find the top l of the unreduced block ending at k: either rv1[l] is
            // negligible (split), or w[l-1] is, and rv1[l] must first be cancelled.
            // rv1[1] is always 0, so the search stops at l = 1 at the latest.
            bool cancel = true;
            int nm = 0;
            for (l = k; l >= 1; --l) {
                nm = l - 1;
                if (std::fabs(rv1[l]) < kTiny) {
                    cancel = false;
                    break;
                }
                if (std::fabs(w[nm]) < kTiny) break;
            }
            if (cancel) {
                // Rotations from the left chase rv1[l] out along row nm.
                double c = 0.0, s = 1.0;
                for (int i = l; i <= k; ++i) {
                    const double f = s * rv1[i];
                    rv1[i] = c * rv1[i];
                    // A negligible f is skipped; nothing further is left to chase
                    // (the rotation is the identity from here on).
                    if (std::fabs(f) <= kTiny) break;
                    g = w[i];
                    double h = hypotenuse(f, g);
                    w[i] = h;
                    h = 1.0 / h;
                    c = g * h;
                    s = -f * h;
                    for (int j = 1; j <= leftRows; ++j) {
                        const double y = left[j][nm];
                        const double z = left[j][i];
                        left[j][nm] = y * c + z * s;
                        left[j][i] = z * c - y * s;
                    }
                }
            }
            double z = w[k];
            if (l == k) {
                // Converged: make the value non-negative.
                if (z < 0.0) {
                    w[k] = -z;
                    for (int j = 1; j <= n; ++j) v[j][k] = -v[j][k];
                }
                break;
            }
            // A value that runs out of iterations is left as it stands (no message,
            // no sign correction) and the next value is taken.

            // Shift from the bottom 2 x 2 minor.
            double x = w[l];
            nm = k - 1;
            double y = w[nm];
            g = rv1[nm];
            double h = rv1[k];
            double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
            g = hypotenuse(f, 1.0);
            f = ((x - z) * (x + z) + h * ((y / (f + withSignOf(g, f))) - h)) / x;

            // One implicit QR sweep by Givens rotations.
            double c = 1.0, s = 1.0;
            for (int j = l; j <= nm; ++j) {
                const int i = j + 1;
                g = rv1[i];
                y = w[i];
                h = s * g;
                g = c * g;
                z = hypotenuse(f, h);
                rv1[j] = z;
                c = f / z;
                s = h / z;
                f = x * c + g * s;
                g = g * c - x * s;
                h = y * s;
                y *= c;
                for (int jj = 1; jj <= n; ++jj) {
                    const double vx = v[jj][j];
                    const double vz = v[jj][i];
                    v[jj][j] = vx * c + vz * s;
                    v[jj][i] = vz * c - vx * s;
                }
                z = hypotenuse(f, h);
                w[j] = z;
                if (z != 0.0) {
                    z = 1.0 / z;
                    c = f * z;
                    s = h * z;
                }
                f = c * g + s * y;
                x = c * y - s * g;
                for (int jj = 1; jj <= leftRows; ++jj) {
                    const double uy = left[jj][j];
                    const double uz = left[jj][i];
                    left[jj][j] = uy * c + uz * s;
                    left[jj][i] = uz * c - uy * s;
                }
            }
            rv1[l] = 0.0;
            rv1[k] = f;
            w[k] = x;
        }
    }
    return 0;
}

int SVDSolver::svbksbUser(double** u, const double* w, double** v, int m, int n, const double* b,
                          double* x, double* tmp) const {
    for (int j = 1; j <= n; ++j) {
        double s = 0.0;
        if (std::fabs(w[j]) > kTiny) {
            for (int i = 1; i <= m; ++i) s += u[i][j] * b[i];
            s /= w[j];
        }
        tmp[j] = s;
    }
    for (int j = 1; j <= n; ++j) {
        double s = 0.0;
        for (int k = 1; k <= n; ++k) s += v[j][k] * tmp[k];
        x[j] = s;
    }
    return 0;
}

void SVDSolver::projectLeft(double** a, int m, int n, double** g1, const double* hinv, double* b,
                            double* ub) const {
    // H_1 first: U = H_1 H_2 ... (first n columns) * g1, so U^T b = g1^T (... H_2 H_1 b).
    // Each reflection is I + u u^T / (u_i w_i) with u in column i, rows i..m.
    const int r = std::min(m, n);
    for (int i = 1; i <= r; ++i) {
        if (hinv[i] == 0.0) continue;
        double dot = 0.0;
        for (int k = i; k <= m; ++k) dot += a[k][i] * b[k];
        const double f = (dot / a[i][i]) * hinv[i];
        for (int k = i; k <= m; ++k) b[k] += f * a[k][i];
    }
    // Columns of U beyond the m rows are zero (m < n): only the first r entries count.
    for (int j = 1; j <= n; ++j) {
        double s = 0.0;
        for (int p = 1; p <= r; ++p) s += g1[p][j] * b[p];
        ub[j] = s;
    }
}

int SVDSolver::svdvarUser(double** v, int ma, const double* w, double* wti, double* cvm) const {
    if (cvm == nullptr) return 0;
    for (int k = 1; k <= ma; ++k) wti[k] = std::fabs(w[k]) > kTiny ? 1.0 / (w[k] * w[k]) : 0.0;
    for (int i = 1; i <= ma; ++i) {
        for (int j = 1; j <= i; ++j) {
            double sum = 0.0;
            for (int k = 1; k <= ma; ++k) sum += v[i][k] * v[j][k] * wti[k];
            cvm[(i - 1) * ma + (j - 1)] = sum;
            cvm[(j - 1) * ma + (i - 1)] = sum;
        }
    }
    return 0;
}

void SVDSolver::dropSmallValues(double* w, int n) {
    maxarg1 = 0.0;
    for (int j = 1; j <= n; ++j) {
        maxarg2 = std::fabs(w[j]);
        if (maxarg2 > maxarg1) maxarg1 = maxarg2;
    }
    const double threshold = kRelDrop * maxarg1;
    for (int j = 1; j <= n; ++j)
        if (std::fabs(w[j]) < threshold) w[j] = 0.0;
}

// ---------------------------------------------------------------- drivers

int SVDSolver::svdLSMat(const double* A, const double* b, int n, int m, double* x, double* cvm,
                        int decompose) {
    if (m < 1) return 0;
    if (m == 1) {
        // One parameter, no decomposition: x = sum b^2 / sum A b. This is the ratio the
        // program has always used here (it is not the ordinary slope sum A b / sum A^2;
        // the two agree when b is proportional to A). The "covariance" is set to 1.
        double num = 0.0, den = 0.0;
        for (int i = 0; i < n; ++i) {
            num += b[i] * b[i];
            den += A[i] * b[i];
        }
        x[0] = (n < 1 || den == 0.0) ? 0.0 : num / den;
        if (cvm != nullptr) cvm[0] = 1.0;
        return 0;
    }

    // The arrays are kept while the sizes stay the same: repeated solves of one size
    // (the jackknife) do not allocate.
    if (uu == nullptr || n != lastLength || m - 1 != lastOrder) {
        svdPolyFree();
        if (svdPolyInit(n, m - 1) != 0) return 1;
    }
    for (int i = 1; i <= n; ++i) bb[i] = b[i - 1];

    // decompose = 0 reuses the decomposition of the previous call; when none is held (fresh
    // arrays, or a decomposition of another kind since), the matrix is decomposed regardless.
    if (decompose != 0 || !heldLS_) {
        for (int i = 1; i <= n; ++i) {
            const double* row = A + static_cast<size_t>(i - 1) * m;
            for (int j = 1; j <= m; ++j) uu[i][j] = row[j - 1];
        }
        decomposeHeld(n, m);
    }
    svdvarUser(vv, m, ww, cc, cvm);
    backSubstituteHeld(n, m, x);
    return 0;
}

void SVDSolver::decomposeHeld(int n, int ma) {
    golubReinsch(uu, n, ma, ww, vv, pp, gg, hinv_);
    dropSmallValues(ww, ma);
    heldLS_ = true;
}

// x = V diag(1/w) U^T b for the b in bb, |w| <= kTiny left out (x zero-based, ma values).
void SVDSolver::backSubstituteHeld(int n, int ma, double* x) {
    for (int i = 1; i <= n; ++i) qb_[i] = bb[i];
    projectLeft(uu, n, ma, gg, hinv_, qb_, ub_);
    for (int j = 1; j <= ma; ++j) pp[j] = std::fabs(ww[j]) > kTiny ? ub_[j] / ww[j] : 0.0;
    for (int j = 1; j <= ma; ++j) {
        double s = 0.0;
        for (int k = 1; k <= ma; ++k) s += vv[j][k] * pp[k];
        x[j - 1] = s;
    }
}

int SVDSolver::svdPoly(const double* x, const double* y, int n, int order, double* coef) {
    if (n < 0 || order < 0) return 1;
    if (uu == nullptr || n != lastLength || order != lastOrder) {
        svdPolyFree();
        if (svdPolyInit(n, order) != 0) return 1;
    }
    const int ma = order + 1;
    for (int i = 1; i <= n; ++i) {
        double p = 1.0;
        for (int j = 1; j <= ma; ++j) {
            uu[i][j] = p;
            p *= x[i - 1];
        }
        bb[i] = y[i - 1];
    }
    return solveFilled(n, ma, coef);
}

// Least squares on the n x ma system already in uu/bb: decompose, drop small singular values,
// back-substitute into coef (zero-based).
int SVDSolver::solveFilled(int n, int ma, double* coef) {
    decomposeHeld(n, ma);
    backSubstituteHeld(n, ma, coef);
    return 0;
}

int SVDSolver::svdFunc(const double* x, const double* y, int n, int order, double* coef,
                       double (*basis)(int, int)) {
    if (n < 0 || order < 0 || basis == nullptr) return 1;
    // The arrays set up before are used as they are; only when they are missing or too
    // small for this problem are they created (rather than writing past their end).
    if (uu == nullptr || n > lastLength || order > lastOrder) {
        svdPolyFree();
        if (svdPolyInit(n, order) != 0) return 1;
    }
    const int ma = order + 1;
    for (int i = 1; i <= n; ++i) {
        const int xi = static_cast<int>(x[i - 1]);
        for (int j = 1; j <= ma; ++j) uu[i][j] = basis(j, xi);
        bb[i] = y[i - 1];
    }
    return solveFilled(n, ma, coef);
}

// ---------------------------------------------------------------- SVD

SVD* SVD::instance_ = nullptr;

SVD::SVD(int n, int order) { svdPolyInit(n, order); }

SVD::~SVD() {
    // Only the single instance is forgotten; other SVD objects leave it alone.
    if (instance_ == this) instance_ = nullptr;
}

SVD* SVD::getInstance() {
    if (instance_ == nullptr) instance_ = new SVD();
    return instance_;
}

int SVD::SingValDecomp(double** a, int m, int n, double* w, double** v) {
    if (m < n) return 0;
    MAX_STEP = 30;
    if (n < 1) return 1;

    // One-based copies (row and column 0 unused); the scratch only grows.
    const size_t cols = static_cast<size_t>(n) + 1;
    sdA_.resize((static_cast<size_t>(m) + 1) * cols);
    sdV_.resize(cols * cols);
    sdW_.resize(cols);
    sdRv1_.resize(cols);
    sdARows_.resize(static_cast<size_t>(m) + 1);
    sdVRows_.resize(cols);
    for (int i = 0; i <= m; ++i) sdARows_[i] = sdA_.data() + i * cols;
    for (int i = 0; i <= n; ++i) sdVRows_[i] = sdV_.data() + i * cols;
    double** a1 = sdARows_.data();
    double** v1 = sdVRows_.data();
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) a1[i + 1][j + 1] = a[i][j];

    svdcmpUser(a1, m, n, sdW_.data(), v1, sdRv1_.data());

    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) a[i][j] = a1[i + 1][j + 1];
    for (int i = 0; i < n; ++i) {
        w[i] = sdW_[i + 1];
        for (int j = 0; j < n; ++j) v[i][j] = v1[i + 1][j + 1];
    }
    return 1;
}

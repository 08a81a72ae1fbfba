// Singular value decomposition (Golub-Reinsch) and the least-squares drivers built on it.
// SVDSolver holds the work arrays and routines shared by SVD and SVD2; SVD is the
// process-wide solver behind SingValDecomp (superposition, tensor orthogonalization).
#pragma once

#include <vector>

// Shared work arrays and routines. Internally everything is one-based: row and column 0
// of every array stay empty. svdcmpUser, svbksbUser and svdvarUser keep that one-based
// form in their interface; the drivers (svdLSMat, svdPoly, svdFunc) take and return
// zero-based data.
class SVDSolver {
public:
    // Magnitudes at or below this count as zero in the decomposition, back-substitution
    // and covariance (an absolute test, not one relative to the matrix norm).
    static constexpr double kTiny = 1e-22;
    // The drivers drop singular values w < kRelDrop * max|w| (set them to 0).
    static constexpr double kRelDrop = 1e-6;

    double at = 0.0, bt = 0.0, ct = 0.0;     // scratch of the hypotenuse computation
    double maxarg1 = 0.0, maxarg2 = 0.0;     // scratch of the maximum computation
    int lastLength = 0;  // rows (data points) the work arrays are sized for; 0 = none
    int lastOrder = 0;   // columns - 1 the work arrays are sized for

    // One-based work arrays; they point into storage owned by this object.
    double** uu = nullptr;  // design matrix, then left singular vectors [1..lastLength][1..lastOrder+1]
    double** vv = nullptr;  // right singular vectors
    double* bb = nullptr;   // right-hand side [1..lastLength]
    double* ww = nullptr;   // singular values [1..lastOrder+1]
    double* pp = nullptr;   // workspace of the decomposition and back-substitution
    double* cc = nullptr;   // workspace of the covariance

    SVDSolver() = default;
    SVDSolver(const SVDSolver& other);
    SVDSolver& operator=(const SVDSolver& other);
    virtual ~SVDSolver() = default;

    // Sizes the work arrays for n rows and order + 1 columns (zero-filled).
    // Returns 0, or 1 for impossible (negative) sizes.
    virtual int svdPolyInit(int n, int order);
    // Releases the work arrays; lastLength = lastOrder = 0. Returns 0.
    int svdPolyFree();

    // a (m x n, 1-based) = U * diag(w) * V^T; U overwrites a; rv1 is workspace [1..n].
    // Singular values come out non-negative (unless a value ran out of iterations)
    // and are NOT sorted. Returns 0.
    int svdcmpUser(double** a, int m, int n, double* w, double** v, double* rv1);
    // x = V * diag(1/w) * U^T * b, terms with |w| <= kTiny left out. All 1-based. Returns 0.
    int svbksbUser(double** u, const double* w, double** v, int m, int n, const double* b,
                   double* x, double* tmp) const;
    // Covariance of the ma fitted parameters into the zero-based flat ma x ma array cvm:
    // cvm(i, j) = sum_k V[i][k] V[j][k] / w[k]^2 (|w[k]| <= kTiny left out).
    // v, w, wti are 1-based; nothing is done when cvm is null. Returns 0.
    int svdvarUser(double** v, int ma, const double* w, double* wti, double* cvm) const;

    // Least-squares solution of A x ~ b: A is flat row-major n x m, b has n values,
    // x receives m values, cvm (m x m flat) the covariance when not null. U itself is never
    // formed: its transformations are applied to b. With decompose = 0 the decomposition
    // held from the previous call of the same size is reused for the new b. Singular values
    // below kRelDrop times the largest are dropped; ww[1..m] keeps them (dropped ones 0).
    // Returns 0, or 1 when the work arrays could not be set up.
    int svdLSMat(const double* A, const double* b, int n, int m, double* x, double* cvm,
                 int decompose);
    // Least-squares polynomial y ~ sum_j coef[j] x^j, j = 0..order.
    int svdPoly(const double* x, const double* y, int n, int order, double* coef);
    // Least squares on a caller-given basis: design element (i, j) = basis(j, (int)x[i]),
    // j = 1..order+1; coef receives order + 1 values. Uses the arrays already held.
    int svdFunc(const double* x, const double* y, int n, int order, double* coef,
                double (*basis)(int, int));

protected:
    // QR iterations allowed per singular value.
    virtual int maxQRSteps() const = 0;
    // Sets singular values below kRelDrop times the largest magnitude to 0 (w[1..n]).
    void dropSmallValues(double* w, int n);
    int solveFilled(int n, int ma, double* coef);

private:
    // The decomposition itself. With g1 null, U overwrites a (svdcmpUser). Otherwise U is
    // not formed: a keeps the left Householder vectors (column i, rows i..m), hinv[i] the
    // inverse of the diagonal value each reflection left (0: no reflection), and g1 (n x n,
    // 1-based) the product of the left rotations of the QR sweeps; see projectLeft.
    int golubReinsch(double** a, int m, int n, double* w, double** v, double* rv1, double** g1,
                     double* hinv);
    // U^T b of a decomposition made without U: b (1-based, m values) is overwritten with
    // the reflected values, ub (1-based) receives the n values.
    void projectLeft(double** a, int m, int n, double** g1, const double* hinv, double* b,
                     double* ub) const;
    // Decomposes the n x ma system held in uu without forming U and drops the small values.
    void decomposeHeld(int n, int ma);
    // x (zero-based, ma values) = V diag(1/w) U^T bb from the held decomposition.
    void backSubstituteHeld(int n, int ma, double* x);
    double hypotenuse(double a, double b);
    void pointArrays();

    int cols_ = 0;      // columns of the arrays, lastOrder + 2 (index 0 unused)
    int vvWidth_ = 0;   // row length of vv
    bool heldLS_ = false;   // uu, gg, hinv_ hold a decomposition made without U
    double** gg = nullptr;     // left rotations of the held decomposition [1..n][1..n]
    double* hinv_ = nullptr;   // its reflections, see golubReinsch
    double* qb_ = nullptr;     // b reflected, [1..lastLength]
    double* ub_ = nullptr;     // U^T b, [1..lastOrder+1]
    std::vector<double> uuBlock_, vvBlock_, bbStore_, wwStore_, ppStore_, ccStore_;
    std::vector<double> ggBlock_, hinvStore_, qbStore_, ubStore_;
    std::vector<double*> uuRows_, vvRows_, ggRows_;
};

// The process-wide solver for small plain decompositions.
class SVD : public SVDSolver {
public:
    // Iterations per singular value: 1000 after construction; every SingValDecomp call
    // sets it to 30, and it stays 30 from then on.
    int MAX_STEP = 1000;

    SVD() = default;
    SVD(int n, int order);
    ~SVD() override;

    // The single instance, created on first use. Destroying it makes the next call
    // create a new one.
    static SVD* getInstance();

    // Zero-based wrapper of svdcmpUser: a (m x n) is replaced by U, w (n) receives the
    // singular values, v (n x n) the right factor. With m < n nothing is changed and 0
    // is returned; otherwise returns 1.
    int SingValDecomp(double** a, int m, int n, double* w, double** v);

protected:
    int maxQRSteps() const override { return MAX_STEP; }

private:
    static SVD* instance_;
    // SingValDecomp's one-based copies; kept between calls so small repeated
    // decompositions do not allocate.
    std::vector<double> sdA_, sdV_, sdW_, sdRv1_;
    std::vector<double*> sdARows_, sdVRows_;
};

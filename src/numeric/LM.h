// Levenberg-Marquardt least-squares minimiser of a residual vector: central-difference Jacobian,
// additive damping (J'J + lambda*I), normal equations solved by Gauss-Jordan inversion.
// The whole fit runs in the constructor; afterwards `parms` holds the result.
#pragma once

#include <vector>

// Residual callback: returns a pointer to `npts` residuals held in the caller's argument block;
// LM copies them at once. A point is declared invalid by the sentinel 9e99 (see dComputeResiduals).
typedef double* (*costFunctionLM)(double* x, void* data);

class LM {
public:
    // Dense row-major matrix in one block, with row pointers for double** access.
    class Matrix {
    public:
        Matrix() = default;
        Matrix(int rows, int cols);
        Matrix(const Matrix& o);
        Matrix& operator=(const Matrix& o);
        Matrix(Matrix&&) = default;
        Matrix& operator=(Matrix&&) = default;
        double* operator[](int i) { return rowPtr[i]; }
        const double* operator[](int i) const { return rowPtr[i]; }
        double** rows() { return rowPtr.data(); }

    private:
        int nrows = 0, ncols = 0;
        std::vector<double> block;
        std::vector<double*> rowPtr;
        void link();
    };

    static constexpr double kSentinel = 9e99; // sum of squares of an invalid point
    static constexpr double kStep = 1e-6;     // central-difference step d
    static constexpr double kFactor = 500000; // 1/(2d)
    static constexpr int kMaxIter = 100;      // bLMiter calls per fit

    double sos = 0;        // sum of squares of the last evaluation made by bLMiter
    double sosprev = 0;    // sum of squares at the start of the current bLMiter call
    double lambda = 0.001; // additive damping: step solves (J'J + lambda*I) delta = -J'r
    int nadj = 0;          // adjusted parameters
    int npts = 0;          // residuals
    std::vector<double> delta; // parameter step [nadj]
    std::vector<double> beta;  // -J'r [nadj]
    Matrix alpha;              // J'J [nadj][nadj]
    Matrix amatrix;            // damped normal matrix, inverted in place
    std::vector<double> parms; // current parameters; the result after construction
    int NPARMS = 0;            // equals nadj
    std::vector<double> lb, ub; // bounds (-1e17/+1e17 when none are given); no step applies them
    std::vector<double> resid;  // residuals at parms [npts]
    Matrix jac;                 // Jacobian [npts][nadj], row per residual
    costFunctionLM f = nullptr;
    void* data = nullptr;

    LM(costFunctionLM fn, void* data_, int gnadj, int gnpts, const double* init_parms);
    // Bounded form: also prints "  LM niyrt = <i> done = <0|1>" after each iteration.
    LM(costFunctionLM fn, void* data_, int gnadj, int gnpts, const double* init_parms, const double* lowerb,
       const double* upperb);
    virtual ~LM() = default;

    double dComputeResiduals();
    double dNudge(const double* dp);
    bool bBuildJacobian();
    bool bLMiter();

    // Inverts the N x N matrix a in place and returns its determinant; 1 for N < 1, 0 when singular
    // (a is then left part-transformed).
    static double gaussj(double** a, int N);
    static double* vvLimit(double* v, const double* vLo, const double* vHi, const double* vDelta, int nv);
    static void vvCopy(double* to, const double* from, int n);

    double dGetResid(int i) const { return resid[i]; }
    double dGetJac(int i, int j) const { return jac[i][j]; }
    double* func(int i, int j, double* x);

private:
    void allocate(int gnadj, int gnpts, const double* init_parms);
};

// Powell's direction-set minimiser of a scalar cost: line minimisations along a set of
// directions (bracketing by golden-section/parabolic steps, then Brent's method), with the
// direction of largest decrease replaced by the average direction of each iteration.
// Every vector is 1-based: element 0 is ignored, elements 1..n hold the parameters.
#pragma once

#include <functional>
#include <vector>

// Cost callback on a 1-based parameter vector.
typedef double (*costFunction)(double* p, void* data);

class powell {
public:
    static constexpr int ITMAX = 10;      // direction-set iterations
    static constexpr double TINY = 1e-25; // floor of the convergence test

    std::vector<double> pcom;  // origin of the current line [0..ncom]
    std::vector<double> xicom; // direction of the current line [0..ncom]
    costFunction nrfunc = nullptr;
    int ncom = 0;
    void* aData = nullptr;
    bool disp = false; // no effect

    powell() = default;
    virtual ~powell();

    // Process-wide instance created on first use; destroying it clears the instance.
    static powell* getInstance();

    // Minimises func from p[1..n] with the direction set xi[1..n][1..n] (columns are directions).
    // On return p holds the minimum, *fret its cost, *iter the iteration count, xi the directions.
    void run_powell(double* p, double** xi, int n, double ftol, int* iter, double* fret, costFunction func,
                    void* data);
    // Minimises along xi from p; on return xi is the displacement made, p the new point.
    void linmin(double* p, double* xi, int n, double* fret, costFunction func, void* data);
    // Cost at pcom + x*xicom.
    double f1dim(double x);
    // Brackets a minimum: on return f(bx) <= f(ax) and f(bx) <= f(cx), bx between ax and cx.
    void mnbrak(double* ax, double* bx, double* cx, double* fa, double* fb, double* fc,
                const std::function<double(double)>& func);
    // Brent's minimisation inside the bracket (ax, bx, cx); returns the minimum cost, sets *xmin.
    double brent(double ax, double bx, double cx, const std::function<double(double)>& f, double tol,
                 double* xmin);

private:
    static powell* instance;
};

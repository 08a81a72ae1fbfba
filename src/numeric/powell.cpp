// Powell's direction-set method. Each iteration minimises along every direction in turn, then
// tries the extrapolated point 2p - p_start; when that is promising, the direction of largest
// decrease is dropped and the net displacement of the iteration becomes the last direction.
#include "numeric/powell.h"

#include <cmath>
#include <cstdio>
#include <utility>

powell* powell::instance = nullptr;

powell::~powell() {
    if (instance == this) instance = nullptr;
}

powell* powell::getInstance() {
    if (instance == nullptr) instance = new powell();
    return instance;
}

void powell::run_powell(double* p, double** xi, int n, double ftol, int* iter, double* fret, costFunction func,
                        void* data) {
    std::vector<double> pt(n + 1, 0.0), ptt(n + 1, 0.0), xit(n + 1, 0.0);
    *fret = func(p, data);
    for (int j = 1; j <= n; j++) pt[j] = p[j];
    *iter = 1;
    if (std::isnan(*fret)) return;
    for (;;) {
        std::printf("   Powell minimization iter #%d...\t E: %g......\n", *iter, *fret);
        const double fp = *fret;
        double del = 0.0; // largest decrease along one direction
        int ibig = 0;     // its direction
        for (int i = 1; i <= n; i++) {
            for (int j = 1; j <= n; j++) xit[j] = xi[j][i];
            const double before = *fret;
            std::printf("Powell minimization iter #%d .....\tdirection %d. ", *iter, i);
            linmin(p, xit.data(), n, fret, func, data);
            std::printf(" E: %g......\n", *fret);
            if (before - *fret > del) {
                del = before - *fret;
                ibig = i;
            }
        }
        const double decrease = 2.0 * (fp - *fret);
        const double limit = ftol * (std::fabs(fp) + std::fabs(*fret)) + TINY;
        std::printf("   Powell minimization iter #%d...\t E: %g\t%g\t%g......\n", *iter, *fret, decrease, limit);
        if (decrease <= limit) return;
        if (*iter == ITMAX) {
            std::fflush(stdout);
            std::fputs("powell exceeding maximum iterations.", stderr);
            return; // the point reached stands
        }
        for (int j = 1; j <= n; j++) {
            ptt[j] = 2.0 * p[j] - pt[j];
            xit[j] = p[j] - pt[j];
            pt[j] = p[j];
        }
        const double fptt = func(ptt.data(), data);
        if (fptt < fp) {
            const double a = fp - *fret - del;
            const double b = fp - fptt;
            const double t = 2.0 * (fp - 2.0 * (*fret) + fptt) * a * a - del * b * b;
            if (t < 0.0) {
                linmin(p, xit.data(), n, fret, func, data);
                if (ibig >= 1) {
                    for (int j = 1; j <= n; j++) {
                        xi[j][ibig] = xi[j][n];
                        xi[j][n] = xit[j];
                    }
                }
            }
        }
        *iter += 1;
        if (std::isnan(*fret)) return;
    }
}

void powell::linmin(double* p, double* xi, int n, double* fret, costFunction func, void* data) {
    const double TOL = 2e-4;
    ncom = n;
    nrfunc = func;
    aData = data;
    pcom.assign(n + 1, 0.0);
    xicom.assign(n + 1, 0.0);
    for (int j = 1; j <= n; j++) {
        pcom[j] = p[j];
        xicom[j] = xi[j];
    }
    double ax = 0.0, xx = 1.0, bx = 0.0, fa = 0.0, fx = 0.0, fb = 0.0, xmin = 0.0;
    auto line = [this](double x) { return f1dim(x); };
    mnbrak(&ax, &xx, &bx, &fa, &fx, &fb, line);
    *fret = brent(ax, xx, bx, line, TOL, &xmin);
    for (int j = 1; j <= n; j++) {
        xi[j] *= xmin;
        p[j] += xi[j];
    }
    // the line's storage lives for this call only
    pcom.clear();
    xicom.clear();
}

double powell::f1dim(double x) {
    std::vector<double> xt(ncom + 1, 0.0); // element 0 stays 0
    for (int j = 1; j <= ncom; j++) xt[j] = pcom[j] + x * xicom[j];
    return nrfunc(xt.data(), aData);
}

// Downhill from a to b, then steps of growing length (golden ratio, or a parabolic extrapolation
// through a, b, c limited to GLIMIT times the last interval) until the cost rises again.
void powell::mnbrak(double* ax, double* bx, double* cx, double* fa, double* fb, double* fc,
                    const std::function<double(double)>& func) {
    const double GOLD = 1.618034, GLIMIT = 100.0, TINY_DEN = 1e-20;
    *fa = func(*ax);
    *fb = func(*bx);
    if (*fb > *fa) {
        std::swap(*ax, *bx);
        std::swap(*fa, *fb);
    }
    *cx = *bx + GOLD * (*bx - *ax);
    *fc = func(*cx);
    while (*fb > *fc) {
        // vertex of the parabola through (a, fa), (b, fb), (c, fc)
        const double r = (*bx - *ax) * (*fb - *fc);
        const double q = (*bx - *cx) * (*fb - *fa);
        double den = q - r;
        if (std::fabs(den) < TINY_DEN) den = den >= 0 ? TINY_DEN : -TINY_DEN;
        double u = *bx - ((*bx - *cx) * q - (*bx - *ax) * r) / (2.0 * den);
        const double ulim = *bx + GLIMIT * (*cx - *bx);
        double fu;
        if ((*bx - u) * (u - *cx) > 0.0) {
            // vertex between b and c
            fu = func(u);
            if (fu < *fc) { // minimum between b and c
                *ax = *bx;
                *bx = u;
                *fa = *fb;
                *fb = fu;
                return;
            }
            if (fu > *fb) { // minimum between a and u
                *cx = u;
                *fc = fu;
                return;
            }
            u = *cx + GOLD * (*cx - *bx);
            fu = func(u);
        } else if ((*cx - u) * (u - ulim) > 0.0) {
            // vertex beyond c, within the limit
            fu = func(u);
            if (fu < *fc) {
                *bx = *cx;
                *cx = u;
                u = *cx + GOLD * (*cx - *bx);
                *fb = *fc;
                *fc = fu;
                fu = func(u);
            }
        } else if ((u - ulim) * (ulim - *cx) >= 0.0) {
            // vertex beyond the limit: stop at the limit
            u = ulim;
            fu = func(u);
        } else {
            u = *cx + GOLD * (*cx - *bx);
            fu = func(u);
        }
        *ax = *bx;
        *bx = *cx;
        *cx = u;
        *fa = *fb;
        *fb = *fc;
        *fc = fu;
    }
}

// Brent: keeps the best point x, the second best w and the previous w as v; takes the parabolic
// step through them when it falls inside the interval and is smaller than half the step before
// last, a golden section of the larger part otherwise; never evaluates closer than tol1 to x.
double powell::brent(double ax, double bx, double cx, const std::function<double(double)>& f, double tol,
                     double* xmin) {
    const int BRENT_ITMAX = 100;
    const double CGOLD = 0.381966, ZEPS = 1e-10;
    double a = ax < cx ? ax : cx;
    double b = ax > cx ? ax : cx;
    double x = bx, w = bx, v = bx;
    double fx = f(x), fw = fx, fv = fx;
    double d = 0.0, e = 0.0;
    for (int it = 1; it <= BRENT_ITMAX; it++) {
        const double xm = 0.5 * (a + b);
        const double tol1 = tol * std::fabs(x) + ZEPS;
        const double tol2 = 2.0 * tol1;
        if (std::fabs(x - xm) <= tol2 - 0.5 * (b - a)) {
            *xmin = x;
            return fx;
        }
        bool golden = true;
        if (std::fabs(e) > tol1) {
            double r = (x - w) * (fx - fv);
            double q = (x - v) * (fx - fw);
            double p = (x - v) * q - (x - w) * r;
            q = 2.0 * (q - r);
            if (q > 0.0) p = -p;
            q = std::fabs(q);
            const double eBefore = e;
            e = d;
            if (!(std::fabs(p) >= std::fabs(0.5 * q * eBefore) || p <= q * (a - x) || p >= q * (b - x))) {
                golden = false;
                d = p / q;
                const double u = x + d;
                if (u - a < tol2 || b - u < tol2) d = (xm - x) >= 0 ? tol1 : -tol1;
            }
        }
        if (golden) {
            e = (x >= xm) ? a - x : b - x;
            d = CGOLD * e;
        }
        const double u = std::fabs(d) >= tol1 ? x + d : x + (d >= 0 ? tol1 : -tol1);
        const double fu = f(u);
        if (fu <= fx) {
            if (u >= x)
                a = x;
            else
                b = x;
            v = w;
            fv = fw;
            w = x;
            fw = fx;
            x = u;
            fx = fu;
        } else {
            if (u < x)
                a = u;
            else
                b = u;
            if (fu <= fw || w == x) {
                v = w;
                fv = fw;
                w = u;
                fw = fu;
            } else if (fu <= fv || v == x || v == w) {
                v = u;
                fv = fu;
            }
        }
    }
    std::fflush(stdout);
    std::fputs("Too many iterations in brent", stderr);
    *xmin = x;
    return fx;
}

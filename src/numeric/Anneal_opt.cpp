// Simulated annealing: from the last accepted point, `dwell` trial points per temperature, each
// accepted by the Metropolis test (always downhill, uphill with probability exp(-dE/boltzmann/T));
// then the temperature drops by the schedule's cooling law. The best point ever seen is kept.
#include "numeric/Anneal_opt.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>

#include "common/Constants.h"
#include "common/Fail.h"
#include "common/RunSeed.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();
using orvex::kPi;

// Uniform on [0, 1] from the C library generator.
double uniform() { return std::rand() / 2147483647.0; }

double signOf(double v) { return v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0); }

enum class Schedule { Fast, Cauchy, CauchyNorm, CauchyNorm2, Boltzmann, Linear, Other };

Schedule scheduleKind(const std::string& s) {
    if (s == "fast") return Schedule::Fast;
    if (s == "cauchy") return Schedule::Cauchy;
    if (s == "cauchynorm") return Schedule::CauchyNorm;
    if (s == "cauchynorm2") return Schedule::CauchyNorm2;
    if (s == "boltzmann") return Schedule::Boltzmann;
    if (s == "linear") return Schedule::Linear;
    return Schedule::Other;
}

// Initial content of the stopping queue, front first: far apart, so that the
// "no longer changing" stop cannot fire before ten real costs have entered.
const double kQueueStart[10] = {100, 300, 500, 700, 800, 900, 1000, 1100, 1200, 1300};

} // namespace

Anneal_opt::Anneal_opt() : best_state(new AnnealState()) {}

Anneal_opt* Anneal_opt::getInstance() {
    static Anneal_opt* instance = new Anneal_opt();
    return instance;
}

// The run's seeding (the clock, or -seed N + k); the test seam overrides it.
void Anneal_opt::reseed() const {
    if (fixedSeed >= 0)
        std::srand(static_cast<unsigned>(fixedSeed));
    else
        RunSeed::reseed();
}

void Anneal_opt::arrayCopy(double* copyTo, const double* copyFrom, int N) {
    if (copyTo == nullptr || copyFrom == nullptr || N <= 0) return;
    for (int i = 0; i < N; i++) copyTo[i] = copyFrom[i];
}

void Anneal_opt::checkInputs(int xi_dim, const void* args_, bool haveCallbacks) const {
    if (xi_dim < 1) fail(-1, "[Error] Anneal data size is zero ... \n", stdout);
    if (args_ == nullptr) fail(-1, "[Error] Anneal data is null... \n", stdout);
    if (!haveCallbacks) fail(-1, "[Error] Energy function is null ... \n", stdout);
}

// Keeps the owned arrays while the dimension stays; otherwise starts them afresh.
void Anneal_opt::resizeArrays(int dims) {
    if (dims != dimension) {
        x0.clear();
        xnew.clear();
        best_state->x.clear();
        dimension = dims;
    }
    if (static_cast<int>(x0.size()) != dims) x0.assign(dims, 0.0);
    if (static_cast<int>(xnew.size()) != dims) xnew.assign(dims, 0.0);
}

void Anneal_opt::resetCounters() {
    Ninit = 50;
    accepted = 0;
    tests = 0;
    feval = 0;
    k = 0;
    T = 0;
    if (schedule == "fast") {
        if (m == 0) m = 1;
        if (n == 0) n = 1;
        c = m * std::exp(-n * quench);
    }
}

void Anneal_opt::init(int dims, CostFunction func_, void* args_, double boltzmann_, double T0_,
                      double learn_rate_, double lower_, double upper_, double m_, double n_, double quench_,
                      int dwell_) {
    lower = lower_;
    upper = upper_;
    storeSettings(dims, func_, args_, boltzmann_, T0_, learn_rate_, m_, n_, quench_, dwell_);
}

void Anneal_opt::init2(int dims, CostFunction func_, void* args_, double boltzmann_, double T0_,
                       double learn_rate_, const double* lower_, const double* upper_, double m_, double n_,
                       double quench_, int dwell_) {
    lowers = lower_;
    uppers = upper_;
    storeSettings(dims, func_, args_, boltzmann_, T0_, learn_rate_, m_, n_, quench_, dwell_);
}

void Anneal_opt::storeSettings(int dims, CostFunction func_, void* args_, double boltzmann_, double T0_,
                               double learn_rate_, double m_, double n_, double quench_, int dwell_) {
    resizeArrays(dims);
    func = func_;
    args = args_;
    boltzmann = boltzmann_;
    T0 = T0_;
    learn_rate = learn_rate_;
    m = m_;
    n = n_;
    quench = quench_;
    dwell = dwell_;
    resetCounters();
}

double Anneal_opt::evaluate(double* x) {
    double* r = func(x, args);
    return r != nullptr ? *r : kInf; // no cost at all: treat the point as invalid
}

// ---- steps -----------------------------------------------------------------------------------

void Anneal_opt::update_guess(const double* x) { takeStep(x, false); }

void Anneal_opt::update_guess2(const double* x) { takeStep(x, true); }

// One trial point. The unbounded run scales every step by the scalar range; the bounded run by
// each parameter's bound range, and wraps angles (bounds exactly -180 and 180) once instead of
// clamping them.
void Anneal_opt::takeStep(const double* x, bool perParameterRange) {
    const Schedule kind = scheduleKind(schedule);
    const double R = upper - lower; // "boltzmann" always uses the scalar range
    const bool bounded = lowers != nullptr && uppers != nullptr;
    for (int i = 0; i < dimension; i++) {
        const double Ri = perParameterRange && bounded ? uppers[i] - lowers[i] : R;
        switch (kind) {
        case Schedule::Fast: {
            double u = uniform();
            double y = signOf(u - 0.5) * T * (std::pow(1.0 + 1.0 / T, std::fabs(2.0 * u - 1.0)) - 1.0);
            xnew[i] = x[i] + y * Ri;
            break;
        }
        // the normalised Cauchy schedules have their own cooling laws but step like "cauchy"
        case Schedule::Cauchy:
        case Schedule::CauchyNorm:
        case Schedule::CauchyNorm2: {
            double u = uniform();
            double step = learn_rate * T * std::tan(kPi * u - kPi / 2.0);
            xnew[i] = x[i] + (perParameterRange ? step * Ri : step);
            break;
        }
        case Schedule::Boltzmann: {
            // u itself, not 2u-1: this step never moves a parameter down (kept as it always was)
            double u = uniform();
            double sigma = std::min(std::sqrt(T), R / 3.0 / learn_rate);
            xnew[i] = x[i] + u * sigma * learn_rate;
            break;
        }
        case Schedule::Linear: {
            double u = uniform();
            xnew[i] = x[i] + (2.0 * u - 1.0) * learn_rate * T;
            break;
        }
        case Schedule::Other:
            break; // no step: xnew keeps its previous content
        }
        if (!bounded) continue;
        if (perParameterRange && lowers[i] == -180.0 && uppers[i] == 180.0) {
            // an angle: wrap once instead of clamping
            if (xnew[i] > 180.0) xnew[i] -= 360.0;
            if (xnew[i] < -180.0) xnew[i] += 360.0;
        } else {
            if (xnew[i] > uppers[i]) xnew[i] = uppers[i];
            if (xnew[i] < lowers[i]) xnew[i] = lowers[i];
        }
    }
}

void Anneal_opt::update_temp() {
    switch (scheduleKind(schedule)) {
    case Schedule::Fast:
        T = T0 * std::exp(-c * std::pow(k, quench)); // k = 0 first: the first step leaves T = T0
        k += 1;
        break;
    case Schedule::Cauchy:
    case Schedule::CauchyNorm:
        k += 1;
        T = T0 / k;
        break;
    case Schedule::Boltzmann:
        k += 1;
        T = T0 / std::log(k + 1);
        break;
    case Schedule::Linear:
        k += 1;
        T = T0 * std::exp(-k / 2.71);
        break;
    case Schedule::CauchyNorm2:
        T = T - T0 / maxiter;
        k += 1;
        break;
    case Schedule::Other:
        break;
    }
}

bool Anneal_opt::accept_test(double dE) {
    tests += 1;
    if (dE < 0) {
        accepted += 1;
        return true;
    }
    double p = std::exp(-dE / boltzmann / T);
    if (p > uniform()) {
        accepted += 1;
        return true;
    }
    return false;
}

// Starting temperature from Ninit random samples: T0 = 1.5*(largest - smallest cost);
// the best sample goes into `state` and becomes the start point.
void Anneal_opt::getstart_temp(AnnealStateeP state) {
    reseed();
    std::vector<double> sample(dimension);
    double largest = -kInf, smallest = kInf;
    for (int s = 0; s < Ninit; s++) {
        if (boundedRun && lowers != nullptr && uppers != nullptr) {
            // bounded run: sample inside each parameter's bounds and keep the sample there
            for (int i = 0; i < dimension; i++) sample[i] = lowers[i] + uniform() * (uppers[i] - lowers[i]);
        } else {
            // unbounded run: the scalar range, then scaled so that the coordinates add up to 1
            double sum = 0;
            for (int i = 0; i < dimension; i++) {
                sample[i] = lower + uniform() * (upper - lower);
                sum += sample[i];
            }
            if (sum != 0)
                for (int i = 0; i < dimension; i++) sample[i] /= sum;
        }
        double cost = evaluate(sample.data());
        feval += 1;
        if (cost > largest) largest = cost;
        if (cost < smallest) {
            smallest = cost;
            if (state != nullptr) {
                state->x = sample;
                state->cost = cost;
            }
        }
    }
    T0 = 1.5 * (largest - smallest);
}

// ---- runs ------------------------------------------------------------------------------------

int Anneal_opt::minimize_anneal2(const double* xi, int xi_dim, CostFunction f, void* args_,
                                 const std::string& schedule_, double T0_, double Tf_, int maxfev_,
                                 int maxaccept_, int maxiter_, double boltzmann_, double learn_rate_,
                                 double ftol_, double quench_, double m_, double n_, const double* lower_,
                                 const double* upper_, int dwell_, bool disp_, double /*Chi2_*/,
                                 double /*S_*/) {
    lowers = lower_;
    uppers = upper_;
    int r = setUpAndRun(true, xi, xi_dim, f, args_, schedule_, T0_, Tf_, maxfev_, maxaccept_, maxiter_,
                        boltzmann_, learn_rate_, ftol_, quench_, m_, n_, dwell_, disp_);
    // the bounds are borrowed for this run only: forget them so that no later call reads them
    lowers = nullptr;
    uppers = nullptr;
    return r;
}

int Anneal_opt::minimize_anneal(const double* xi, int xi_dim, CostFunction f, void* args_,
                                const std::string& schedule_, double T0_, double Tf_, int maxfev_,
                                int maxaccept_, int maxiter_, double boltzmann_, double learn_rate_,
                                double ftol_, double quench_, double m_, double n_, double lower_,
                                double upper_, int dwell_, bool disp_, double /*Chi2_*/, double /*S_*/) {
    lower = lower_;
    upper = upper_;
    int r = setUpAndRun(false, xi, xi_dim, f, args_, schedule_, T0_, Tf_, maxfev_, maxaccept_, maxiter_,
                        boltzmann_, learn_rate_, ftol_, quench_, m_, n_, dwell_, disp_);
    x0.clear(); // the start-point copy goes; the best point stays with the best state
    return r;
}

// Settings shared by both runs (the caller has stored the bounds or the range); a refusal exits
// before anything runs.
int Anneal_opt::setUpAndRun(bool bounded, const double* xi, int xi_dim, CostFunction f, void* args_,
                            const std::string& schedule_, double T0_, double Tf_, int maxfev_, int maxaccept_,
                            int maxiter_, double boltzmann_, double learn_rate_, double ftol_, double quench_,
                            double m_, double n_, int dwell_, bool disp_) {
    checkInputs(xi_dim, args_, f != nullptr);
    reseed();
    disp = disp_;
    maxiter = maxiter_;
    maxaccept = maxaccept_;
    maxfev = maxfev_;
    feps = ftol_;
    Tf = Tf_;
    schedule = schedule_;
    storeSettings(xi_dim, f, args_, boltzmann_, T0_, learn_rate_, m_, n_, quench_, dwell_);
    arrayCopy(x0.data(), xi, xi_dim);
    boundedRun = bounded;
    int r = run(bounded);
    boundedRun = false;
    return r;
}

// The annealing loop shared by both runs; x0 holds the start point, the settings are stored.
int Anneal_opt::run(bool bounded) {
    AnnealState last;
    last.x = x0;
    best_state->x = x0;
    best_state->cost = kInf;

    if (T0 == 0) {
        getstart_temp(best_state.get());
        last.x = best_state->x;
    }
    last.cost = evaluate(last.x.data());
    feval += 1;
    if (last.cost < best_state->cost) *best_state = last;

    T = T0;
    std::deque<double> queue(kQueueStart, kQueueStart + 10);
    int iters = 0;

    if (maxiter < 1) {
        retval = 3;
        if (disp) std::printf("z4 iters: 0\tmaxiter: %d\n", maxiter);
        return retval;
    }

    for (;;) {
        for (int d = 0; d < dwell; d++) {
            if (bounded)
                update_guess2(last.x.data());
            else
                update_guess(last.x.data());
            double cost = evaluate(xnew.data());
            feval += 1;
            double dE = cost - last.cost;
            if (accept_test(dE)) {
                last.x = xnew;
                last.cost = cost;
                if (cost < best_state->cost) *best_state = last;
            }
        }
        update_temp();
        finalIter = iters;
        iters += 1;

        queue.push_back(last.cost);
        queue.pop_front();

        const double front = queue.front();
        bool steady = true;
        for (double q : queue)
            if (!(std::fabs((q - front) / front) < feps)) steady = false;
        if (steady) {
            retval = 0;
            if (disp) std::printf("z1 feps: %g iters: %d\n", feps, iters);
            if (std::fabs(queue.back() - best_state->cost) > 10 * feps) {
                retval = 5;
                if (disp) {
                    std::fflush(stdout);
                    std::printf("Warning: Cooled to %f but this is not the smallest point found.\n", last.cost);
                }
            }
            break;
        }
        if (Tf != 0 && T < Tf) {
            retval = 1;
            if (disp) std::printf("z2 Tf: %g T%giters: %d\n", Tf, T, iters);
            break;
        }
        if (maxfev != 0 && feval > maxfev) {
            retval = 2;
            if (disp) std::printf("z3 iters: %d\n", iters);
            break;
        }
        if (iters > maxiter) {
            retval = 3;
            if (disp) std::printf("z4 iters: %d\tmaxiter: %d\n", iters, maxiter);
            break;
        }
        if (maxaccept != 0 && accepted > maxaccept) {
            retval = 4;
            if (disp) std::printf("z5 iters: %d\n", iters);
            break;
        }
    }
    return retval;
}

int Anneal_opt::minimize_gradient_descent(const double* xi, int xi_dim, CostFunction f, GradientFunction g,
                                          void* args_, double eps, int maxiter_, double learn_rate_, bool disp_,
                                          double Chi2_, double S_) {
    checkInputs(xi_dim, args_, f != nullptr && g != nullptr);
    maxiter = maxiter_;
    disp = disp_;
    resizeArrays(xi_dim);
    feps = eps;
    learn_rate = learn_rate_;
    S = S_;
    Chi2 = Chi2_;
    func = f;
    args = args_;
    arrayCopy(x0.data(), xi, xi_dim);

    // f hands over a new[] array (cost, chi2, S) per call; hold it so it is always released
    auto callF = [&](double* x) { return std::unique_ptr<double[]>(f(x, args_)); };

    AnnealState last;
    last.x = x0;
    {
        auto r = callF(x0.data());
        last.cost = r ? r[0] : kInf;
    }
    *best_state = last;
    feval = 1;

    double dE = std::numeric_limits<double>::max();
    int i = 0;
    retval = 0; // stays 0 when the loop ends because dE no longer exceeds eps
    while (std::fabs(dE) > feps) {
        feval += 1;
        {
            std::unique_ptr<double[]> next(g(x0.data(), args_));
            if (next) arrayCopy(x0.data(), next.get(), dimension);
        }
        auto r = callF(x0.data());
        double cost = r ? r[0] : kInf;
        double chi2 = r ? r[1] : 0.0;
        double s = r ? r[2] : 0.0;
        dE = cost - last.cost;
        std::printf("iters %d\tdE %g\t%g\t%g\t\tbestE: %g\t chi2: %g\t S: %g\n", i, dE, cost, last.cost,
                    best_state->cost, chi2, s);
        last.x = x0;
        last.cost = cost;
        if (cost < best_state->cost) {
            *best_state = last;
            S = s;
            Chi2 = chi2;
        }
        finalIter = i;
        i += 1;
        if (i > maxiter) {
            retval = 3;
            if (disp) std::printf("z4 iters: %d\tmaxiter: %d\n", i, maxiter);
            break;
        }
    }
    return retval;
}

// ---- results ---------------------------------------------------------------------------------

double* Anneal_opt::getBestX() {
    if (!best_state || best_state->x.empty()) return nullptr;
    return best_state->x.data();
}

std::vector<double> Anneal_opt::getBestX_copy() const {
    if (!best_state) return {};
    return best_state->x;
}

std::string Anneal_opt::print_SA_report() const {
    static const char* const kReasons[6] = {
        " Points no longer changing",
        " Cooled to final temperature",
        " Maximum function evaluations",
        " Maximum cooling iterations reached",
        " Maximum accepted query locations reached",
        " Final point not the minimum amongst encountered points",
    };
    char buf[512];
    std::string text = "  SA schedule: " + schedule + "\n  >";
    if (retval >= 0 && retval <= 5) text += kReasons[retval];
    text += "\n";
    text += "  Simulated annealing final parameters:\n";
    std::snprintf(buf, sizeof buf, "%.3f\n", best_state ? best_state->cost : kInf);
    text += std::string("     Energy function: ") + buf;
    std::snprintf(buf, sizeof buf, "%.3f\n", T0);
    text += std::string("     Starting T: ") + buf;
    std::snprintf(buf, sizeof buf, "%.3f\n", T);
    text += std::string("     Final T: ") + buf;
    std::snprintf(buf, sizeof buf, "%.3d\n", finalIter);
    text += std::string("     Final iteration: ") + buf;
    return text;
}

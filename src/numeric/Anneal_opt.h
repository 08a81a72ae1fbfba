// Simulated-annealing minimiser of a scalar cost over a vector of real parameters, with the
// schedules "fast", "cauchy", "boltzmann", "linear", "cauchynorm", "cauchynorm2"; keeps the
// best point ever evaluated. Also a plain descent loop and a text report of the last run.
#pragma once

#include <limits>
#include <memory>
#include <string>
#include <vector>

// Cost callback: returns a pointer to the cost, held in the caller's argument block.
// The annealer reads the first value at once and keeps no pointer to it.
typedef double* (*CostFunction)(double* x, void* args);
// Step callback of the descent loop: returns a new parameter vector (allocated with new[]),
// which the loop takes over and releases.
typedef double* (*GradientFunction)(double* x, void* args);

// A point and its cost (+infinity until the point is evaluated).
struct AnnealState {
    std::vector<double> x;
    double cost = std::numeric_limits<double>::infinity();
};
typedef AnnealState* AnnealStateeP;

class Anneal_opt {
public:
    // Test seam: a value >= 0 replaces the run's seeding (RunSeed: the wall clock, or -seed N + k)
    // as the seed of every reseeding. The program never sets it.
    inline static long fixedSeed = -1;

    std::string schedule;        // compared exactly (case-sensitive)
    bool disp = false;           // print stop-reason lines on standard output
    CostFunction func = nullptr; // cost callback
    std::vector<double> xnew;    // trial point of the last step
    double quench = 0;           // "fast": T = T0*exp(-c*k^quench)
    double m = 0, n = 0;         // "fast": c = m*exp(-n*quench); 0 means 1
    int feval = 0;               // cost evaluations in the current run
    double k = 0;                // cooling step counter
    double c = 0;                // "fast" cooling constant
    int accepted = 0;            // accepted trial points
    int tests = 0;               // acceptance tests made
    int Ninit = 50;              // samples of the automatic starting temperature
    int err = -1;                // -1 after construction; no other use
    std::vector<double> x0;      // start point of the run
    int dimension = 0;           // number of parameters
    double T = 0;                // current temperature
    double T0 = 0;               // starting temperature
    double Tf = 0;               // stop when T < Tf (0: no temperature stop)
    int maxfev = 0;              // stop when feval > maxfev (0: none)
    int maxaccept = 0;           // stop when accepted > maxaccept (0: none)
    int maxiter = 0;             // stop when cooling steps > maxiter
    double boltzmann = 0;        // accept a rise dE when exp(-dE/boltzmann/T) > u
    double learn_rate = 0;       // step scale
    double ftol = 0;             // no use
    double feps = 0;             // stop when the last ten costs q satisfy |(q-front)/front| < feps
    double lower = 0, upper = 0; // scalar parameter range of the unbounded run
    int dwell = 0;               // trial points per temperature
    const double* lowers = nullptr; // per-parameter bounds of the bounded run (borrowed)
    const double* uppers = nullptr;
    double S = 0, Chi2 = 0;      // extra values reported by the descent loop's cost callback
    int retval = -1;             // stop reason of the last run; -1 before any run
    int finalIter = -1;          // index of the last cooling step made; -1 before any run
    std::unique_ptr<AnnealState> best_state; // best point ever evaluated in the run
    void* args = nullptr;        // argument block handed to the callbacks

    Anneal_opt();
    virtual ~Anneal_opt() = default;

    // Process-wide instance, created on first use and never destroyed.
    static Anneal_opt* getInstance();

    void init(int dims, CostFunction func_, void* args_, double boltzmann_, double T0_, double learn_rate_,
              double lower_, double upper_, double m_, double n_, double quench_, int dwell_);
    void init2(int dims, CostFunction func_, void* args_, double boltzmann_, double T0_, double learn_rate_,
               const double* lower_, const double* upper_, double m_, double n_, double quench_, int dwell_);

    // Bounded run: lower_/upper_ hold xi_dim bounds each; a parameter bounded by exactly -180 and
    // 180 is an angle and wraps. Returns retval; the result is the best state (getBestX).
    int minimize_anneal2(const double* xi, int xi_dim, CostFunction f, void* args_, const std::string& schedule_,
                         double T0_, double Tf_, int maxfev_, int maxaccept_, int maxiter_, double boltzmann_,
                         double learn_rate_, double ftol_, double quench_, double m_, double n_,
                         const double* lower_, const double* upper_, int dwell_, bool disp_, double Chi2_,
                         double S_);
    // Unbounded run with the scalar range lower_..upper_.
    int minimize_anneal(const double* xi, int xi_dim, CostFunction f, void* args_, const std::string& schedule_,
                        double T0_, double Tf_, int maxfev_, int maxaccept_, int maxiter_, double boltzmann_,
                        double learn_rate_, double ftol_, double quench_, double m_, double n_, double lower_,
                        double upper_, int dwell_, bool disp_, double Chi2_, double S_);
    // Descent loop: x := g(x) while |dE| > eps; f returns a new[] array (cost, chi2, S) per call,
    // which the loop takes over and releases.
    int minimize_gradient_descent(const double* xi, int xi_dim, CostFunction f, GradientFunction g, void* args_,
                                  double eps, int maxiter_, double learn_rate_, bool disp_, double Chi2_,
                                  double S_);

    // Best point (borrowed; valid until the next run or destruction), or null without one.
    double* getBestX();
    // Copy of the best point that the caller owns (empty without a best point).
    std::vector<double> getBestX_copy() const;
    std::string print_SA_report() const;

    // Copies N doubles when both pointers are non-null and N > 0.
    static void arrayCopy(double* copyTo, const double* copyFrom, int N);

    // ---- steps of a run, public so that they can be checked one by one ----
    void update_guess(const double* x);  // xnew from x, scalar range, clamped
    void update_guess2(const double* x); // xnew from x, per-parameter ranges, clamped or wrapped
    void update_temp();
    bool accept_test(double dE);
    void getstart_temp(AnnealStateeP state);

private:
    bool boundedRun = false; // getstart_temp samples inside lowers/uppers in the bounded run

    void reseed() const;
    void checkInputs(int xi_dim, const void* args_, bool haveCallbacks) const;
    void resizeArrays(int dims);
    void resetCounters();
    void storeSettings(int dims, CostFunction func_, void* args_, double boltzmann_, double T0_,
                       double learn_rate_, double m_, double n_, double quench_, int dwell_);
    int setUpAndRun(bool bounded, const double* xi, int xi_dim, CostFunction f, void* args_,
                    const std::string& schedule_, double T0_, double Tf_, int maxfev_, int maxaccept_,
                    int maxiter_, double boltzmann_, double learn_rate_, double ftol_, double quench_,
                    double m_, double n_, int dwell_, bool disp_);
    int run(bool bounded);
    void takeStep(const double* x, bool perParameterRange);
    double evaluate(double* x);
};

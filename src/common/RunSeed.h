// The one place that seeds the C library's random generator (srand) for the stochastic fits:
// the annealer's runs and every random starting point call RunSeed::reseed().
// Extension -seed N: the k-th seeding of the run (k = 0, 1, 2, ... in the order the run reaches
// them) uses N + k, so successive trials still differ while the whole run repeats exactly.
// Without -seed every seeding takes the wall clock in whole seconds (time(NULL)).
#pragma once

class RunSeed {
public:
    // -seed N given: from now on the k-th seeding uses base + k (k counted from the next one).
    static void set(long base);
    // Back to the clock (the program's behaviour without -seed); the count starts again at 0.
    static void clear();
    static bool isSet();
    // Seeds the generator and returns the seed used.
    static unsigned reseed();
    // Number of seedings made since the last set() or clear().
    static long count();

private:
    static bool given_;
    static long base_;
    static long count_;
};

// Seeding of the C library generator: N + k with -seed N, else the clock.
#include "common/RunSeed.h"

#include <cstdlib>
#include <ctime>

bool RunSeed::given_ = false;
long RunSeed::base_ = 0;
long RunSeed::count_ = 0;

void RunSeed::set(long base) {
    given_ = true;
    base_ = base;
    count_ = 0;
}

void RunSeed::clear() {
    given_ = false;
    base_ = 0;
    count_ = 0;
}

bool RunSeed::isSet() { return given_; }

long RunSeed::count() { return count_; }

unsigned RunSeed::reseed() {
    // the sum wraps like the unsigned seed it becomes, so any N is accepted
    const unsigned seed = given_ ? static_cast<unsigned>(static_cast<unsigned long>(base_) + static_cast<unsigned long>(count_))
                                 : static_cast<unsigned>(std::time(nullptr));
    count_++;
    std::srand(seed);
    return seed;
}

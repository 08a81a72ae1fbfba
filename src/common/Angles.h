// Angle helpers shared by the structure geometry and the coupling back-calculation.
#pragma once

#include <cmath>

#include "common/Constants.h"

namespace orvex {

// Arc cosine in radians with the argument clamped to [-1, 1] (a cosine computed as a ratio can
// leave the range by a rounding step), through the arc tangent, which keeps its precision near
// 0 and pi.
inline double clampedArccos(double x) {
    if (x > 1) return 0;
    if (x < -1) return kPi;
    if (std::fabs(x) >= 0.5) {
        double a = std::atan(std::sqrt(1 - x * x) / x);
        if (x <= 0) a += kPi;
        return a;
    }
    return kPi / 2 - std::atan(x / std::sqrt(1 - x * x));
}

}  // namespace orvex

// Maximal-subset search and culling (-maxSub, -maxSub +, -culling, with -maxSubDCut, -level,
// -w12, -culling_Q, -culling_percent), taken instead of the SVD and given-Saupe routes.
#include "driver/Orvex.h"

// Not available yet: nothing is computed or written.
int Orvex::runMaxSubset(SVDWorkData&, const MaxSubsetOptions&) {
    return -1;
}

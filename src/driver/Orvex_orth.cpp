// Alignment-tensor orthogonalization of two or more media (-orth, with -inDs and -pdb): one
// SVD-fitted tensor per medium, their SVD, and the orthogonalized tables "dOrth_%d.tab".
#include "driver/Orvex.h"

// Not available yet: nothing is computed or written.
int Orvex::DC_orth() {
    return -1;
}

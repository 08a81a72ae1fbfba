// Alignment tensor predicted from the shape of the molecule (-shapeTensor).
#include "driver/Orvex.h"

// Not available yet: nothing is computed or written.
int Orvex::simDC_shapeTensor_multiconfomers() {
    return -1;
}

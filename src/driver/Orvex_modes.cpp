// Modes that are not available yet: they do nothing and report -1.
#include "driver/Orvex.h"

int Orvex::DC_orth() { return -1; }

int Orvex::simDC_shapeTensor_multiconfomers() { return -1; }

int Orvex::vwFit_multi() { return -1; }

int Orvex::simRCSA() { return -1; }

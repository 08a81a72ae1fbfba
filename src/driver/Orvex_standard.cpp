// The standard analysis run.
#include "driver/Orvex.h"

int Orvex::simDC() { return -1; }

int Orvex::simDC(int, int, int, int) { return -1; }

int Orvex::simDC(int, int, int, int, int) { return -1; }

int Orvex::simDC(std::vector<int>, std::vector<int>, int, int) { return -1; }

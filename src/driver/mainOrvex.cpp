// Orvex executable: hands the command line to the library.
#include "driver/Orvex.h"

int main(int argc, char** argv) { return mainOrvex(argc, argv); }

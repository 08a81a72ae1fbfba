// Fatal exits of the program.
#include "common/Fail.h"

#include <cstdlib>

void fail(int status, const std::string& message, FILE* stream) {
    std::fflush(stdout);
    std::fputs(message.c_str(), stream);
    std::fflush(stream);
    std::exit(status);
}

void quit(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(status);
}

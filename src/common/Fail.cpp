// Fatal exits of the program, through a replaceable exit handler.
#include "common/Fail.h"

#include <cstdlib>

namespace {

[[noreturn]] void exitProcess(int status) { std::exit(status); }

ExitHandler exitHandler = exitProcess;

[[noreturn]] void endRun(int status) {
    exitHandler(status);
    std::exit(status);  // a handler that returned
}

}  // namespace

ExitHandler setExitHandler(ExitHandler handler) {
    const ExitHandler previous = exitHandler;
    exitHandler = handler ? handler : exitProcess;
    return previous;
}

void throwExitRequest(int status) { throw ExitRequest{status}; }

void fail(int status, const std::string& message, FILE* stream) {
    std::fflush(stdout);
    std::fputs(message.c_str(), stream);
    std::fflush(stream);
    endRun(status);
}

void quit(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    endRun(status);
}

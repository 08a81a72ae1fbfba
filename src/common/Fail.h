// The one way Orvex ends a run early: flush standard output, print the message,
// exit with the given status. Every fatal condition goes through these helpers.
#pragma once

#include <cstdio>
#include <string>

// Prints `message` (no line end added) to `stream` and exits with `status`.
[[noreturn]] void fail(int status, const std::string& message, FILE* stream = stderr);

// Exits with `status` without a message (after flushing both streams).
[[noreturn]] void quit(int status);

// What ends the process once `fail` or `quit` has flushed the streams and printed the message.
// By default std::exit(status). A harness that must outlive the program's exits (the fuzz
// targets, tests of the fatal paths) installs its own handler, usually one that throws; should
// a handler return, the process exits as by default.
using ExitHandler = void (*)(int status);

// Installs `handler` (nullptr: the default) and returns the one it replaces.
ExitHandler setExitHandler(ExitHandler handler);

// The exit of a run turned into an exception by throwExitRequest.
struct ExitRequest {
    int status;  // the status the process would have exited with
};

// An exit handler that throws ExitRequest{status}.
[[noreturn]] void throwExitRequest(int status);

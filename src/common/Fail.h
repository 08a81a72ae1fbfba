// The one way Orvex ends a run early: flush standard output, print the message,
// exit with the given status. Every fatal condition goes through these helpers.
#pragma once

#include <cstdio>
#include <string>

// Prints `message` (no line end added) to `stream` and exits with `status`.
[[noreturn]] void fail(int status, const std::string& message, FILE* stream = stderr);

// Exits with `status` without a message (after flushing both streams).
[[noreturn]] void quit(int status);

// printf with the same bytes as the C library's (in the C locale the program always runs in),
// several times faster for the conversions result tables are made of: %d and %i (also with l),
// %s, %c, %f and %F (also with l), with the flags - + blank 0, width and precision (also *).
// Numbers are written by std::to_chars, which rounds as printf does; any other conversion, flag
// or length in a format hands the whole call to the C library.
#pragma once

#include <cstdio>
#include <string>

// Appends the formatted text to `out`; returns the number of characters appended.
int appendFormatted(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes the formatted text to `fp` (one fwrite); returns the number of characters written.
int printFormatted(FILE* fp, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Numbers of fixed-column and table fields read exactly as the C library reads them
// (strtol, strtod: leading white space skipped, the longest valid prefix taken, 0 when there is
// none), with a fast path for the plain decimal text that nearly every field holds.
#pragma once

#include <string_view>

// strtol(text, nullptr, 10).
long parseLong(std::string_view text);

// strtod(text, nullptr).
double parseDouble(std::string_view text);

// The white space strtol and strtod skip: blank, \t, \n, \v, \f, \r.
inline bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

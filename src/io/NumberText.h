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

// Largest magnitude of a number read from a coupling table that may reach a fit. A fit forms
// products of two such numbers (D x W, a coefficient x DI) and sums their squares; with both
// factors at most 1e75 a square stays at most 1e300, below the largest double (1.8e308), so no
// sum of a table's squares becomes infinite. Couplings are a few hundred hertz, weights and DI a
// few tens of thousands at most: the bound only stops mistyped or damaged values.
constexpr double kTableNumberMax = 1e75;

// Largest magnitude of a coordinate that may reach a fit, in angstrom. Coordinates are held in
// single precision (largest 3.4e38); with coordinates at most 1e18 the sum of the three squared
// differences of two atoms stays below that. Real structures stay below 1e4.
constexpr double kCoordinateMax = 1e18;

// A number read from a file that may take part in a fit: finite and at most `bound` in size.
inline bool isUsableNumber(double x, double bound) { return x >= -bound && x <= bound; }  // false for nan

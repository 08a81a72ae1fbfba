// Every option some part of Orvex reads, and the warning for one that none reads (an extension:
// a mistyped option such as -nojk would otherwise be ignored without a word).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace known_options {

// The option names (without the leading dash) that some part of the program reads.
const std::vector<std::string>& names();

bool isKnown(const std::string& name);

// The known option closest to `name` by edit distance, letter case ignored (a case difference
// alone costs nothing, so -nojk finds -noJK); the earlier in the table on a tie.
std::string closest(const std::string& name);

// One line "Warning :: Unknown option -<name> is ignored; did you mean -<closest>?" on `err`
// for every option of `given` (names without the dash) that no part of the program reads.
// Returns the number of such options.
int warnUnknown(const std::vector<std::string>& given, FILE* err);

}  // namespace known_options

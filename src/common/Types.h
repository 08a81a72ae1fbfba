// Shared container types of the program.
#pragma once

#include <map>
#include <string>
#include <vector>

typedef std::vector<std::string> StringList;
typedef std::map<std::string, std::string> ArgList;   // option name (no dash) -> value text
typedef std::map<std::string, std::string> GDB_Entry; // column name -> cell text
typedef std::map<int, double> DoubleD1;
typedef std::map<int, DoubleD1> DoubleD2;

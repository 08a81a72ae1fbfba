// Reading the program's result tables in tests: the numbers of DATA lines and the words of
// the data rows.
#pragma once

#include <cstdlib>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "common/TestUtil.h"

namespace resulttable {

// The numbers of every "DATA KEY ..." line, one list per line.
inline std::vector<std::vector<double>> allDataValues(const std::string& table, const std::string& key) {
    std::vector<std::vector<double>> all;
    for (const std::string& line : testutil::splitLines(table)) {
        std::istringstream words(line);
        std::string data, k, w;
        if (!(words >> data >> k) || data != "DATA" || k != key) continue;
        std::vector<double> values;
        while (words >> w) {
            char* end = nullptr;
            double v = std::strtod(w.c_str(), &end);
            if (end != w.c_str()) values.push_back(v);
        }
        all.push_back(values);
    }
    return all;
}

inline std::vector<double> dataValues(const std::string& table, const std::string& key) {
    auto all = allDataValues(table, key);
    return all.empty() ? std::vector<double>() : all[0];
}

// Data rows of a result table: the words of every line after FORMAT.
inline std::vector<std::vector<std::string>> rows(const std::string& table) {
    std::vector<std::vector<std::string>> out;
    bool after = false;
    for (const std::string& line : testutil::splitLines(table)) {
        if (after && !line.empty()) {
            std::istringstream words(line);
            out.emplace_back(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>());
        }
        after = after || line.rfind("FORMAT", 0) == 0;
    }
    return out;
}

}  // namespace resulttable

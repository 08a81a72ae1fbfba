// Reading a plot and its result table back in the tests: texts and elements by class or id,
// markers by class prefix, the DATA lines of a table.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/TestUtil.h"
#include "common/XmlCheck.h"

namespace plotreading {

using xmlcheck::Document;

inline std::vector<std::string> texts(const Document& doc, const std::string& cls) {
    std::vector<std::string> out;
    for (const xmlcheck::Element& e : doc.elements)
        if (e.name == "text" && e.hasClass(cls)) out.push_back(e.text);
    return out;
}

inline const xmlcheck::Element* byId(const Document& doc, const std::string& id) {
    for (const xmlcheck::Element& e : doc.elements)
        if (e.attribute("id") == id) return &e;
    return nullptr;
}

// "DATA NAME   value..." of a result table: NAME -> value
inline std::map<std::string, std::string> dataLines(const std::string& table) {
    std::map<std::string, std::string> values;
    for (const std::string& line : testutil::splitLines(table)) {
        if (line.rfind("DATA ", 0) != 0) continue;
        char name[64], value[64];
        if (std::sscanf(line.c_str(), "DATA %63s %63s", name, value) == 2) values[name] = value;
    }
    return values;
}

// The number of elements whose class starts with `prefix` ("dc " for the markers of the upper panel).
inline int countByPrefix(const Document& doc, const std::string& prefix) {
    int n = 0;
    for (const xmlcheck::Element& e : doc.elements) n += e.attribute("class").rfind(prefix, 0) == 0;
    return n;
}

// The residues the shaded bands of the maximal-subset search are centred on, read against the
// tick labels of the residue axis (a label's x is its residue's position).
inline std::vector<double> leftOutResidues(const Document& doc) {
    std::vector<std::pair<double, double>> ticks;   // residue, x
    for (const xmlcheck::Element& e : doc.elements)
        if (e.name == "text" && e.hasClass("tick-residue")) ticks.push_back({std::stod(e.text), std::stod(e.attribute("x"))});
    std::vector<double> residues;
    if (ticks.size() < 2) return residues;
    const double perResidue = (ticks.back().second - ticks.front().second) / (ticks.back().first - ticks.front().first);
    for (const xmlcheck::Element& e : doc.elements) {
        if (!e.hasClass("leftout")) continue;
        const double centre = std::stod(e.attribute("x")) + std::stod(e.attribute("width")) / 2;
        residues.push_back(ticks.front().first + (centre - ticks.front().second) / perResidue);
    }
    return residues;
}

}  // namespace plotreading

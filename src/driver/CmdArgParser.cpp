// Command-line parser: option map, negative-number joining and value conversions.
#include "driver/CmdArgParser.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/Constants.h"
#include "io/GDB.h"

bool CmdArgParser::created = false;
CmdArgParser* CmdArgParser::instance = nullptr;

CmdArgParser::CmdArgParser() : origStr(" "), sepStr(" ") { parseArg(); }

CmdArgParser::CmdArgParser(const char& sep, int argc, char** argv) : sepStr(charSeparator(sep)) {
    appendArgs(argc, argv);
    parseArg();
}

CmdArgParser::CmdArgParser(const std::string& sep, int argc, char** argv) : sepStr(stringSeparator(sep)) {
    appendArgs(argc, argv);
    parseArg();
}

CmdArgParser::CmdArgParser(const char& sep, const std::string& text) : origStr(text), sepStr(charSeparator(sep)) {
    parseArg();
}

CmdArgParser::CmdArgParser(const std::string& sep, const std::string& text)
    : origStr(text), sepStr(stringSeparator(sep)) {
    parseArg();
}

CmdArgParser* CmdArgParser::getInstance() {
    if (!created) {
        instance = new CmdArgParser();
        created = true;
    }
    return instance;
}

void CmdArgParser::setArg(const char& sep, int argc, char** argv) {
    sepStr = charSeparator(sep);
    appendArgs(argc, argv);
    parseArg();
}

void CmdArgParser::setArg(const std::string& sep, int argc, char** argv) {
    sepStr = stringSeparator(sep);
    appendArgs(argc, argv);
    parseArg();
}

std::string CmdArgParser::charSeparator(char sep) { return std::string(" ") + sep; }

std::string CmdArgParser::stringSeparator(const std::string& sep) {
    if (!sep.empty() && sep[0] == ' ') return sep;
    return " " + sep;
}

void CmdArgParser::appendArgs(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        origStr += " ";
        origStr += argv[i];
    }
}

void CmdArgParser::parseArg() {
    std::string lastName;
    size_t found = origStr.find(sepStr);
    if (found == std::string::npos) {
        std::fprintf(stderr, "No valid arguments found with a separator %s\n", sepStr.c_str());
        parsePiece(origStr, lastName);
        return;
    }
    size_t start = 0;
    while (found != std::string::npos) {
        parsePiece(origStr.substr(start, found - start), lastName);
        start = found + sepStr.size();
        found = origStr.find(sepStr, start);
    }
    parsePiece(origStr.substr(start), lastName);
}

// A piece "name value..." is an option, unless its name is a number: then it is the rest
// of a negative value that the separator " -" cut off, and joins the last option.
void CmdArgParser::parsePiece(const std::string& piece, std::string& lastName) {
    if (piece.empty()) return;
    size_t sp = piece.find(' ');
    std::string name = sp == std::string::npos ? piece : piece.substr(0, sp);
    std::string value = sp == std::string::npos ? std::string() : piece.substr(sp + 1);
    // The text before the first option (the leading blank of the joined command line) has
    // no name; it is not an option.
    if (name.empty()) return;

    float real = toReal(name);
    bool isNumber = toInt(name) != 0 || real != 0.0f || std::isnan(real);
    if (!isNumber) {
        lst[name] = value;
        lastName = name;
        return;
    }
    if (sepStr != " -" || lastName.empty()) return;
    std::string& stored = lst[lastName];
    stored += stored.empty() ? "-" : sepStr;
    stored += piece;
}

int CmdArgParser::size() const { return static_cast<int>(lst.size()); }

bool CmdArgParser::isValidArg(const std::string& name) const { return lst.count(name) > 0; }

bool CmdArgParser::isFlag(const std::string& name) const {
    auto it = lst.find(name);
    return it != lst.end() && it->second.empty();
}

std::string CmdArgParser::getArgValueS(const std::string& name) const {
    auto it = lst.find(name);
    return it == lst.end() ? std::string() : it->second;
}

int CmdArgParser::toInt(const std::string& text) {
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

float CmdArgParser::toReal(const std::string& text) {
    return static_cast<float>(std::strtod(text.c_str(), nullptr));
}

int CmdArgParser::getArgValueI(const std::string& name) const {
    auto it = lst.find(name);
    return it == lst.end() ? orvex::kAbsent : toInt(it->second);
}

float CmdArgParser::getArgValueD(const std::string& name) const {
    auto it = lst.find(name);
    return it == lst.end() ? static_cast<float>(orvex::kAbsent) : toReal(it->second);
}

StringList CmdArgParser::getArgValueSS(const std::string& name) const {
    auto it = lst.find(name);
    if (it == lst.end()) return StringList();
    return GDB::split(" ", it->second);
}

std::vector<int> CmdArgParser::getArgValueII(const std::string& name) const {
    std::vector<int> out;
    for (const auto& piece : getArgValueSS(name)) out.push_back(toInt(piece));
    return out;
}

std::vector<float> CmdArgParser::getArgValueDD(const std::string& name) const {
    std::vector<float> out;
    for (const auto& piece : getArgValueSS(name)) out.push_back(toReal(piece));
    return out;
}

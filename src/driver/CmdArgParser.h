// Command-line parser: splits the joined argument text at the separator " -" into an
// ordered map option -> value, joining negative numbers to the preceding option.
#pragma once

#include <string>
#include <vector>

#include "common/Types.h"

class CmdArgParser {
public:
    ArgList lst;          // option name without its leading "-" -> value text ("" for a flag)
    std::string origStr;  // the whole command line, each argument preceded by one space
    std::string sepStr;   // separator that introduces an option; " -" in practice

    CmdArgParser();
    CmdArgParser(const char& sep, int argc, char** argv);
    CmdArgParser(const std::string& sep, int argc, char** argv);
    CmdArgParser(const char& sep, const std::string& text);
    CmdArgParser(const std::string& sep, const std::string& text);
    virtual ~CmdArgParser() = default;

    // The process-wide instance, created on first use and never destroyed.
    static CmdArgParser* getInstance();

    void setArg(const char& sep, int argc, char** argv);
    void setArg(const std::string& sep, int argc, char** argv);

    int size() const;
    bool isValidArg(const std::string& name) const;
    bool isFlag(const std::string& name) const;
    std::string getArgValueS(const std::string& name) const;   // "" when absent
    int getArgValueI(const std::string& name) const;           // -9999 when absent
    float getArgValueD(const std::string& name) const;         // -9999.0 when absent
    StringList getArgValueSS(const std::string& name) const;
    std::vector<int> getArgValueII(const std::string& name) const;
    std::vector<float> getArgValueDD(const std::string& name) const;

    // C-library conversions used for every value: strtol narrowed to int, strtod narrowed to float.
    static int toInt(const std::string& text);
    static float toReal(const std::string& text);

private:
    static bool created;
    static CmdArgParser* instance;

    void parseArg();
    void parsePiece(const std::string& piece, std::string& lastName);
    void appendArgs(int argc, char** argv);
    static std::string charSeparator(char sep);
    static std::string stringSeparator(const std::string& sep);
};

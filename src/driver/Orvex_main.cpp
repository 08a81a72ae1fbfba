// Program entry: parse the command line, read the options, run one mode, report the
// processor time, exit with status 1.
#include <cstdio>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "common/Fail.h"
#include "driver/CmdArgParser.h"
#include "driver/KnownOptions.h"
#include "driver/Orvex.h"
#include "io/GDB.h"

namespace {

// Mode options of the entry-local map: their value is "true" whenever they are given.
bool isModeKey(const std::string& key) {
    static const std::set<std::string> keys = {"noclip", "nodetail", "check",   "vwfit_cv_multi",
                                               "vwfit",  "orth",     "mfr",     "mfr_m2",
                                               "fit_m2", "mfr_list", "rcsa",    "shapeTensor"};
    return keys.count(key) > 0;
}

}  // namespace

int mainOrvex(int argc, char** argv) {
    Orvex* app = new Orvex();
    if (argc == 1) app->printSyntax();

    std::string text;
    for (int i = 1; i < argc; i++) {
        text += " ";
        text += argv[i];
    }
    StringList pieces = GDB::split(" -", text);
    CmdArgParser::getInstance()->setArg(std::string(" -"), argc, argv);

    // The mode choice uses its own map of the pieces; negative numbers are not joined here.
    ArgList modeArgs;
    for (const std::string& piece : pieces) {
        size_t sp = piece.find(' ');
        std::string key = sp == std::string::npos ? piece : piece.substr(0, sp);
        std::string value = sp == std::string::npos ? piece : piece.substr(sp + 1);
        value = GDB::simplifyWhiteSpace(value);
        if (isModeKey(key)) value = "true";
        modeArgs[key] = value;
    }
    auto given = [&modeArgs](const char* key) {
        auto it = modeArgs.find(key);
        return it != modeArgs.end() && it->second == "true";
    };

    std::clock_t start = std::clock();
    app->setArgs(modeArgs);
    // extension: one warning per option no part of the program reads (after -help and -version,
    // which end the run, and before the mode's own output)
    std::vector<std::string> givenNames;
    for (const auto& entry : CmdArgParser::getInstance()->lst) givenNames.push_back(entry.first);
    known_options::warnUnknown(givenNames, stderr);

    if (given("vwfit_cv_multi") || given("vwfit"))
        app->vwFit_multi();
    else if (given("orth"))
        app->DC_orth();
    else if (given("rcsa"))
        app->simRCSA();
    else if (given("shapeTensor"))
        app->simDC_shapeTensor_multiconfomers();
    else
        app->simDC();
    app->warnIfPlotNotDrawn();

    delete app;
    std::clock_t end = std::clock();
    std::printf("\tRunning time (main): %g seconds\n",
                static_cast<double>(static_cast<float>(static_cast<double>(end - start) / 1000000)));
    std::fflush(stdout);
    quit(1);
}

// Helpers shared by the tests: temporary folders, files, running the built executable.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testutil {

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

inline bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// A fresh folder under /tmp, removed when the object goes.
class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/orvex_test_XXXXXX";
        path_ = mkdtemp(tmpl) ? tmpl : "";
    }
    ~TempDir() {
        if (!path_.empty()) (void)!std::system(("rm -rf '" + path_ + "'").c_str());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

struct RunResult {
    int status = -1;   // exit status as the shell sees it (0..255)
    std::string out;   // standard output
    std::string err;   // error stream
};

// Status of a run that a sanitizer stopped, as the test command sets it for both sanitizers
// (UBSan's own default, 1, is the status of every completed run).
constexpr int kSanitizerExitStatus = 86;

// A sanitized executable that reports an error fails the test even where the test looks at
// neither the status nor the error stream.
inline void expectNoSanitizerReport(const RunResult& r) {
    EXPECT_NE(r.status, kSanitizerExitStatus) << "sanitizer report:\n" << r.err;
    for (const char* mark : {"runtime error:", "ERROR: AddressSanitizer", "ERROR: LeakSanitizer"})
        EXPECT_EQ(r.err.find(mark), std::string::npos) << "sanitizer report:\n" << r.err;
}

// Runs the built Orvex with `args` in folder `cwd`, capturing both streams.
inline RunResult runOrvex(const std::vector<std::string>& args, const std::string& cwd) {
    auto quote = [](const std::string& s) {
        std::string q = "'";
        for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    TempDir cap;
    std::string cmd = "cd " + quote(cwd) + " && " + quote(ORVEX_EXE);
    for (const auto& a : args) cmd += " " + quote(a);
    cmd += " >" + quote(cap.file("out")) + " 2>" + quote(cap.file("err")) + " </dev/null";
    int rc = std::system(cmd.c_str());
    RunResult r{WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, readFile(cap.file("out")), readFile(cap.file("err"))};
    expectNoSanitizerReport(r);
    return r;
}

// One number as the C library formats it, for expected texts ("%9.3f" of 1.5: "    1.500").
inline std::string cFormat(const char* format, double value) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Compares two texts line by line and reports the first difference.
inline ::testing::AssertionResult sameLines(const std::string& expected, const std::string& actual) {
    auto e = splitLines(expected), a = splitLines(actual);
    for (size_t i = 0; i < std::min(e.size(), a.size()); i++)
        if (e[i] != a[i])
            return ::testing::AssertionFailure() << "line " << (i + 1) << " differs:\n  expected: [" << e[i]
                                                 << "]\n  actual:   [" << a[i] << "]";
    if (expected != actual)
        return ::testing::AssertionFailure() << "line counts or line ends differ: expected " << e.size()
                                             << " lines, actual " << a.size();
    return ::testing::AssertionSuccess();
}

// Relative tolerance with an absolute floor near zero.
inline bool near(double a, double b, double rel, double absFloor = 1e-12) {
    return std::fabs(a - b) <= std::max(absFloor, rel * std::max(std::fabs(a), std::fabs(b)));
}

}  // namespace testutil

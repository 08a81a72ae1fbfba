// Helpers shared by the tests: temporary folders, files, running the built executable.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// A fresh folder under /tmp, removed when the object goes.
class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/orvex_test_XXXXXX";
        char* p = mkdtemp(tmpl);
        path_ = p ? p : "/tmp";
    }
    ~TempDir() {
        if (path_ != "/tmp") {
            std::string cmd = "rm -rf '" + path_ + "'";
            int rc = std::system(cmd.c_str());
            (void)rc;
        }
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

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

// Runs the built Orvex with `args` in folder `cwd`, capturing both streams.
inline RunResult runOrvex(const std::vector<std::string>& args, const std::string& cwd) {
    TempDir cap;
    std::string cmd = "cd " + shellQuote(cwd) + " && " + shellQuote(ORVEX_EXE);
    for (const auto& a : args) cmd += " " + shellQuote(a);
    cmd += " >" + shellQuote(cap.file("out")) + " 2>" + shellQuote(cap.file("err")) + " </dev/null";
    int rc = std::system(cmd.c_str());
    RunResult r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = readFile(cap.file("out"));
    r.err = readFile(cap.file("err"));
    return r;
}

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) lines.push_back(cur);
    return lines;
}

// Compares two texts line by line and reports the first difference.
inline ::testing::AssertionResult sameLines(const std::string& expected, const std::string& actual) {
    auto e = splitLines(expected), a = splitLines(actual);
    size_t n = std::min(e.size(), a.size());
    for (size_t i = 0; i < n; i++) {
        if (e[i] != a[i])
            return ::testing::AssertionFailure() << "line " << (i + 1) << " differs:\n  expected: [" << e[i]
                                                 << "]\n  actual:   [" << a[i] << "]";
    }
    if (e.size() != a.size())
        return ::testing::AssertionFailure() << "line counts differ: expected " << e.size() << ", actual "
                                             << a.size();
    if (expected != actual) return ::testing::AssertionFailure() << "texts differ in line ends";
    return ::testing::AssertionSuccess();
}

// Relative tolerance with an absolute floor near zero.
inline bool near(double a, double b, double rel, double absFloor = 1e-12) {
    return std::fabs(a - b) <= std::max(absFloor, rel * std::max(std::fabs(a), std::fabs(b)));
}

}  // namespace testutil

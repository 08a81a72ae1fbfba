// Runs a fuzz target's entry function on given inputs without libFuzzer, as a libFuzzer binary
// runs the files named on its command line: each argument is a file or a folder of files. The
// program's own output is discarded (ORVEX_FUZZ_VERBOSE=1 keeps it); sanitizer reports still
// reach the error stream. Exit status 0 when at least one input ran, 1 otherwise.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" void __sanitizer_set_report_fd(void* fd) __attribute__((weak));

namespace {

std::vector<std::string> inputsOf(const std::string& path) {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        for (const auto& entry : fs::directory_iterator(path, ec))
            if (entry.is_regular_file()) files.push_back(entry.path().string());
        std::sort(files.begin(), files.end());
    } else if (fs::is_regular_file(path, ec)) {
        files.push_back(path);
    }
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    // messages of this driver (and the sanitizers') go to the error stream as it was at start
    FILE* report = fdopen(dup(2), "w");
    if (!report) report = stderr;
    const char* verbose = std::getenv("ORVEX_FUZZ_VERBOSE");
    if (!(verbose && verbose[0] == '1')) {
        if (__sanitizer_set_report_fd) __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(fileno(report))));
        (void)!std::freopen("/dev/null", "w", stdout);
        (void)!std::freopen("/dev/null", "w", stderr);
    }
    int count = 0;
    for (int a = 1; a < argc; a++) {
        const std::vector<std::string> files = inputsOf(argv[a]);
        if (files.empty()) std::fprintf(report, "%s: no input there\n", argv[a]);
        for (const std::string& file : files) {
            std::ifstream in(file, std::ios::binary);
            const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::fprintf(report, "Running %s (%zu bytes)\n", file.c_str(), bytes.size());
            std::fflush(report);
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            count++;
        }
    }
    std::fprintf(report, "%d inputs run\n", count);
    return count > 0 ? 0 : 1;
}

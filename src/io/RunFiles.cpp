// Files read and written by a run: directory check, the record of read files and the guard
// that keeps every output off them.
#include "io/RunFiles.h"

#include <sys/stat.h>

#include <vector>

namespace run_files {

namespace {

struct ReadFile {
    dev_t device;
    ino_t inode;
    std::string name;
};

std::vector<ReadFile>& readFiles() {
    static std::vector<ReadFile> files;
    return files;
}

}  // namespace

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void noteRead(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return;
    for (const ReadFile& f : readFiles())
        if (f.device == st.st_dev && f.inode == st.st_ino) return;
    readFiles().push_back({st.st_dev, st.st_ino, path});
}

std::string readAs(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return std::string();
    for (const ReadFile& f : readFiles())
        if (f.device == st.st_dev && f.inode == st.st_ino) return f.name;
    return std::string();
}

FILE* openForWriting(const std::string& path, const char* what, const char* instead, bool* refused) {
    *refused = false;
    const std::string read = readAs(path);
    if (!read.empty()) {
        std::fprintf(stderr, "Error :: %s %s is the file %s this run has read: not written over; %s.\n", what,
                     path.c_str(), read.c_str(), instead);
        *refused = true;
        return nullptr;
    }
    return std::fopen(path.c_str(), "w");
}

FILE* openTable(const std::string& path, const char* prefix) {
    bool refused = false;
    FILE* fp = openForWriting(path, "Output file", "the table goes to standard output", &refused);
    if (fp) return fp;
    if (!refused) std::fprintf(stderr, "%s Error opening output file %s\n", prefix, path.c_str());
    return stdout;
}

void clear() { readFiles().clear(); }

}  // namespace run_files

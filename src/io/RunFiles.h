// The files a run reads and writes: a directory is not a readable file, and no output is
// written over a file the run has read (the same file by device and inode, so that ./x.tab,
// x.tab and a symbolic link to it all match).
#pragma once

#include <cstdio>
#include <string>

namespace run_files {

// Whether `path` names a directory (read like a missing file, never as an empty one).
bool isDirectory(const std::string& path);

// Records that the run has read `path` (nothing for a path that does not exist).
void noteRead(const std::string& path);

// The name under which the run read the file `path` names, or "" when it has read no such file.
std::string readAs(const std::string& path);

// Opens `path` for writing, unless it names a file the run has read: then prints
// "Error :: <what> <path> is the file <read name> this run has read: not written over; <instead>."
// on the error stream, sets *refused and returns null. Otherwise fopen's result (null when the
// file cannot be opened, *refused left false).
FILE* openForWriting(const std::string& path, const char* what, const char* instead, bool* refused);

// openForWriting for a result table: the table goes to standard output when the file is refused
// or cannot be opened; the latter with "<prefix> Error opening output file <path>" first.
FILE* openTable(const std::string& path, const char* prefix);

// Forgets every file read (for tests that run several cases in one process).
void clear();

}  // namespace run_files

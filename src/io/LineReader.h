// Line-by-line reading of text input through one reusable buffer: the table and structure readers
// walk their files with it, plain or decompressed on the fly.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string_view>

class LineReader {
public:
    // Fills up to `size` bytes; returns the number of bytes read, 0 at the end, -1 on an error.
    using Source = std::function<long(char* buffer, size_t size)>;

    explicit LineReader(Source source);
    explicit LineReader(FILE* file);  // reads the open file; does not close it

    // The next line without its newline and without one trailing carriage return; false at the
    // end of the input. The text stays valid until the next call. A last line without a newline
    // is a line; NUL bytes are text like any other.
    bool next(std::string_view& line);

    // The source reported an error: the lines returned so far are all there is.
    bool failed() const { return failed_; }

private:
    void refill();

    Source source_;
    std::unique_ptr<char[]> buf_;  // not zero-filled: a small input touches only what it uses
    size_t capacity_;
    size_t pos_ = 0, end_ = 0;
    bool eof_ = false, failed_ = false;
};

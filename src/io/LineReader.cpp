// Line reading through one buffer that grows only for a line longer than itself.
#include "io/LineReader.h"

#include <cstring>
#include <utility>

namespace {

const size_t kInitialBuffer = 16 * 1024;

}  // namespace

LineReader::LineReader(Source source)
    : source_(std::move(source)), buf_(new char[kInitialBuffer]), capacity_(kInitialBuffer) {}

LineReader::LineReader(FILE* file)
    : LineReader([file](char* buffer, size_t size) -> long {
          const size_t got = std::fread(buffer, 1, size, file);
          if (got == 0 && std::ferror(file)) return -1;
          return static_cast<long>(got);
      }) {}

bool LineReader::next(std::string_view& line) {
    while (true) {
        const char* base = buf_.get();
        const void* nl = end_ > pos_ ? std::memchr(base + pos_, '\n', end_ - pos_) : nullptr;
        size_t stop;
        if (nl) {
            stop = static_cast<size_t>(static_cast<const char*>(nl) - base);
        } else if (eof_) {
            if (pos_ >= end_) return false;
            stop = end_;
        } else {
            refill();
            continue;
        }
        line = std::string_view(base + pos_, stop - pos_);
        pos_ = nl ? stop + 1 : stop;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return true;
    }
}

// Moves the unread rest to the front, grows the buffer when the rest fills it, reads more.
void LineReader::refill() {
    const size_t rest = end_ - pos_;
    if (rest == capacity_) {
        std::unique_ptr<char[]> bigger(new char[capacity_ * 2]);
        std::memcpy(bigger.get(), buf_.get() + pos_, rest);
        buf_ = std::move(bigger);
        capacity_ *= 2;
    } else if (pos_ > 0) {
        std::memmove(buf_.get(), buf_.get() + pos_, rest);
    }
    pos_ = 0;
    end_ = rest;
    const long got = source_(buf_.get() + end_, capacity_ - end_);
    if (got < 0) failed_ = true;
    if (got <= 0) eof_ = true;
    else end_ += static_cast<size_t>(got);
}

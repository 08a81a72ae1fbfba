// Line reading: line ends, a last line without newline, lines longer than the buffer, NUL bytes,
// and a source that fails part way.
#include "io/LineReader.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// A source handing out `text` in pieces of at most `piece` bytes, failing after `failAfter` bytes.
LineReader::Source pieces(const std::string& text, size_t piece, size_t failAfter = std::string::npos) {
    auto pos = std::make_shared<size_t>(0);
    return [text, piece, failAfter, pos](char* buffer, size_t size) -> long {
        if (*pos >= failAfter) return -1;
        const size_t n = std::min({size, piece, text.size() - *pos});
        std::memcpy(buffer, text.data() + *pos, n);
        *pos += n;
        return static_cast<long>(n);
    };
}

std::vector<std::string> readAll(LineReader& reader) {
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.next(line)) lines.emplace_back(line);
    return lines;
}

}  // namespace

TEST(LineReader, LineEndsLongLinesAndNulBytes) {
    const std::string longLine(200000, 'a');  // three times the first buffer
    const std::string text = std::string("one\r\n\ntwo\r\r\n") + longLine + "\n" + std::string("n\0l\n", 4) + "last";
    const std::vector<std::string> expected = {"one", "", "two\r", longLine, std::string("n\0l", 3), "last"};
    for (size_t piece : {size_t(1), size_t(7), size_t(4096), text.size()}) {
        LineReader reader(pieces(text, piece));
        EXPECT_TRUE(readAll(reader) == expected) << "pieces of " << piece;  // not printed: 200 kB
        EXPECT_FALSE(reader.failed());
    }
    LineReader empty(pieces("", 10));
    EXPECT_TRUE(readAll(empty).empty());
    LineReader newlineOnly(pieces("\n", 10));
    EXPECT_EQ(readAll(newlineOnly), std::vector<std::string>{""});
}

TEST(LineReader, FailingSourceEndsTheLinesAndSaysSo) {
    LineReader reader(pieces("first\nsecond\nthird\n", 4, 8));
    EXPECT_EQ(readAll(reader), (std::vector<std::string>{"first", "se"}));
    EXPECT_TRUE(reader.failed());
}

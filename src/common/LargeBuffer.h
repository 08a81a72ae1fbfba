// Large buffers the program fills in one go (the coupling list, the atom records of a big
// structure): where the system hands out huge pages to programs that ask for them, the buffer
// gets them, and is mapped in a few faults instead of one per 4 KiB page on first write.
#pragma once

#include <cstddef>

// Advice only: the contents, size and lifetime of the buffer do not change, and nothing happens
// where the advice is not supported or the buffer holds no whole huge page.
void adviseLargeBuffer(const void* data, std::size_t bytes);

// Counts every allocation of the test program that includes this header, to show which calls
// allocate. Include it in one source file of a test program only: it replaces the global
// operator new and delete. Kept out of line so the compiler does not pair malloc/free with
// new/delete at inlined sites.
#pragma once

#include <cstdlib>
#include <new>

static long gAllocations = 0;
__attribute__((noinline)) void* operator new(std::size_t size) {
    ++gAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }
// The nothrow form too (std::stable_sort's buffer): its memory is freed by the delete above.
__attribute__((noinline)) void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++gAllocations;
    return std::malloc(size ? size : 1);
}
__attribute__((noinline)) void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

// Replaces every global operator new and delete of the test program with counting ones; the
// count moves only while `counting` is set. Include this header in exactly one file of a program.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

// The replacements pair malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace testsupport {

inline std::atomic<long> allocations{0};
inline std::atomic<bool> counting{false};

inline void* countedAllocation(std::size_t size) {
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}

}  // namespace testsupport

void* operator new(std::size_t size) {
    if (void* p = testsupport::countedAllocation(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = testsupport::countedAllocation(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return testsupport::countedAllocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return testsupport::countedAllocation(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

// The unit tests' own operator new and delete, so that a test can make an
// allocation fail as when memory has run out (fake::allocationsBeforeFailure),
// and see whether the last array freed had been wiped (fake::lastArrayWiped).
// Every form is replaced, so that what one allocates the other frees.
#include "support/test_platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace fake {
bool lastArrayWiped = false;
} // namespace fake

namespace {

void* allocate(std::size_t size) {
    if (fake::allocationsBeforeFailure >= 0 && fake::allocationsBeforeFailure-- == 0)
        return nullptr;
    return std::malloc(size ? size : 1);
}

void* allocateOrThrow(std::size_t size) {
    if (void* p = allocate(size))
        return p;
    throw std::bad_alloc();
}

// Arrays carry their size in front, so that their bytes can be looked at as
// they are freed.
constexpr std::size_t front = alignof(std::max_align_t);

void* allocateArray(std::size_t size) {
    char* base = static_cast<char*>(allocate(size + front));
    if (!base)
        return nullptr;
    std::memcpy(base, &size, sizeof size);
    return base + front;
}

void freeArray(void* p) {
    if (!p)
        return;
    char* base = static_cast<char*>(p) - front;
    std::size_t size;
    std::memcpy(&size, base, sizeof size);
    const char* bytes = static_cast<const char*>(p);
    fake::lastArrayWiped = std::all_of(bytes, bytes + size, [](char c) { return c == 0; });
    std::free(base);
}

} // namespace

void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

void* operator new[](std::size_t size) {
    if (void* p = allocateArray(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocateArray(size);
}
void operator delete[](void* p) noexcept { freeArray(p); }
void operator delete[](void* p, std::size_t) noexcept { freeArray(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { freeArray(p); }

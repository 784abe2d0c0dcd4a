// Wiping memory that held passwords before it is released or reused.
#pragma once

#include <cstddef>
#include <cstring>
#include <new>

// Zeroes size bytes at p in a way the compiler cannot drop as dead stores.
inline void secureWipe(void* p, std::size_t size) {
#if defined(__GNUC__)
    std::memset(p, 0, size);
    // The memory is "used" afterwards, so the memset has to happen.
    __asm__ __volatile__("" : : "r"(p) : "memory");
#else
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(p);
    while (size--)
        *bytes++ = 0;
#endif
}

// An allocator that wipes every block before giving it back, so that a
// container that grows or is released leaves no copy of its contents behind.
template <class T> struct WipingAllocator {
    using value_type = T;

    WipingAllocator() = default;
    template <class U> WipingAllocator(const WipingAllocator<U>&) {}

    T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) {
        secureWipe(p, n * sizeof(T));
        ::operator delete(p);
    }
};

template <class T, class U> bool operator==(const WipingAllocator<T>&, const WipingAllocator<U>&) {
    return true;
}
template <class T, class U> bool operator!=(const WipingAllocator<T>&, const WipingAllocator<U>&) {
    return false;
}

#include <string>

// A string whose buffers are wiped when they are released: for file contents
// that hold passwords.
using SecureString = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;

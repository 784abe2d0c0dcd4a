// Wiping memory that held passwords before it is released or reused.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <utility>

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

// Text that may hold a password. Its bytes live in one heap block of its own,
// never inside the object (where a short std::string keeps them, out of any
// deleter's reach), and whatever it lets go of is wiped: the block when it is
// freed or outgrown, the bytes cut off or overwritten. A move hands the block
// over whole. The copies that edit controls and the clipboard keep are the
// system's memory, beyond the program's reach.
class SecureString {
  public:
    SecureString() noexcept = default;
    explicit SecureString(std::string_view text) { append(text); }
    SecureString(const char* text, std::size_t size) { append({text, size}); }
    SecureString(const SecureString& other) { append(other); }
    SecureString(SecureString&& other) noexcept { swap(other); }
    ~SecureString() { release(); }

    SecureString& operator=(const SecureString& other) { return assign(other); }
    SecureString& operator=(SecureString&& other) noexcept {
        SecureString(std::move(other)).swap(*this); // the old text goes with the temporary
        return *this;
    }
    SecureString& operator=(std::string_view text) { return assign(text); }

    const char* data() const noexcept { return bytes ? bytes : ""; }
    char* data() noexcept { return bytes ? bytes : nothing; }
    const char* c_str() const noexcept { return data(); }
    std::size_t size() const noexcept { return length; }
    bool empty() const noexcept { return length == 0; }
    char& operator[](std::size_t i) noexcept { return bytes[i]; }
    char operator[](std::size_t i) const noexcept { return bytes[i]; }
    char* begin() noexcept { return data(); }
    char* end() noexcept { return data() + length; }
    const char* begin() const noexcept { return data(); }
    const char* end() const noexcept { return data() + length; }
    operator std::string_view() const noexcept { return {data(), length}; }
    std::size_t find(char c, std::size_t from = 0) const noexcept {
        return std::string_view(*this).find(c, from);
    }

    SecureString& assign(std::string_view text) {
        SecureString copy(text); // text may lie inside this one
        swap(copy);
        return *this;
    }
    SecureString& assign(const char* text, std::size_t size) { return assign({text, size}); }
    SecureString& append(std::string_view text) {
        if (length + text.size() > capacity) {
            // Both copied before the old block goes: text may lie in it.
            SecureString bigger;
            bigger.grow(std::max(length + text.size(), capacity * 2));
            bigger.put(*this);
            bigger.put(text);
            swap(bigger);
        } else {
            put(text);
        }
        return *this;
    }
    SecureString& operator+=(std::string_view text) { return append(text); }
    SecureString& operator+=(char c) { return append({&c, 1}); }

    void reserve(std::size_t size) {
        if (size > capacity)
            grow(size);
    }
    // New bytes are NULs; the bytes cut off are wiped.
    void resize(std::size_t size) {
        reserve(size);
        if (!bytes)
            return;
        if (size < length)
            secureWipe(bytes + size, length - size);
        else
            std::memset(bytes + length, 0, size - length);
        length = size;
        bytes[length] = '\0';
    }
    void clear() noexcept {
        if (bytes)
            secureWipe(bytes, length);
        length = 0;
    }
    void swap(SecureString& other) noexcept {
        std::swap(bytes, other.bytes);
        std::swap(length, other.length);
        std::swap(capacity, other.capacity);
    }

    friend bool operator==(const SecureString& a, const SecureString& b) noexcept {
        return std::string_view(a) == std::string_view(b);
    }
    friend bool operator==(const SecureString& a, std::string_view b) noexcept {
        return std::string_view(a) == b;
    }
    template <class T> friend bool operator!=(const SecureString& a, const T& b) noexcept {
        return !(a == b);
    }

  private:
    // Copies text into the room after the text.
    void put(std::string_view text) noexcept {
        if (text.empty())
            return;
        std::memcpy(bytes + length, text.data(), text.size());
        length += text.size();
        bytes[length] = '\0';
    }
    // A new block of room for size bytes and a NUL; the old one is wiped
    // once its bytes are copied.
    void grow(std::size_t size) {
        char* block = new char[size + 1];
        if (bytes)
            std::memcpy(block, bytes, length);
        block[length] = '\0';
        release();
        bytes = block;
        capacity = size;
    }
    void release() noexcept {
        if (!bytes)
            return;
        secureWipe(bytes, capacity + 1);
        delete[] bytes;
        bytes = nullptr;
    }

    // What data() gives for no text: a NUL, the only byte ever written there.
    static inline char nothing[1] = {};

    char* bytes = nullptr; // capacity + 1 bytes: the text, a NUL, room
    std::size_t length = 0;
    std::size_t capacity = 0;
};

// A password as typed, in the system's wide text (UTF-16 on Windows), as a
// dialog's masked field gives it: one block of the size it was made with,
// never grown nor copied, and wiped when dropped.
class SecureWideString {
  public:
    SecureWideString() noexcept = default;
    explicit SecureWideString(std::size_t room) : block(new wchar_t[room + 1]()), room(room) {}
    SecureWideString(SecureWideString&& other) noexcept { swap(other); }
    SecureWideString& operator=(SecureWideString&& other) noexcept {
        SecureWideString(std::move(other)).swap(*this);
        return *this;
    }
    SecureWideString(const SecureWideString&) = delete;
    SecureWideString& operator=(const SecureWideString&) = delete;
    ~SecureWideString() {
        if (block)
            secureWipe(block, (room + 1) * sizeof(wchar_t));
        delete[] block;
    }

    // Room for capacity() characters and a NUL; the text is the first
    // length() of them.
    wchar_t* data() noexcept { return block; }
    std::size_t capacity() const noexcept { return room; }
    void setLength(std::size_t size) noexcept { length = std::min(size, room); }
    std::size_t size() const noexcept { return length; }
    bool empty() const noexcept { return length == 0; }
    std::wstring_view view() const noexcept { return {block ? block : L"", length}; }
    void swap(SecureWideString& other) noexcept {
        std::swap(block, other.block);
        std::swap(room, other.room);
        std::swap(length, other.length);
    }

  private:
    wchar_t* block = nullptr;
    std::size_t room = 0;
    std::size_t length = 0;
};

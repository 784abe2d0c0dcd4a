// Random passwords from the alphabet and length of the settings.
//
// Two sources of randomness feed one composition: the reproducible generator
// of Microsoft's runtime (seedRandom, nextRandom), whose values are known in
// advance and which therefore only ever serves generatePassword; and the
// system's cryptographic source, from which createPassword draws every
// character of a password the user gets.
#pragma once

#include "base/secure_string.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Room for a password and its NUL: the width of the password field.
constexpr std::size_t passwordBufferSize = 1024;
constexpr int longestPassword = static_cast<int>(passwordBufferSize) - 1;

// The reproducible source: state = state * 214013 + 2531011 (mod 2^32), and
// each value is bits 16 to 30 of the new state, 0 to 32767.
void seedRandom(std::uint32_t seed);
int nextRandom();

// The characters passwords are drawn from, as the settings enable them:
// digits, then lowercase, then uppercase letters. Empty when all are off.
std::string passwordAlphabet();

// Fills output (passwordBufferSize bytes) with passwordLength characters of
// the alphabet (none when it is 0 or less, at most longestPassword), each the
// one at the index that pick gives for the alphabet's length. Returns false,
// with output empty and pick never called, when the alphabet is empty.
bool composePassword(char* output, const std::function<int(int length)>& pick);

// The reproducible password for seed: the alphabet character at each value
// of nextRandom modulo the alphabet's length. Returns output.
char* generatePassword(char* output, std::uint32_t seed);

// Bytes of the system's cryptographic random source, fetched a block at a
// time. failed is set once the source refuses; the block is wiped when it
// goes, since it told which characters were chosen.
struct SecureBytes {
    unsigned char block[256];
    std::size_t used = sizeof block;
    bool failed = false;
    SecureBytes() = default;
    SecureBytes(const SecureBytes&) = delete;
    SecureBytes& operator=(const SecureBytes&) = delete;
    ~SecureBytes() { secureWipe(block, sizeof block); }
};

// An index from 0 to length - 1 (length 1 to 256), each exactly as likely:
// a byte at or above the largest multiple of length that a byte can hold
// would favour the low indices, so it is drawn again. 0 once bytes failed.
int unbiasedIndex(int length, SecureBytes& bytes);

// A password's text, wiped when it goes.
struct PasswordBuffer {
    char text[passwordBufferSize];
    PasswordBuffer() = default;
    PasswordBuffer(const PasswordBuffer&) = delete;
    PasswordBuffer& operator=(const PasswordBuffer&) = delete;
    ~PasswordBuffer() { secureWipe(text, sizeof text); }
};

// The create-password command: fills the password field with a new password
// from the cryptographic source, asking first when the field holds one and
// Ctrl is up.
void createPassword();

// Bounded copies of ANSI text, and the filling-in of message texts.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

// The longest prefix of text[0, length) that is at most room bytes and does
// not end inside a double-byte character.
std::size_t fittingLength(const char* text, std::size_t length, std::size_t room);

// Copies text[0, length) into dest, a buffer of size bytes, cut by
// fittingLength so that the NUL fits. Returns false when the text was cut.
bool copyText(char* dest, std::size_t size, const char* text, std::size_t length);

// The format with each "%s" or "%d" replaced, in order, by the next argument.
std::wstring formatMessage(const wchar_t* format, std::initializer_list<std::wstring> args);

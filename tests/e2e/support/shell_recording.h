// What Keyloom hands to the shell, seen through recorders: the desktop's
// browser and mail program (record-shell.sh) and the tests' file types
// (shell_recorder.exe) append each call as a line of shell-calls.txt.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace e2e {

// Sets a text value, creating the key; the test fails when it cannot.
void setRegistryText(HKEY root, const char* key, const char* name, const std::string& value);

// Forgets earlier calls and points the browser and mail program at the
// recorder.
void recordBrowserAndMailer();

// The lines the recorders wrote, once there are at least n (or the deadline
// has passed).
std::vector<std::string> shellCalls(std::size_t n);

} // namespace e2e

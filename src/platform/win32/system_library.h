// Functions of the system's own DLLs, loaded by full path from the system
// folder, so that no DLL of the same name beside the program can stand in for
// them.
#pragma once

#include <windows.h>

#include <string>

inline FARPROC systemFunction(const wchar_t* library, const char* name) {
    wchar_t folder[MAX_PATH];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    HMODULE module = LoadLibraryW((std::wstring(folder, length) + L"\\" + library).c_str());
    return module ? GetProcAddress(module, name) : nullptr;
}

// The same, as a pointer of the function's own type; null when missing.
template <class Function> Function functionFrom(const wchar_t* library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(systemFunction(library, name)));
}

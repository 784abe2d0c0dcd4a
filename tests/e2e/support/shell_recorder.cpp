// Stands in for the application that a file type opens with: appends the
// file it was given, as a line of UTF-8, to shell-calls.txt beside itself.
#include <windows.h>

#include <shellapi.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring line = count > 1 ? args[1] : L"";
    line += L"\n";

    wchar_t log[MAX_PATH + 32];
    DWORD n = GetModuleFileNameW(nullptr, log, MAX_PATH);
    while (n && log[n - 1] != L'\\')
        --n;
    lstrcpyW(log + n, L"shell-calls.txt");

    int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), (int)line.size(), nullptr, 0, nullptr,
                                   nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), (int)line.size(), &bytes[0], size, nullptr,
                        nullptr);
    HANDLE f = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, 0, nullptr);
    DWORD wrote = 0;
    WriteFile(f, bytes.data(), (DWORD)bytes.size(), &wrote, nullptr);
    CloseHandle(f);
    return 0;
}

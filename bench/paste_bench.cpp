// The real keyloom.exe under Wine typing user ID AB-CD-EF and password pw
// into the tests' login form, whose every Ctrl+V waits 0, 300 or 1000 ms:
// the time from the paste command to the last box filled, and whether every
// box got its own piece. Figures only, not a test: `make bench-wine`.
//
//   paste_bench.exe [KEYLOOM.EXE]   another build to time (the fixed pacing
//                                   of an older one, say)
#include "support/login_form.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#ifndef KEYLOOM_EXE
#error "KEYLOOM_EXE names the keyloom.exe to time"
#endif
#ifndef LOGIN_FORM_EXE
#error "LOGIN_FORM_EXE names the tests' login form"
#endif

namespace {

constexpr int runs = 5;
const wchar_t* const expected[] = {L"AB", L"CD", L"EF", L"pw", L""};

LARGE_INTEGER frequency;

double now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * t.QuadPart / frequency.QuadPart;
}

struct Process {
    PROCESS_INFORMATION info{};
    ~Process() {
        if (info.hProcess) {
            TerminateProcess(info.hProcess, 0);
            WaitForSingleObject(info.hProcess, 10000);
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
    }
    bool start(const std::string& exe, const std::string& arguments, const std::string& folder) {
        std::string commandLine = "\"" + exe + "\" " + arguments;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        return CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                              folder.empty() ? nullptr : folder.c_str(), &si, &info);
    }
};

struct Search {
    DWORD pid;
    int control; // a control the window holds
    HWND found;
};

BOOL CALLBACK findWindow(HWND window, LPARAM param) {
    Search* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == s->pid && IsWindowVisible(window) && GetDlgItem(window, s->control)) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND waitForWindow(const Process& p, int control) {
    Search s{p.info.dwProcessId, control, nullptr};
    for (double begin = now(); !s.found && now() - begin < 60000; Sleep(1))
        EnumWindows(findWindow, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

std::wstring textOf(HWND window) {
    wchar_t text[64] = L"";
    DWORD_PTR ignored;
    SendMessageTimeoutW(window, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000,
                        &ignored);
    return text;
}

bool filled(HWND form) {
    for (int box = 1; box <= 5; ++box)
        if (textOf(GetDlgItem(form, box)) != expected[box - 1])
            return false;
    return true;
}

bool inFront(HWND window) {
    SetForegroundWindow(window);
    for (double begin = now(); now() - begin < 5000; Sleep(5))
        if (GetForegroundWindow() == window)
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QueryPerformanceFrequency(&frequency);
    const std::string keyloom = argc > 1 ? argv[1] : KEYLOOM_EXE;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string folder =
        std::string(temp) + "keyloom-paste-bench-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    if (!CopyFileA(keyloom.c_str(), (folder + "\\keyloom.exe").c_str(), FALSE)) {
        std::fprintf(stderr, "cannot copy %s\n", keyloom.c_str());
        return 1;
    }
    // The user ID's three pieces go into boxes 1 to 3, and the password after
    // one more Tab into box 4.
    const std::string file = "KEYLOOM1\r\n1\r\nBank\r\nAB-CD-EF\r\npw\r\n\r\n\r\n1\r\n\r\n";
    HANDLE f = CreateFileA((folder + "\\PASSWORD.TXT").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
    DWORD wrote;
    WriteFile(f, file.data(), DWORD(file.size()), &wrote, nullptr);
    CloseHandle(f);

    std::printf("%s: paste user ID AB-CD-EF and password, %d runs a delay\n", keyloom.c_str(),
                runs);
    std::printf("%-22s  %-6s  %s\n", "target delay a Ctrl+V", "right", "command to last box, ms");
    for (int delay : {0, 300, 1000}) {
        Process form;
        if (!form.start(LOGIN_FORM_EXE, "delay=" + std::to_string(delay), "")) {
            std::fprintf(stderr, "no login form\n");
            return 1;
        }
        HWND formWindow = waitForWindow(form, 1);
        int right = 0;
        std::string times;
        for (int run = 0; run < runs; ++run) {
            SendMessageW(formWindow, loginFormReset, 0, 0);
            inFront(formWindow);
            Process k;
            k.start(folder + "\\keyloom.exe", "", folder);
            HWND main = waitForWindow(k, 200);
            if (!main || !inFront(main)) {
                std::fprintf(stderr, "no Keyloom window in front\n");
                return 1;
            }
            double begin = now();
            PostMessageW(main, WM_COMMAND, 121, 0);
            double last = 0;
            // Done once the boxes are right and stay so, or after 15 s.
            while (now() - begin < 15000) {
                if (filled(formWindow)) {
                    last = now() - begin;
                    break;
                }
                Sleep(1);
            }
            right += last > 0;
            char figure[32];
            std::snprintf(figure, sizeof figure, last > 0 ? "%.0f " : "wrong ", last);
            times += figure;
            // Ends Keyloom through its exit, so that its clipboard is emptied.
            PostMessageW(main, WM_COMMAND, 100, 0);
            WaitForSingleObject(k.info.hProcess, 10000);
        }
        std::printf("%-22d  %d/%d     %s\n", delay, right, runs, times.c_str());
    }
    return 0;
}

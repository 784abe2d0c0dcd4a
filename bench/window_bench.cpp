// The real keyloom.exe under Wine, timed from outside with 10 and with 10,000
// entries: from CreateProcess to the main window on the screen, and one
// keystroke in the title field (the record, the list item and the list's
// scroll width follow every keystroke); then the same lists behind a master
// password, from CreateProcess to its dialog and from its OK to the main
// window; with the master password, a lock after an edit (the save of the
// list, then the forgetting) and the unlock (the key derived, the file read,
// the list shown); last, the import of a browser's export of 10,000 rows,
// from the open dialog's 開く to the import dialog and from its インポート to
// the notice after the save. Figures only, not a test: run it with `make
// bench-wine`.
#include "store/protected_file.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#ifndef KEYLOOM_EXE
#error "KEYLOOM_EXE names the keyloom.exe to time"
#endif

namespace {

constexpr int startRuns = 5;
constexpr int keystrokes = 400;

LARGE_INTEGER frequency;

double now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * t.QuadPart / frequency.QuadPart;
}

std::string ansi(const std::wstring& text) {
    int n =
        WideCharToMultiByte(CP_ACP, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), (int)text.size(), &out[0], n, nullptr, nullptr);
    return out;
}

// Titles of 5 to 30 characters, half of them Japanese.
std::wstring titleText(int i) {
    static const wchar_t* const services[] = {
        L"銀行口座",    L"ネットショップ",   L"Web メール",   L"証券口座", L"クレジットカード",
        L"Wi-Fi",       L"勤務先 VPN",       L"旅行予約",     L"動画配信", L"Cloud storage",
        L"Online shop", L"市役所の電子申請", L"Mail account", L"GitHub",   L"ポイントカード"};
    static const wchar_t* const details[] = {L"",        L" (個人)",           L" - 家族用",
                                             L" backup", L" メインアカウント", L" old"};
    return std::wstring(services[i % 15]) + details[(i / 15) % 6] + L" " + std::to_wstring(i);
}

std::string title(int i) { return ansi(titleText(i)); }

// A list like a person's: those titles, user IDs, passwords, addresses and
// mail addresses of everyday length, and a memo of up to three lines on one
// entry in three.
std::string dataFile(int count) {
    std::string out = "KEYLOOM1\r\n" + std::to_string(count) + "\r\n";
    for (int i = 0; i < count; ++i) {
        out += title(i) + "\r\n";
        out += "user" + std::to_string(i * 7919 % 100000) + "-" + std::to_string(i) + "\r\n";
        out += "Qx7!mV" + std::to_string(i * 104729 % 1000000) + "bL#\r\n";
        out += "https://www.example" + std::to_string(i % 97) + ".co.jp/account/login\r\n";
        out += "taro.yamada" + std::to_string(i % 13) + "@example.co.jp\r\n";
        switch (i % 3) {
        case 0: out += "1\r\n\r\n"; break;
        case 1: out += "1\r\n" + ansi(L"暗証番号は別の手帳に記載。") + "\r\n"; break;
        default:
            out += "3\r\n" + ansi(L"秘密の質問: 最初に飼ったペットの名前") + "\r\n" +
                   ansi(L"2024年4月にパスワード変更") + "\r\nPIN 4 digits\r\n";
        }
    }
    return out;
}

void writeFile(const std::string& path, const std::string& bytes) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD wrote = 0;
    WriteFile(f, bytes.data(), (DWORD)bytes.size(), &wrote, nullptr);
    CloseHandle(f);
}

struct Search {
    DWORD pid;
    HWND found;
    int control = 200; // the main window's list; 246: the master password's field
};

BOOL CALLBACK findMain(HWND window, LPARAM param) {
    Search* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == s->pid && IsWindowVisible(window) && GetDlgItem(window, s->control)) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

// Waits (at most 60 s) for a visible window of pid holding control.
HWND waitForWindow(DWORD pid, int control, double begin) {
    Search s{pid, nullptr, control};
    while (!s.found) {
        if (now() - begin > 60000)
            return nullptr;
        EnumWindows(findMain, reinterpret_cast<LPARAM>(&s));
        if (!s.found)
            Sleep(1);
    }
    return s.found;
}

const char* const benchPassword = "bench password";

// The list behind a master password of today's iterations.
std::string protectedFile(const std::string& plain) {
    ProtectionKey key;
    std::string file;
    if (!newProtectionKey(benchPassword, key) || !protectBytes(plain, key, file))
        return "";
    return file;
}

struct Running {
    PROCESS_INFORMATION process{};
    HWND window = nullptr;
    double startMs = 0;  // CreateProcess to the visible main window
    double dialogMs = 0; // protected: CreateProcess to the password dialog
    double openMs = 0;   // protected: its OK to the visible main window
};

// Starts keyloom.exe from folder and waits (at most 60 s) for its window;
// over a protected file, for the password dialog first, which gets the
// password typed and OK.
bool start(const std::string& folder, Running& r, bool protectedList = false) {
    std::string exe = folder + "\\keyloom.exe";
    std::string commandLine = "\"" + exe + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    double begin = now();
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &si, &r.process))
        return false;
    if (protectedList) {
        HWND dialog = waitForWindow(r.process.dwProcessId, 246, begin);
        if (!dialog)
            return false;
        r.dialogMs = now() - begin;
        for (const char* c = benchPassword; *c; ++c)
            SendMessageW(GetDlgItem(dialog, 246), WM_CHAR, static_cast<WPARAM>(*c), 0);
        begin = now();
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
    r.window = waitForWindow(r.process.dwProcessId, 200, begin);
    r.startMs = now() - begin;
    r.openMs = r.startMs;
    return r.window != nullptr;
}

void stop(Running& r) {
    TerminateProcess(r.process.hProcess, 0);
    WaitForSingleObject(r.process.hProcess, 10000);
    CloseHandle(r.process.hProcess);
    CloseHandle(r.process.hThread);
}

struct Summary {
    double median, mean, p95, max, min;
};

Summary summarize(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v)
        sum += x;
    return {v[v.size() / 2], sum / v.size(), v[std::min(v.size() - 1, v.size() * 95 / 100)],
            v.back(), v.front()};
}

// Keystrokes into the title field of the entry at index: a letter, then a
// backspace, so that the title keeps its length. Each SendMessage returns
// once Keyloom has handled the change.
std::vector<double> typeIntoTitle(const Running& r, int index) {
    HWND list = GetDlgItem(r.window, 200);
    SendMessageW(list, LB_SETCURSEL, index, 0);
    SendMessageW(r.window, WM_COMMAND, MAKEWPARAM(200, LBN_SELCHANGE), (LPARAM)list);
    HWND field = GetDlgItem(r.window, 201);
    SendMessageW(field, EM_SETSEL, 0x7FFF, 0x7FFF); // the caret at the end
    std::vector<double> times;
    for (int i = 0; i < keystrokes; ++i) {
        WPARAM c = i % 2 ? VK_BACK : L'a' + (i / 2) % 26;
        double begin = now();
        SendMessageW(field, WM_CHAR, c, 0);
        times.push_back(now() - begin);
    }
    return times;
}

// What the title keystroke would cost if it measured every title again: all
// titles measured once in the dialog's font, in this process.
double measureAllTitles(int count) {
    HDC dc = GetDC(nullptr);
    HFONT font = CreateFontW(-MulDiv(9, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, 0,
                             0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"ＭＳ Ｐゴシック");
    HGDIOBJ previous = SelectObject(dc, font);
    std::vector<std::string> titles;
    for (int i = 0; i < count; ++i)
        titles.push_back(title(i));
    double begin = now();
    long widest = 0;
    for (const std::string& t : titles) {
        SIZE size{};
        GetTextExtentPoint32A(dc, t.c_str(), (int)t.size(), &size);
        widest = std::max(widest, size.cx);
    }
    double ms = now() - begin;
    SelectObject(dc, previous);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    return widest > 0 ? ms : -1;
}

// ---- The import command ----

std::string utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr,
                                nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], n, nullptr, nullptr);
    return out;
}

// A browser's export (Chrome's header, UTF-8) of count rows like the list's
// entries, a note of two lines on one row in three.
std::string browserExport(int count) {
    std::string out = "name,url,username,password,note\r\n";
    for (int i = 0; i < count; ++i)
        out += utf8(titleText(i)) + ",https://www.example" + std::to_string(i % 97) +
               ".co.jp/login,user" + std::to_string(i) + ",Qx7!mV" +
               std::to_string(i * 104729 % 1000000) + "bL#," +
               (i % 3 ? "" : utf8(L"\"秘密の質問: ペットの名前\n2024年4月に変更\"")) + "\r\n";
    return out;
}

// The visible window of pid holding control, once it is there (at most 60 s).
HWND waitForControl(DWORD pid, int control) { return waitForWindow(pid, control, now()); }

// One import of the file at path, timed from outside: typed into the open
// dialog and 開く, to the import dialog on the screen (the file read and
// compared with the list); then its インポート, to the notice on the screen
// (the list filled and saved). addMs is 0 when there is nothing to add.
bool timeImport(const Running& r, const std::string& path, double& readMs, double& addMs) {
    const DWORD pid = r.process.dwProcessId;
    PostMessageW(r.window, WM_COMMAND, 143, 0);
    HWND open = waitForControl(pid, 0x47C); // the file name box
    HWND field = open ? GetDlgItem(open, 0x47C) : nullptr;
    char name[16] = "";
    while (field && GetClassNameA(field, name, 16) && lstrcmpiA(name, "Edit"))
        field = GetWindow(field, GW_CHILD); // the edit inside it
    if (!field)
        return false;
    SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    double begin = now();
    PostMessageW(open, WM_COMMAND, IDOK, 0);
    HWND dialog = waitForControl(pid, 253); // the count to add
    readMs = now() - begin;
    if (!dialog)
        return false;
    addMs = 0;
    if (!IsWindowEnabled(GetDlgItem(dialog, IDOK))) {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return true;
    }
    begin = now();
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    while (IsWindowVisible(dialog))
        Sleep(1);
    HWND notice = waitForControl(pid, IDOK);
    addMs = now() - begin;
    if (!notice)
        return false;
    PostMessageW(notice, WM_COMMAND, IDOK, 0);
    while (IsWindowVisible(notice))
        Sleep(1);
    return true;
}

// The count of the list's items, once Keyloom has handled what it was
// handling when asked.
int itemCount(const Running& r) {
    return static_cast<int>(SendMessageW(GetDlgItem(r.window, 200), LB_GETCOUNT, 0, 0));
}

struct LockTimes {
    double lockMs, unlockMs;
};

// An edit in the title of the middle entry, then "ロック(&L)" until the list is
// empty (the lock's last step); then the unlock's OK until the list is shown
// again. False when a step does not come within 60 s.
bool lockAndUnlock(const Running& r, int count, bool typeLetter, LockTimes& t) {
    HWND list = GetDlgItem(r.window, 200);
    SendMessageW(list, LB_SETCURSEL, count / 2, 0);
    SendMessageW(r.window, WM_COMMAND, MAKEWPARAM(200, LBN_SELCHANGE), (LPARAM)list);
    HWND field = GetDlgItem(r.window, 201);
    SendMessageW(field, EM_SETSEL, 0x7FFF, 0x7FFF);
    SendMessageW(field, WM_CHAR, typeLetter ? L'a' : VK_BACK, 0);
    double begin = now();
    PostMessageW(r.window, WM_COMMAND, 141, 0); // IDM_LOCK
    while (itemCount(r) != 0)
        if (now() - begin > 60000)
            return false;
    t.lockMs = now() - begin;
    PostMessageW(r.window, WM_COMMAND, 216, 0); // IDC_UNLOCK
    HWND dialog = waitForWindow(r.process.dwProcessId, 246, now());
    if (!dialog)
        return false;
    for (const char* c = benchPassword; *c; ++c)
        SendMessageW(GetDlgItem(dialog, 246), WM_CHAR, static_cast<WPARAM>(*c), 0);
    begin = now();
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    while (itemCount(r) != count || !IsWindowVisible(list))
        if (now() - begin > 60000)
            return false;
    t.unlockMs = now() - begin;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QueryPerformanceFrequency(&frequency);
    const std::string keyloom = KEYLOOM_EXE;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);

    std::printf("keyloom.exe under Wine: %s\n", keyloom.c_str());
    std::printf("start-up: CreateProcess to the visible main window, %d runs\n", startRuns);
    std::printf("keystroke: SendMessageW(WM_CHAR) to the title field, %d keystrokes\n\n",
                keystrokes);
    std::printf("%8s  %-28s  %s\n", "entries", "start-up ms (median, min)",
                "keystroke ms at entry 0 | at the middle entry (median, mean, p95, max)");
    // Other list sizes can be given as arguments.
    std::vector<int> counts{10, 10000};
    if (argc > 1)
        counts.clear();
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::atoi(argv[i]));
    for (int count : counts) {
        std::string folder = std::string(temp) + "keyloom-bench-" + std::to_string(count) + "-" +
                             std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder.c_str(), nullptr);
        if (!CopyFileA(keyloom.c_str(), (folder + "\\keyloom.exe").c_str(), FALSE)) {
            std::fprintf(stderr, "cannot copy %s\n", keyloom.c_str());
            return 1;
        }
        writeFile(folder + "\\PASSWORD.TXT", dataFile(count));

        std::vector<double> starts;
        Running r;
        for (int run = 0; run < startRuns; ++run) {
            if (!start(folder, r)) {
                std::fprintf(stderr, "no main window with %d entries\n", count);
                return 1;
            }
            starts.push_back(r.startMs);
            if (run + 1 < startRuns)
                stop(r);
        }
        Summary s = summarize(starts);
        Summary first = summarize(typeIntoTitle(r, 0));
        Summary middle = summarize(typeIntoTitle(r, count / 2));
        stop(r);
        std::printf("%8d  %10.1f, %-15.1f  %.3f, %.3f, %.3f, %.3f | %.3f, %.3f, %.3f, %.3f\n",
                    count, s.median, s.min, first.median, first.mean, first.p95, first.max,
                    middle.median, middle.mean, middle.p95, middle.max);
    }
    std::printf("\nfor comparison, measuring all 10,000 titles once (no cache): %.1f ms\n",
                measureAllTitles(10000));

    // The same lists behind a master password (600,000 iterations): the
    // dialog, then deriving the key, opening and reading the file.
    std::printf("\nbehind a master password, %d runs (median, min)\n", startRuns);
    std::printf("%8s  %-26s  %-26s  %s\n", "entries", "to the password dialog ms",
                "OK to the main window ms", "both ms");
    std::string lockLines;
    for (int count : counts) {
        std::string folder = std::string(temp) + "keyloom-bench-protected-" +
                             std::to_string(count) + "-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder.c_str(), nullptr);
        const std::string file = protectedFile(dataFile(count));
        if (file.empty() ||
            !CopyFileA(keyloom.c_str(), (folder + "\\keyloom.exe").c_str(), FALSE)) {
            std::fprintf(stderr, "cannot set up the protected list of %d\n", count);
            return 1;
        }
        writeFile(folder + "\\PASSWORD.TXT", file);
        std::vector<double> dialogs, opens, both, locks, unlocks;
        for (int run = 0; run < startRuns; ++run) {
            Running r;
            if (!start(folder, r, true)) {
                std::fprintf(stderr, "no main window behind the password with %d entries\n", count);
                return 1;
            }
            dialogs.push_back(r.dialogMs);
            opens.push_back(r.openMs);
            both.push_back(r.dialogMs + r.openMs);
            LockTimes t;
            if (!lockAndUnlock(r, count, run % 2 == 0, t)) {
                std::fprintf(stderr, "no lock or unlock with %d entries\n", count);
                return 1;
            }
            locks.push_back(t.lockMs);
            unlocks.push_back(t.unlockMs);
            stop(r);
        }
        Summary d = summarize(dialogs), o = summarize(opens), b = summarize(both);
        std::printf("%8d  %10.1f, %-14.1f  %10.1f, %-14.1f  %.1f, %.1f\n", count, d.median, d.min,
                    o.median, o.min, b.median, b.min);
        Summary l = summarize(locks), u = summarize(unlocks);
        char line[160];
        std::snprintf(line, sizeof line, "%8d  %10.1f, %-14.1f  %10.1f, %.1f\n", count, l.median,
                      l.min, u.median, u.min);
        lockLines += line;
    }
    std::printf("\nbehind a master password, after an edit (median, min)\n%8s  %-26s  %s\n%s",
                "entries", "lock to the list emptied ms", "unlock's OK to the list shown ms",
                lockLines.c_str());

    // Importing a browser's export of 10,000 rows into a list of 10, then
    // the same file again: every row a duplicate.
    std::printf("\nimport of 10,000 rows into 10 entries, %d runs (median, min)\n", startRuns);
    std::printf("%-12s  %-26s  %s\n", "", "open to the dialog ms", "インポート to the notice ms");
    const std::string folder =
        std::string(temp) + "keyloom-bench-import-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string csv = folder + "\\export.csv";
    writeFile(csv, browserExport(10000));
    std::vector<double> reads, adds, again;
    if (!CopyFileA(keyloom.c_str(), (folder + "\\keyloom.exe").c_str(), FALSE)) {
        std::fprintf(stderr, "cannot copy %s\n", keyloom.c_str());
        return 1;
    }
    for (int run = 0; run < startRuns; ++run) {
        writeFile(folder + "\\PASSWORD.TXT", dataFile(10));
        Running r;
        double readMs, addMs, againMs, none;
        // Every row added once, none the second time.
        if (!start(folder, r) || !timeImport(r, csv, readMs, addMs) ||
            !timeImport(r, csv, againMs, none) ||
            SendMessageW(GetDlgItem(r.window, 200), LB_GETCOUNT, 0, 0) != 10010) {
            std::fprintf(stderr, "the import could not be timed\n");
            return 1;
        }
        reads.push_back(readMs);
        adds.push_back(addMs);
        again.push_back(againMs);
        stop(r);
    }
    Summary read = summarize(reads), add = summarize(adds), dup = summarize(again);
    std::printf("%-12s  %10.1f, %-14.1f  %.1f, %.1f\n", "new", read.median, read.min, add.median,
                add.min);
    std::printf("%-12s  %10.1f, %-14.1f  -\n", "duplicates", dup.median, dup.min);
    return 0;
}

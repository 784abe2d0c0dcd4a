#include "keyloom_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

namespace e2e {

namespace {

std::wstring wide(const std::string& text, UINT codePage) {
    if (text.empty())
        return {};
    int n = MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), &out[0], n);
    return out;
}

std::string narrow(const std::wstring& text, UINT codePage) {
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), nullptr, 0, nullptr,
                                nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), &out[0], n, nullptr, nullptr);
    return out;
}

// Paths are UTF-8 here, so that a folder of any name can be written down.
std::wstring path(const std::string& utf8Path) { return wide(utf8Path, CP_UTF8); }

DWORD processOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

struct Search {
    DWORD pid;
    bool main; // the main window (it has the list), or a message box
    HWND found;
};

BOOL CALLBACK findWindow(HWND window, LPARAM param) {
    Search* s = reinterpret_cast<Search*>(param);
    if (processOf(window) != s->pid || !IsWindowVisible(window))
        return TRUE;
    wchar_t className[32] = L"";
    GetClassNameW(window, className, 32);
    if (lstrcmpW(className, L"#32770"))
        return TRUE;
    bool isMain = GetDlgItem(window, 200) != nullptr;
    if (isMain == s->main && (s->main || windowText(window) == "Keyloom")) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND findIn(DWORD pid, bool main) {
    Search s{pid, main, nullptr};
    EnumWindows(findWindow, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

struct MenuSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK findMenu(HWND window, LPARAM param) {
    MenuSearch* s = reinterpret_cast<MenuSearch*>(param);
    wchar_t className[32] = L"";
    GetClassNameW(window, className, 32);
    if (processOf(window) == s->pid && IsWindowVisible(window) && !lstrcmpW(className, L"#32768")) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

struct DialogSearch {
    DWORD pid;
    int id; // a control the dialog holds
    HWND found;
};

BOOL CALLBACK findDialog(HWND window, LPARAM param) {
    DialogSearch* s = reinterpret_cast<DialogSearch*>(param);
    wchar_t className[32] = L"";
    GetClassNameW(window, className, 32);
    if (processOf(window) == s->pid && IsWindowVisible(window) && !lstrcmpW(className, L"#32770") &&
        GetDlgItem(window, s->id)) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

bool waitFor(const std::function<bool()>& done, DWORD milliseconds) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (GetTickCount() - start > milliseconds)
            return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

std::string freshFolder(const std::string& tag) {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    // Wine reuses process ids from one run to the next: a folder left by an
    // earlier run is passed over, never reused with its files.
    for (;;) {
        std::string dir = narrow(temp, CP_UTF8) + "keyloom-e2e-" + tag + "-" +
                          std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
        if (CreateDirectoryW(path(dir).c_str(), nullptr) || GetLastError() != ERROR_ALREADY_EXISTS)
            return dir;
    }
}

std::string readFile(const std::string& file) {
    HANDLE f = CreateFileW(path(file).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return "";
    std::string bytes(GetFileSize(f, nullptr), '\0');
    DWORD got = 0;
    if (!bytes.empty())
        ReadFile(f, &bytes[0], (DWORD)bytes.size(), &got, nullptr);
    CloseHandle(f);
    bytes.resize(got);
    return bytes;
}

bool fileExists(const std::string& file) {
    return GetFileAttributesW(path(file).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void writeFile(const std::string& file, const std::string& bytes) {
    HANDLE f =
        CreateFileW(path(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD wrote = 0;
    WriteFile(f, bytes.data(), (DWORD)bytes.size(), &wrote, nullptr);
    CloseHandle(f);
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path(folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = narrow(found.cFileName, CP_UTF8);
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::string dataFile(const std::vector<Entry>& entries) {
    std::string out = "KEYLOOM1\r\n" + std::to_string(entries.size()) + "\r\n";
    for (const Entry& e : entries) {
        for (const std::string* field : {&e.title, &e.userId, &e.password, &e.address, &e.mail})
            out += sjis(*field) + "\r\n";
        int lines = 1;
        for (std::size_t at = 0; (at = e.memo.find("\r\n", at)) != std::string::npos; at += 2)
            ++lines;
        out += std::to_string(lines) + "\r\n" + sjis(e.memo) + "\r\n";
    }
    return out;
}

std::string settingsFile(long left, long top, int showUserId, int showPassword) {
    return std::to_string(left) + "\r\n" + std::to_string(top) + "\r\n" +
           std::to_string(showUserId) + "\r\n" + std::to_string(showPassword) +
           "\r\n8\r\n1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n";
}

HeldFile::HeldFile(const std::string& file)
    : handle(CreateFileW(path(file).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, 0, nullptr)) {}

void HeldFile::release() {
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

bool endSession() {
    char commandLine[] = "wineboot.exe --end-session";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        ADD_FAILURE() << "wineboot --end-session could not be started: " << GetLastError();
        return false;
    }
    bool ended =
        waitFor([&] { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; }, 30000);
    if (!ended)
        ADD_FAILURE() << "wineboot --end-session did not finish in 30 s";
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return ended;
}

HWND popupMenuOf(DWORD processId) {
    MenuSearch s{processId, nullptr};
    EnumWindows(findMenu, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

std::wstring wide(const std::string& utf8) { return path(utf8); }

std::string sjis(const std::string& utf8Text) { return narrow(wide(utf8Text, CP_UTF8), 932); }
std::string fromSjis(const std::string& sjisText) { return narrow(wide(sjisText, 932), CP_UTF8); }

std::wstring wideText(HWND window) {
    // The W form: the A form arrives garbled across processes under Wine.
    int n = (int)SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(n + 1, L'\0');
    n = (int)SendMessageW(window, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(n);
    return text;
}

std::string windowText(HWND window) { return narrow(wideText(window), 932); }

Keyloom::Keyloom(const std::string& where, Program program) : folder(where) {
    if (program.exe && !CopyFileW(wide(program.exe, CP_UTF8).c_str(),
                                  path(folder + "\\keyloom.exe").c_str(), FALSE))
        ADD_FAILURE() << program.exe << " could not be copied into " << folder << ": error "
                      << GetLastError();
}

Keyloom::Keyloom(const std::string& where, const std::string& passwordTxt, Program program)
    : Keyloom(where, program) {
    writeFile(dataFile(), passwordTxt);
}

Keyloom::~Keyloom() {
    if (process.hProcess) {
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 5000);
        }
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
}

void Keyloom::startOnly() {
    std::wstring exe = path(folder + "\\keyloom.exe");
    std::wstring commandLine = L"\"" + exe + L"\"";
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp); // not the program's folder
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, temp,
                        &si, &process))
        ADD_FAILURE() << exe << " could not be started: error " << GetLastError();
}

bool Keyloom::start() {
    startOnly();
    if (!process.hProcess)
        return false;
    return waitForWindow();
}

bool Keyloom::waitForWindow(DWORD milliseconds) {
    waitFor([&] { return (window = findIn(process.dwProcessId, true)) != nullptr; }, milliseconds);
    if (!window) {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        ADD_FAILURE() << "no main window of " << folder << "\\keyloom.exe"
                      << (code == STILL_ACTIVE ? " (still running)"
                                               : " (ended with " + std::to_string(code) + ")");
    }
    return window != nullptr;
}

HWND Keyloom::windowOrQuestion() {
    if ((window = findIn(process.dwProcessId, true)))
        return window;
    return findIn(process.dwProcessId, false);
}

DWORD Keyloom::waitForExit(DWORD milliseconds) {
    DWORD code = STILL_ACTIVE;
    waitFor([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; },
            milliseconds);
    GetExitCodeProcess(process.hProcess, &code);
    return code;
}

std::vector<std::string> Keyloom::items() const {
    std::vector<std::string> out;
    HWND list = control(200);
    int count = (int)SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        int n = (int)SendMessageW(list, LB_GETTEXTLEN, i, 0);
        std::wstring text(n + 1, L'\0');
        n = (int)SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
        text.resize(n < 0 ? 0 : n);
        out.push_back(narrow(text, 932));
    }
    return out;
}

int Keyloom::selection() const { return (int)SendMessageW(control(200), LB_GETCURSEL, 0, 0); }

wchar_t Keyloom::maskOf(int id) const {
    return (wchar_t)SendMessageW(control(id), EM_GETPASSWORDCHAR, 0, 0);
}

HWND Keyloom::focused() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(process.dwThreadId, &info) ? info.hwndFocus : nullptr;
}

bool Keyloom::running() const { return WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT; }

POINT Keyloom::itemCentre(int index) const {
    HWND list = control(200);
    int top = (int)SendMessageW(list, LB_GETTOPINDEX, 0, 0);
    int height = (int)SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
    RECT client{};
    GetClientRect(list, &client);
    POINT p{client.right / 4, (index - top) * height + height / 2};
    ClientToScreen(list, &p);
    return p;
}

HWND Keyloom::popupMenu(DWORD milliseconds) const {
    HWND menu = nullptr;
    waitFor([&] { return (menu = popupMenuOf(process.dwProcessId)) != nullptr; }, milliseconds);
    return menu;
}

void Keyloom::command(int id, bool sync) {
    if (sync)
        SendMessageW(window, WM_COMMAND, id, 0);
    else
        PostMessageW(window, WM_COMMAND, id, 0);
}

void Keyloom::select(int index) {
    SendMessageW(control(200), LB_SETCURSEL, index, 0);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(200, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(control(200)));
}

void typeInto(HWND window, int id, const std::string& utf8Text) {
    for (wchar_t c : wide(utf8Text, CP_UTF8))
        SendMessageW(GetDlgItem(window, id), WM_CHAR, c, 0);
}

void Keyloom::type(int id, const std::string& utf8Text) { typeInto(window, id, utf8Text); }

bool Keyloom::setMasterPassword(const std::string& utf8Password) {
    constexpr int masterPasswordCommand = 140, newPassword = 242, confirmPassword = 243;
    command(masterPasswordCommand, false);
    HWND box = dialog(newPassword);
    if (!box) {
        ADD_FAILURE() << "no master password dialog";
        return false;
    }
    typeInto(box, newPassword, utf8Password);
    typeInto(box, confirmPassword, utf8Password);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    box = messageBox(60000);
    if (!box) {
        ADD_FAILURE() << "no word that the master password was set";
        return false;
    }
    const bool set =
        fromSjis(messageText(box)).find("マスターパスワードを設定しました") != std::string::npos;
    if (!set)
        ADD_FAILURE() << "the master password was not set: " << fromSjis(messageText(box));
    answer(box, IDOK);
    return set;
}

void Keyloom::paste(int id, const std::string& sjisText) {
    std::wstring text = wide(sjisText, 932);
    SendMessageW(control(id), EM_SETSEL, 0, -1);
    SendMessageW(control(id), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
}

void Keyloom::focus(int id) {
    SetForegroundWindow(window);
    PostMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control(id)), TRUE);
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    waitFor([&] {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        return GetForegroundWindow() == window && GetGUIThreadInfo(thread, &info) &&
               info.hwndFocus == control(id);
    });
}

void Keyloom::key(WORD vk, bool ctrl, bool alt) {
    std::vector<INPUT> inputs;
    auto add = [&](WORD k, bool up) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = k;
        in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(in);
    };
    if (ctrl)
        add(VK_CONTROL, false);
    if (alt)
        add(VK_MENU, false);
    add(vk, false);
    add(vk, true);
    if (alt)
        add(VK_MENU, true);
    if (ctrl)
        add(VK_CONTROL, true);
    SendInput((UINT)inputs.size(), inputs.data(), sizeof(INPUT));
}

void Keyloom::rightClick(POINT at) {
    // The button's messages as the system delivers them to the list. Synthetic
    // mouse input under Wine was seen to lose the press now and then.
    HWND list = control(200);
    SetCursorPos(at.x, at.y);
    POINT client = at;
    ScreenToClient(list, &client);
    LPARAM where = MAKELPARAM(client.x, client.y);
    PostMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, where);
    PostMessageW(list, WM_RBUTTONUP, 0, where);
}

HWND Keyloom::dialog(int id, DWORD milliseconds) const {
    DialogSearch s{process.dwProcessId, id, nullptr};
    waitFor(
        [&] {
            EnumWindows(findDialog, reinterpret_cast<LPARAM>(&s));
            return s.found != nullptr;
        },
        milliseconds);
    return s.found;
}

HWND Keyloom::messageBox(DWORD milliseconds) const {
    HWND box = nullptr;
    waitFor([&] { return (box = findIn(process.dwProcessId, false)) != nullptr; }, milliseconds);
    return box;
}

std::string Keyloom::messageText(HWND box) const { return windowText(GetDlgItem(box, 0xFFFF)); }

void Keyloom::answer(HWND box, int button) {
    PostMessageW(box, WM_COMMAND, button, 0);
    waitFor([&] { return !IsWindow(box); });
    // Served once Keyloom waits for messages again: what the answer started
    // is then done, or waits in a new box.
    DWORD_PTR ignored;
    if (window && running())
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
}

} // namespace e2e

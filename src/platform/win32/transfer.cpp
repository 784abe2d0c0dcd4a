// The clipboard, the windows below the main window, synthetic keys, the
// pauses between them and the shell.
#include "platform/win32/main_window.h"
#include "platform/platform.h"
#include "platform/win32/clipboard_owner.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <cstring>
#include <vector>

namespace {

// Marks read by the clipboard history, the cloud clipboard and clipboard
// monitors: a password must not outlive the clipboard in a synced history.
struct ClipboardMark {
    const char* name;
    DWORD value;
};
const ClipboardMark clipboardMarks[] = {
    {"ExcludeClipboardContentFromMonitorProcessing", 1},
    {"CanIncludeInClipboardHistory", 0},
    {"CanUploadToCloudClipboard", 0},
};

constexpr LCID japanese = 0x0411;

// Our own EmptyClipboard also tells us, the owner, that the clipboard was
// destroyed: only another program's emptying is news.
bool emptyingOurselves = false;

void emptyOurselves() {
    emptyingOurselves = true;
    EmptyClipboard();
    emptyingOurselves = false;
}

// A movable, zero-filled block holding bytes; null when it cannot be had.
HGLOBAL blockWith(const void* bytes, std::size_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!block)
        return nullptr;
    void* memory = GlobalLock(block);
    if (!memory) {
        GlobalFree(block);
        return nullptr;
    }
    std::memcpy(memory, bytes, size);
    GlobalUnlock(block);
    return block;
}

// A block the clipboard did not take: it may hold a password.
void wipeAndFree(HGLOBAL block) {
    if (void* memory = GlobalLock(block)) {
        SecureZeroMemory(memory, GlobalSize(block));
        GlobalUnlock(block);
    }
    GlobalFree(block);
}

// Hands bytes to the open clipboard as format; once taken, the block is the
// clipboard's.
bool putOnClipboard(UINT format, const void* bytes, std::size_t size) {
    HGLOBAL block = blockWith(bytes, size);
    if (!block)
        return false;
    if (SetClipboardData(format, block))
        return true;
    wipeAndFree(block);
    return false;
}

bool putUnicodeText(std::string_view text) {
    std::wstring wide = platform::sjisToWide(text);
    bool put = putOnClipboard(CF_UNICODETEXT, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    SecureZeroMemory(&wide[0], wide.size() * sizeof(wchar_t));
    return put;
}

bool putMarks() {
    for (const ClipboardMark& mark : clipboardMarks) {
        UINT format = RegisterClipboardFormatA(mark.name);
        if (!format || !putOnClipboard(format, &mark.value, sizeof mark.value))
            return false;
    }
    return true;
}

// Opens the clipboard, empties it and lets put() fill it; text that cannot
// carry its marks is not left there either.
template <class Put> platform::ClipboardWrite writeClipboard(Put put) {
    if (!OpenClipboard(mainWindow))
        return platform::ClipboardWrite::Busy;
    emptyOurselves();
    bool written = put() && putMarks();
    if (!written)
        emptyOurselves();
    CloseClipboard();
    return written ? platform::ClipboardWrite::Written : platform::ClipboardWrite::Refused;
}

// The mandatory integrity level of a process's token; 0 when unknown.
DWORD integrityOf(HANDLE process) {
    HANDLE token;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return 0;
    DWORD level = 0, size = 0;
    GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
    std::vector<BYTE> label(size);
    if (size && GetTokenInformation(token, TokenIntegrityLevel, label.data(), size, &size)) {
        PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(label.data())->Label.Sid;
        level = *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1);
    }
    CloseHandle(token);
    return level;
}

// Windows on another virtual desktop are cloaked. The desktop window
// manager's call is looked up, since not every system has it.
bool isCloaked(HWND window) {
    using GetAttribute = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);
    static const GetAttribute getAttribute = [] {
        HMODULE dwm = LoadLibraryW(L"dwmapi.dll");
        return dwm ? reinterpret_cast<GetAttribute>(
                         reinterpret_cast<void*>(GetProcAddress(dwm, "DwmGetWindowAttribute")))
                   : nullptr;
    }();
    constexpr DWORD cloakedAttribute = 14; // DWMWA_CLOAKED
    DWORD cloaked = 0;
    return getAttribute &&
           SUCCEEDED(getAttribute(window, cloakedAttribute, &cloaked, sizeof cloaked)) && cloaked;
}

} // namespace

bool answerClipboardOwnerMessage(UINT message, WPARAM format,
                                 const platform::MainWindowHandlers& handlers) {
    switch (message) {
    case WM_RENDERFORMAT:
        // The system makes every other text format from the Unicode one.
        if (format == CF_UNICODETEXT && handlers.clipboardTextRequested)
            handlers.clipboardTextRequested();
        return true;
    case WM_RENDERALLFORMATS:
        // The program ends with text still on offer: nothing is made of it,
        // and the clipboard is left empty rather than half-promised.
        if (OpenClipboard(mainWindow)) {
            if (GetClipboardOwner() == mainWindow)
                emptyOurselves();
            CloseClipboard();
        }
        return true;
    case WM_DESTROYCLIPBOARD:
        if (!emptyingOurselves && handlers.clipboardTaken)
            handlers.clipboardTaken();
        return true;
    }
    return false;
}

namespace platform {

bool emptyClipboard() {
    if (!OpenClipboard(mainWindow))
        return false;
    emptyOurselves();
    CloseClipboard();
    return true;
}

ClipboardWrite setClipboardText(std::string_view text) {
    return writeClipboard([text] {
        // The bytes as they are for programs that read ANSI text, with the
        // locale that says they are Japanese.
        std::string ansi(text);
        bool put = putUnicodeText(text) && putOnClipboard(CF_TEXT, ansi.c_str(), ansi.size() + 1) &&
                   putOnClipboard(CF_LOCALE, &japanese, sizeof japanese);
        SecureZeroMemory(&ansi[0], ansi.size());
        return put;
    });
}

ClipboardWrite offerClipboardText() {
    return writeClipboard([] {
        SetClipboardData(CF_UNICODETEXT, nullptr);
        return IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE;
    });
}

unsigned clipboardSequence() { return GetClipboardSequenceNumber(); }

bool emptyClipboardIfUnchanged(unsigned sequence) {
    if (!OpenClipboard(mainWindow))
        return false;
    // Looked at while it is open: nobody can change it in between.
    if (GetClipboardOwner() == mainWindow && GetClipboardSequenceNumber() == sequence)
        emptyOurselves();
    CloseClipboard();
    return true;
}

void renderClipboardText(std::string_view text) {
    // Inside WM_RENDERFORMAT the clipboard is already open for the reader.
    putUnicodeText(text);
}

WindowHandle clipboardOpener() { return GetOpenClipboardWindow(); }

unsigned processOf(WindowHandle window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

bool ownsWindowInside(unsigned process, WindowHandle window) {
    struct Search {
        unsigned process;
        bool found;
    } search{process, false};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM lParam) -> BOOL {
            Search& s = *reinterpret_cast<Search*>(lParam);
            s.found = processOf(child) == s.process;
            return !s.found;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

WindowHandle windowBelowMainWindow() { return windowBelow(mainWindow); }
WindowHandle windowBelow(WindowHandle window) { return GetWindow(window, GW_HWNDNEXT); }
bool isMainWindow(WindowHandle window) { return window == mainWindow; }
bool isWindowVisible(WindowHandle window) { return IsWindowVisible(window); }
bool isWindowEnabled(WindowHandle window) { return IsWindowEnabled(window); }
int windowStyle(WindowHandle window) { return static_cast<int>(GetWindowLongW(window, GWL_STYLE)); }

bool isAsideWindow(WindowHandle window) {
    LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
    RECT r{};
    GetWindowRect(window, &r);
    return (exStyle & (WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE)) || r.right <= r.left ||
           r.bottom <= r.top || isCloaked(window);
}

WindowHandle ownerOf(WindowHandle window) { return GetWindow(window, GW_OWNER); }
WindowHandle rootOwnerOf(WindowHandle window) { return GetAncestor(window, GA_ROOTOWNER); }
WindowHandle lastActivePopupOf(WindowHandle window) { return GetLastActivePopup(window); }

bool runsAboveUs(WindowHandle window) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processOf(window));
    if (!process)
        return false;
    DWORD theirs = integrityOf(process);
    CloseHandle(process);
    DWORD ours = integrityOf(GetCurrentProcess());
    return theirs && ours && theirs > ours;
}

bool bringToFront(WindowHandle window) { return window && SetForegroundWindow(window); }
bool isForeground(WindowHandle window) { return GetForegroundWindow() == window; }

bool hasKeyboardInput(WindowHandle window) {
    if (GetForegroundWindow() != window)
        return false;
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) &&
           info.hwndActive == window && info.hwndFocus;
}

bool sendKeys(const KeyEvent* events, int count) {
    // Remote desktop and virtual machine clients go by the scan code.
    std::vector<INPUT> inputs(count);
    for (int i = 0; i < count; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = static_cast<WORD>(events[i].vk);
        inputs[i].ki.wScan = static_cast<WORD>(MapVirtualKeyW(events[i].vk, MAPVK_VK_TO_VSC));
        inputs[i].ki.dwFlags = events[i].up ? KEYEVENTF_KEYUP : 0;
    }
    return SendInput(count, inputs.data(), sizeof(INPUT)) == static_cast<UINT>(count);
}

bool modifierKeysDown() {
    for (int key : {VK_SHIFT, VK_CONTROL, VK_MENU, VK_LWIN, VK_RWIN})
        if (GetAsyncKeyState(key) & 0x8000)
            return true;
    return false;
}

void dropQueuedKeys() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
}

unsigned tickCount() { return GetTickCount(); }

void pauseServingSentMessages(int ms) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (;;) {
        QueryPerformanceCounter(&now);
        LONGLONG elapsed = (now.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart;
        if (elapsed >= ms)
            return;
        // Wakes for a message sent by another thread, and serves only those:
        // the user's keys and clicks, and anything posted, stay queued.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(ms - elapsed),
                                  QS_SENDMESSAGE);
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void openWithShell(const std::wstring& text) {
    // The shell may hand the text to extensions that need COM on this thread.
    static const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)com;
    ShellExecuteW(mainWindow, nullptr, text.c_str(), nullptr, nullptr, SW_SHOWDEFAULT);
}

} // namespace platform

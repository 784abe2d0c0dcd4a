// The clipboard, the windows below the main window, synthetic keys, the
// pauses between them and the shell.
#include "app/main_window.h"
#include "platform/platform.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <cstring>

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

} // namespace

namespace platform {

ClipboardWrite setClipboardText(const char* text) {
    if (!OpenClipboard(mainWindow))
        return ClipboardWrite::Busy;
    EmptyClipboard();
    bool written = putOnClipboard(CF_TEXT, text, std::strlen(text) + 1);
    for (const ClipboardMark& mark : clipboardMarks) {
        UINT format = RegisterClipboardFormatA(mark.name);
        written = written && format && putOnClipboard(format, &mark.value, sizeof mark.value);
    }
    // Text that cannot carry its marks is not left there either.
    if (!written)
        EmptyClipboard();
    CloseClipboard();
    return written ? ClipboardWrite::Written : ClipboardWrite::Refused;
}

WindowHandle windowBelow(WindowHandle window) { return GetWindow(window, GW_HWNDNEXT); }
bool isWindowVisible(WindowHandle window) { return IsWindowVisible(window); }
bool isWindowEnabled(WindowHandle window) { return IsWindowEnabled(window); }
int windowStyle(WindowHandle window) { return static_cast<int>(GetWindowLongA(window, GWL_STYLE)); }
bool bringToFront(WindowHandle window) { return window && SetForegroundWindow(window); }

bool hasKeyboardInput(WindowHandle window) {
    if (GetForegroundWindow() != window)
        return false;
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) &&
           info.hwndActive == window && info.hwndFocus;
}

void sendKeyEvent(int vk, bool up) {
    keybd_event(static_cast<BYTE>(vk), 0, up ? KEYEVENTF_KEYUP : 0, 0);
}

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
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void openWithShell(const std::wstring& text) {
    // The shell may hand the text to extensions that need COM on this thread.
    static const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)com;
    ShellExecuteW(mainWindow, nullptr, text.c_str(), nullptr, nullptr, SW_SHOWDEFAULT);
}

} // namespace platform

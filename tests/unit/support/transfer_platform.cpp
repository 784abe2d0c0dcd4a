// The clipboard, the windows below the main window, key events, pauses and
// the shell of the test platform, all recorded in one ordered log.
#include "test_platform.h"

#include <cstdint>

namespace fake {

std::vector<std::string> transferLog;
std::optional<std::string> clipboard;
int clipboardBusyFor;
bool clipboardRefuses;
std::vector<TopWindow> windowsBelow;
std::string foreground;
std::function<void()> duringPause;
int pauses;
static int pausesAtFront;

namespace {

constexpr std::uintptr_t firstHandle = 0x5000;

// The index of a window below the main window; -1 for the main window.
int indexOf(WindowHandle window) {
    return window == fake::window
               ? -1
               : static_cast<int>(reinterpret_cast<std::uintptr_t>(window) - firstHandle);
}

const TopWindow& below(WindowHandle window) { return windowsBelow.at(indexOf(window)); }

std::string keyName(int vk) {
    switch (vk) {
    case 0x09: return "Tab";
    case 0x11: return "Ctrl";
    case 0x56: return "V";
    default: return std::to_string(vk);
    }
}

// Another program holding the clipboard open.
bool clipboardBusy() {
    if (clipboardBusyFor <= 0)
        return false;
    --clipboardBusyFor;
    transferLog.push_back("clipboard busy");
    return true;
}

} // namespace

WindowHandle handleOf(const std::string& name) {
    for (std::size_t i = 0; i < windowsBelow.size(); ++i)
        if (windowsBelow[i].name == name)
            return reinterpret_cast<WindowHandle>(firstHandle + i);
    return nullptr;
}

void resetTransfer() {
    transferLog.clear();
    clipboard.reset();
    clipboardBusyFor = 0;
    clipboardRefuses = false;
    windowsBelow.clear();
    foreground.clear();
    duringPause = nullptr;
    pauses = 0;
    pausesAtFront = 0;
}

} // namespace fake

namespace platform {

using fake::transferLog;

bool emptyClipboard() {
    if (fake::clipboardBusy())
        return false;
    ++fake::view.clipboardEmptied;
    fake::clipboard.reset();
    transferLog.push_back("clipboard emptied");
    return true;
}

ClipboardWrite setClipboardText(const char* text) {
    if (fake::clipboardBusy())
        return ClipboardWrite::Busy;
    if (fake::clipboardRefuses) {
        fake::clipboard.reset();
        transferLog.push_back("clipboard refused");
        return ClipboardWrite::Refused;
    }
    fake::clipboard = text;
    transferLog.push_back(std::string("clipboard ") + text);
    return ClipboardWrite::Written;
}

WindowHandle windowBelow(WindowHandle window) {
    std::size_t next = static_cast<std::size_t>(fake::indexOf(window) + 1);
    return next < fake::windowsBelow.size()
               ? reinterpret_cast<WindowHandle>(fake::firstHandle + next)
               : nullptr;
}

bool isWindowVisible(WindowHandle window) { return fake::below(window).visible; }
bool isWindowEnabled(WindowHandle window) { return fake::below(window).enabled; }
int windowStyle(WindowHandle window) {
    // WS_POPUP is the top bit; WS_VISIBLE and WS_CAPTION as an ordinary window has them.
    return static_cast<int>(fake::below(window).popup ? 0x80000000u | 0x10000000u : 0x10C00000u);
}

bool bringToFront(WindowHandle window) {
    if (!window || fake::below(window).refusesFront) {
        transferLog.push_back("front refused");
        return false;
    }
    fake::foreground = fake::below(window).name;
    fake::pausesAtFront = fake::pauses;
    transferLog.push_back("front " + fake::foreground);
    return true;
}

bool hasKeyboardInput(WindowHandle window) {
    const fake::TopWindow& w = fake::below(window);
    return fake::foreground == w.name && w.takesInputAfter >= 0 &&
           fake::pauses - fake::pausesAtFront >= w.takesInputAfter;
}

void sendKeyEvent(int vk, bool up) {
    transferLog.push_back(fake::keyName(vk) + (up ? " up" : " down"));
}

void pauseServingSentMessages(int ms) {
    transferLog.push_back("pause " + std::to_string(ms));
    ++fake::pauses;
    if (fake::duringPause)
        fake::duringPause();
}

void openWithShell(const std::wstring& text) { transferLog.push_back("shell " + wideToSjis(text)); }

} // namespace platform

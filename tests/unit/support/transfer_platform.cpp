// The clipboard, the windows below the main window, key batches, pauses and
// the shell of the test platform, all recorded in one ordered log. A target
// reads the clipboard some time after each Ctrl+V, as a program does.
#include "test_platform.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace fake {

std::vector<std::string> transferLog;
std::optional<std::string> clipboard;
int clipboardBusyFor;
bool clipboardRefuses;
std::vector<TopWindow> windowsBelow;
std::string foreground;
int modifiersHeldFor;
unsigned now;
std::function<void()> duringPause;
int pauses;

namespace {

// Windows below the main window from firstHandle on, the hidden windows of
// their content's processes from firstContent on. Each window below has a
// process of its own, and so has the content inside it.
constexpr std::uintptr_t firstHandle = 0x5000, firstContent = 0x6000;
constexpr unsigned firstProcess = 100, firstContentProcess = 200, strangersProcess = 999;
const WindowHandle stranger = reinterpret_cast<WindowHandle>(0x9000);

unsigned frontAt, modifiersUntil;
// The window that reads the clipboard right now, the time of the next
// read (after a Ctrl+V), and the reads so far.
WindowHandle reading;
int readAt = -1;
int reads;
bool offered; // text on offer, not made yet

// The clipboard's sequence number, and whether the main window owns the
// clipboard.
unsigned sequence;
bool ours;
// The main window's timers, by platform::Timer: whether each runs, and the
// tick count at which it runs out.
constexpr int timers = 2;
bool timerRuns[timers];
unsigned timerDue[timers];

// How far tick count a lies after b, across the wrap.
int after(unsigned a, unsigned b) { return static_cast<int>(a - b); }

// What Keyloom (ours) or another program did to the clipboard.
void changed(bool byUs) {
    ++sequence;
    ours = byUs;
}

// The index of a window below the main window; -1 for another.
int indexOf(WindowHandle window) {
    std::uintptr_t i = reinterpret_cast<std::uintptr_t>(window) - firstHandle;
    return i < windowsBelow.size() ? static_cast<int>(i) : -1;
}

TopWindow& below(WindowHandle window) { return windowsBelow.at(indexOf(window)); }

TopWindow* front() {
    for (TopWindow& w : windowsBelow)
        if (w.name == foreground)
            return &w;
    return nullptr;
}

// Another program holding the clipboard open.
bool clipboardBusy() {
    if (clipboardBusyFor <= 0)
        return false;
    --clipboardBusyFor;
    transferLog.push_back("clipboard busy");
    return true;
}

// A program opens the clipboard through window reader and asks for the text
// on offer; true when it got it.
bool ask(WindowHandle reader) {
    reading = reader;
    if (windowHandlers.clipboardTextRequested)
        windowHandlers.clipboardTextRequested();
    reading = nullptr;
    return !offered;
}

// The target in front reads what is on offer, as its Ctrl+V makes it do.
void readClipboard(TopWindow& target) {
    if (!offered)
        return; // nothing to ask for: the reader finds what is there
    if (target.clipboardTakenFirst) {
        takeClipboard();
        return;
    }
    if (target.strangerAsksFirst)
        strangerAsks(stranger);
    WindowHandle own = handleOf(target.name);
    switch (target.reader) {
    case Reader::Window: ask(own); break;
    case Reader::NoWindow: ask(nullptr); break;
    case Reader::ContentProcess:
        ask(reinterpret_cast<WindowHandle>(firstContent + indexOf(own)));
        break;
    }
    if (++reads == target.closesAfterReads)
        foreground.clear();
}

} // namespace

void strangerAsks(WindowHandle from) {
    if (offered && !ask(from))
        transferLog.push_back("refused stranger");
}

void takeClipboard() {
    changed(false);
    offered = false;
    clipboard = "taken";
    transferLog.push_back("clipboard taken");
    if (windowHandlers.clipboardTaken)
        windowHandlers.clipboardTaken();
}

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
    modifiersHeldFor = 0;
    now = 1000;
    duringPause = nullptr;
    pauses = 0;
    frontAt = modifiersUntil = 0;
    reading = nullptr;
    readAt = -1;
    reads = 0;
    offered = false;
    sequence = 1;
    ours = false;
    std::fill(std::begin(timerRuns), std::end(timerRuns), false);
}

void passTime(unsigned ms) {
    const unsigned until = now + ms;
    for (;;) {
        int next = -1;
        for (int t = 0; t < timers; ++t)
            if (timerRuns[t] && after(timerDue[t], until) <= 0 &&
                (next < 0 || after(timerDue[t], timerDue[next]) < 0))
                next = t;
        if (next < 0)
            break;
        if (after(timerDue[next], now) > 0)
            now = timerDue[next];
        timerRuns[next] = false;
        if (windowHandlers.timerElapsed)
            windowHandlers.timerElapsed(static_cast<platform::Timer>(next));
    }
    if (after(until, now) > 0)
        now = until;
}

} // namespace fake

namespace platform {

using fake::transferLog;

bool emptyClipboard() {
    if (fake::clipboardBusy())
        return false;
    ++fake::view.clipboardEmptied;
    fake::changed(true);
    fake::clipboard.reset();
    fake::offered = false;
    transferLog.push_back("clipboard emptied");
    return true;
}

ClipboardWrite setClipboardText(std::string_view text) {
    if (fake::clipboardBusy())
        return ClipboardWrite::Busy;
    fake::changed(true);
    fake::offered = false;
    if (fake::clipboardRefuses) {
        fake::clipboard.reset();
        transferLog.push_back("clipboard refused");
        return ClipboardWrite::Refused;
    }
    fake::clipboard = std::string(text);
    transferLog.push_back("clipboard " + std::string(text));
    return ClipboardWrite::Written;
}

ClipboardWrite offerClipboardText() {
    if (fake::clipboardBusy())
        return ClipboardWrite::Busy;
    fake::changed(true);
    fake::clipboard.reset();
    if (fake::clipboardRefuses) {
        transferLog.push_back("clipboard refused");
        return ClipboardWrite::Refused;
    }
    fake::offered = true;
    transferLog.push_back("offer");
    return ClipboardWrite::Written;
}

void renderClipboardText(std::string_view text) {
    fake::changed(true);
    fake::offered = false;
    fake::clipboard = std::string(text);
    transferLog.push_back("render " + std::string(text));
}

WindowHandle clipboardOpener() { return fake::reading; }

unsigned clipboardSequence() { return fake::sequence; }

bool emptyClipboardIfUnchanged(unsigned sequence) {
    if (fake::clipboardBusy())
        return false;
    if (fake::ours && fake::sequence == sequence) {
        fake::changed(true);
        fake::clipboard.reset();
        transferLog.push_back("clipboard forgotten");
    }
    return true;
}

void startTimer(Timer timer, int ms) {
    fake::timerRuns[static_cast<int>(timer)] = true;
    fake::timerDue[static_cast<int>(timer)] = fake::now + ms;
}
void stopTimer(Timer timer) { fake::timerRuns[static_cast<int>(timer)] = false; }

unsigned processOf(WindowHandle window) {
    auto handle = reinterpret_cast<std::uintptr_t>(window);
    if (int i = fake::indexOf(window); i >= 0)
        return fake::firstProcess + i;
    if (handle >= fake::firstContent && handle - fake::firstContent < fake::windowsBelow.size())
        return fake::firstContentProcess + static_cast<unsigned>(handle - fake::firstContent);
    return window ? fake::strangersProcess : 0;
}

bool ownsWindowInside(unsigned process, WindowHandle window) {
    int i = fake::indexOf(window);
    return i >= 0 && (process == fake::firstProcess + i ||
                      (fake::windowsBelow[i].reader == fake::Reader::ContentProcess &&
                       process == fake::firstContentProcess + i));
}

WindowHandle windowBelowMainWindow() {
    return fake::windowsBelow.empty() ? nullptr : reinterpret_cast<WindowHandle>(fake::firstHandle);
}

WindowHandle windowBelow(WindowHandle window) {
    std::size_t next = static_cast<std::size_t>(fake::indexOf(window) + 1);
    return next < fake::windowsBelow.size()
               ? reinterpret_cast<WindowHandle>(fake::firstHandle + next)
               : nullptr;
}

bool isMainWindow(WindowHandle window) { return window == fake::window; }

bool isWindowVisible(WindowHandle window) {
    return window == fake::window || fake::below(window).visible;
}
bool isWindowEnabled(WindowHandle window) {
    return window == fake::window || fake::below(window).enabled;
}
int windowStyle(WindowHandle window) {
    // WS_POPUP is the top bit; WS_VISIBLE and WS_CAPTION as an ordinary window has them.
    return static_cast<int>(fake::below(window).popup ? 0x80000000u | 0x10000000u : 0x10C00000u);
}
bool isAsideWindow(WindowHandle window) { return fake::below(window).aside; }
WindowHandle ownerOf(WindowHandle window) { return fake::handleOf(fake::below(window).owner); }

WindowHandle rootOwnerOf(WindowHandle window) {
    for (WindowHandle owner; (owner = ownerOf(window));)
        window = owner;
    return window;
}

WindowHandle lastActivePopupOf(WindowHandle window) {
    const std::string& name = fake::below(window).lastActivePopup;
    WindowHandle popup = name == "Keyloom" ? fake::window : fake::handleOf(name);
    return popup ? popup : window;
}

bool runsAboveUs(WindowHandle window) { return fake::below(window).elevated; }

bool bringToFront(WindowHandle window) {
    if (!window || fake::below(window).refusesFront) {
        transferLog.push_back("front refused");
        return false;
    }
    fake::foreground = fake::below(window).name;
    fake::frontAt = fake::now;
    transferLog.push_back("front " + fake::foreground);
    return true;
}

bool isForeground(WindowHandle window) {
    return fake::indexOf(window) >= 0 && fake::foreground == fake::below(window).name;
}

bool hasKeyboardInput(WindowHandle window) {
    const fake::TopWindow& w = fake::below(window);
    return isForeground(window) && w.takesInputAfter >= 0 &&
           fake::now - fake::frontAt >= static_cast<unsigned>(w.takesInputAfter);
}

bool sendKeys(const KeyEvent* events, int count) {
    bool paste = count == 4 && events[1].vk == key::v;
    transferLog.push_back(paste                                    ? "Ctrl+V"
                          : count == 2 && events[0].vk == key::tab ? "Tab"
                                                                   : "keys");
    if (fake::TopWindow* target = fake::front(); paste && target && target->readsAfter >= 0)
        fake::readAt = static_cast<int>(fake::now) + target->readsAfter;
    return true;
}

bool modifierKeysDown() {
    if (fake::modifiersHeldFor > 0) {
        fake::modifiersUntil = fake::now + fake::modifiersHeldFor;
        fake::modifiersHeldFor = 0;
    }
    return fake::now < fake::modifiersUntil;
}

void dropQueuedKeys() { transferLog.push_back("keys dropped"); }

unsigned tickCount() { return fake::now; }

void pauseServingSentMessages(int ms) {
    fake::now += ms;
    ++fake::pauses;
    if (fake::duringPause)
        fake::duringPause();
    if (fake::readAt >= 0 && fake::now >= static_cast<unsigned>(fake::readAt)) {
        fake::readAt = -1;
        if (fake::TopWindow* target = fake::front())
            fake::readClipboard(*target);
    }
}

void openWithShell(const std::wstring& text) { transferLog.push_back("shell " + wideToSjis(text)); }

} // namespace platform

#include "transfer/paste.h"

#include "base/life_cycle.h"
#include "editor/editor.h"
#include "resources/resource.h"
#include "store/entry_list.h"
#include "store/text.h"
#include "base/secure_string.h"
#include "transfer/clipboard.h"

#include <cstring>
#include <initializer_list>

namespace {

// How long, in milliseconds: the target to take the keyboard once in front;
// the user to let go of Shift, Ctrl, Alt and the Windows keys; the target to
// read a piece after its Ctrl+V. A piece is on offer a moment before its
// Ctrl+V (a clipboard manager that reads every new text must be done first),
// and stays a moment after the target's read, which some targets repeat.
constexpr int frontTimeout = 1000;
constexpr int releaseTimeout = 2000;
constexpr int readTimeout = 5000;
constexpr int settle = 20;
constexpr int hold = 50;
constexpr int poll = 10;

enum class Stop {
    None,
    NoTarget,        // no window below to type into: nothing is said
    Elevated,        // the target runs as administrator, Keyloom does not
    KeysHeld,        // the user held a modifier key throughout
    ClipboardFailed, // the piece could not be put on the clipboard
    ClipboardTaken,  // another program took the clipboard before the target read
    NotRead,         // the target did not read the piece in time
    LostFront,       // the target closed, or another window came in front
    Exit,            // the program began to end: nothing is said
};

// The piece on offer: the target alone gets it, and only after its Ctrl+V.
struct Offer {
    WindowHandle target = nullptr;
    SecureString text;
    bool pending = false;   // on the clipboard, not read yet
    bool ctrlVSent = false; // a read before it belongs to an earlier paste
    bool read = false;
    bool taken = false;
    bool rendered = false; // some piece of this paste was made for the target
};
Offer offer;
bool running = false;
bool stopAsked = false; // by the end of the session

// Marks a paste sequence for the command table; nests.
struct Sequence {
    bool outer = running;
    Sequence() {
        if (!outer)
            stopAsked = false;
        running = true;
    }
    ~Sequence() { running = outer; }
};

// The program begins to end, or the end of the session was asked about: the
// paste stops without a word. A lock waits for it instead.
bool mustStop() { return stopping() || stopAsked; }

// Serves what other programs send (the target's read among it) until done()
// or the time is up; false then, or once the program begins to end. done()
// may act (put a piece up): it is not called again once the exit has begun.
template <class Done> bool waitFor(Done done, int timeout) {
    unsigned start = platform::tickCount();
    for (;;) {
        if (mustStop())
            return false;
        if (done())
            return true;
        if (static_cast<int>(platform::tickCount() - start) >= timeout)
            return false;
        platform::pauseServingSentMessages(poll);
    }
}

// Serves what other programs send for ms milliseconds; false once the
// program begins to end.
bool pause(int ms) {
    waitFor([] { return false; }, ms);
    return !mustStop();
}

Stop sendKeys(std::initializer_list<platform::KeyEvent> keys) {
    // A Shift the user holds would make a Tab a Shift+Tab. The wait serves
    // other programs and the user may click meanwhile, so what decides
    // whether keys may go is looked at after it, right before they go: keys
    // meant for the target must not go to whatever came in front instead
    // (Keyloom itself, or another window of the same program), and a Ctrl+V
    // must not paste a text another program put on the clipboard.
    if (!waitFor([] { return !platform::modifierKeysDown(); }, releaseTimeout))
        return mustStop() ? Stop::Exit : Stop::KeysHeld;
    if (!platform::isForeground(offer.target))
        return Stop::LostFront;
    if (offer.taken)
        return Stop::ClipboardTaken;
    return platform::sendKeys(keys.begin(), static_cast<int>(keys.size())) ? Stop::None
                                                                           : Stop::LostFront;
}

Stop sendPasteKeys() {
    return sendKeys({{platform::key::control, false},
                     {platform::key::v, false},
                     {platform::key::v, true},
                     {platform::key::control, true}});
}

Stop sendTabKey() { return sendKeys({{platform::key::tab, false}, {platform::key::tab, true}}); }

// Brings the target to the front and waits until it has the keyboard.
Stop startTyping() {
    offer.target = findTargetWindow();
    if (!offer.target)
        return Stop::NoTarget;
    if (platform::runsAboveUs(offer.target))
        return Stop::Elevated;
    if (!platform::bringToFront(offer.target) ||
        !waitFor([] { return platform::hasKeyboardInput(offer.target); }, frontTimeout))
        return mustStop() ? Stop::Exit : Stop::LostFront;
    return Stop::None;
}

// One piece: put on offer, Ctrl+V, and moved on from only once the target
// itself has read it and let go of the clipboard.
Stop typePiece(const char* text) {
    offer.text = text;
    offer.read = offer.taken = offer.ctrlVSent = false;
    platform::ClipboardWrite offered = platform::ClipboardWrite::Busy;
    // Another program may hold the clipboard for a moment.
    waitFor(
        [&] {
            offered = platform::offerClipboardText();
            return offered != platform::ClipboardWrite::Busy;
        },
        100);
    if (offered != platform::ClipboardWrite::Written)
        return mustStop() ? Stop::Exit : Stop::ClipboardFailed;
    offer.pending = true;
    if (!pause(settle))
        return Stop::Exit;
    if (Stop stop = sendPasteKeys(); stop != Stop::None)
        return stop;
    offer.ctrlVSent = true;
    bool read = waitFor([] { return offer.read || offer.taken; }, readTimeout);
    if (mustStop())
        return Stop::Exit;
    if (offer.taken)
        return Stop::ClipboardTaken;
    if (!read)
        return Stop::NotRead;
    // A target that keeps the clipboard open longer makes the next piece's
    // offer fail, and the paste stop there.
    waitFor([] { return !platform::clipboardOpener(); }, releaseTimeout);
    return pause(hold) ? Stop::None : Stop::Exit;
}

// The user ID's pieces, a Tab between them: each hyphen (0x2D, never part of
// a double-byte character) ends one.
Stop typeUserId(const SecureString& userId) {
    // Cut in a copy: the record keeps its hyphens, and the records may be
    // gone once a wait has run the exit sequence.
    SecureString buffer = userId;
    Stop stop = Stop::None;
    for (char *piece = buffer.data(), *p = buffer.data(); stop == Stop::None; ++p) {
        if (*p == '-') {
            *p = '\0';
            stop = typePiece(piece);
            if (stop == Stop::None)
                stop = sendTabKey();
            piece = p + 1;
        } else if (!*p) {
            stop = typePiece(piece);
            break;
        }
    }
    return stop;
}

// clang-format off
const wchar_t* stopText(Stop stop) {
    switch (stop) {
    case Stop::Elevated:
        return L"貼り付け先のプログラムは管理者として実行されているため、Keyloom からは貼り付けられません。\n"
               L"両方を同じ方法（どちらも管理者として、またはどちらも通常どおり）で起動してから、"
               L"もう一度貼り付けてください。";
    case Stop::KeysHeld:
        return L"Shift、Ctrl、Alt または Windows キーが押されたままのため、貼り付けを中止しました。\n"
               L"キーから手を離してから、もう一度貼り付けてください。";
    case Stop::ClipboardFailed:
        return L"クリップボードを使えなかったため、貼り付けを中止しました。\n"
               L"少し待ってから、もう一度貼り付けてください。";
    case Stop::ClipboardTaken:
        return L"貼り付けの途中でほかのプログラムがクリップボードを使ったため、貼り付けを中止しました。\n"
               L"貼り付け先の内容を確かめて、もう一度貼り付けてください。";
    case Stop::NotRead:
        return L"5 秒たっても貼り付け先のウィンドウが文字を受け取らなかったため、貼り付けを中止しました。\n"
               L"貼り付け先の内容を確かめて、もう一度貼り付けてください。";
    case Stop::LostFront:
        return L"貼り付け先のウィンドウが閉じたか、ほかのウィンドウが前に出たため、貼り付けを中止しました。\n"
               L"貼り付け先の内容を確かめて、もう一度貼り付けてください。";
    default: return nullptr;
    }
}
// clang-format on

// After the sequence, stopped or not: a piece nobody read leaves the
// clipboard, the last one read is forgotten later like a copy, the keys that
// reached Keyloom meanwhile are not the user's typing, and the user hears why
// a paste stopped.
bool finish(Stop stop) {
    if (offer.pending)
        clearClipboard();
    else if (offer.rendered)
        // Its sequence number is taken only now that the target has read it
        // and let go: the system may count the making of the text as a
        // change.
        forgetClipboardLater();
    offer = Offer();
    platform::dropQueuedKeys();
    if (const wchar_t* text = stopText(stop); text && !mustStop())
        platform::messageBox(text, platform::mb::ok | platform::mb::iconWarning);
    return stop == Stop::None;
}

} // namespace

WindowHandle findTargetWindow() {
    for (WindowHandle w = platform::windowBelowMainWindow(); w; w = platform::windowBelow(w)) {
        if (!platform::isWindowVisible(w) || platform::isAsideWindow(w))
            continue;
        // An owned pop-up, or a window disabled under one (a modal login
        // dialog over its application): what the user sees there is the
        // pop-up of that application that was active last.
        bool popup = platform::windowStyle(w) < 0;
        if ((popup && platform::ownerOf(w)) || !platform::isWindowEnabled(w)) {
            WindowHandle root = platform::rootOwnerOf(w);
            WindowHandle active = platform::lastActivePopupOf(root);
            if (active && active != root && !platform::isMainWindow(active) &&
                platform::isWindowVisible(active) && platform::isWindowEnabled(active))
                return active;
            continue;
        }
        if (!popup)
            return w;
    }
    return nullptr;
}

// Whether a window asking for the text belongs to the target: a window of
// its program (which may read through a hidden window of its own), or of the
// program of a window inside it (a store app's frame belongs to one process,
// its content to another, which reads through a hidden window of its own).
static bool isTargets(WindowHandle requester) {
    unsigned process = platform::processOf(requester);
    return process && (process == platform::processOf(offer.target) ||
                       platform::ownsWindowInside(process, offer.target));
}

void clipboardTextRequested() {
    if (!offer.pending)
        return; // nothing on offer: an earlier piece, or none
    // Only the target's own read, after its Ctrl+V: a clipboard manager or
    // the system's clipboard bridge gets nothing, and the text stays on offer
    // for the target. A program that reads through OLE asks without a window:
    // such a request counts after the Ctrl+V while the target is in front,
    // and only the first, since the text is no longer on offer after it. A
    // clipboard manager reacts to the clipboard's change, which comes before
    // the Ctrl+V, and the marks on the text ask it not to read at all.
    if (!offer.ctrlVSent)
        return;
    WindowHandle requester = platform::clipboardOpener();
    if (requester ? !isTargets(requester) : !platform::isForeground(offer.target))
        return;
    platform::renderClipboardText(offer.text);
    offer.pending = false;
    offer.read = offer.rendered = true;
}

void clipboardTakenByOther() {
    if (offer.pending)
        offer.taken = true;
    offer.pending = false;
}

bool pasteUserId() {
    Sequence sequence;
    int sel = platform::selectedIndex();
    if (sel < 0 || sel >= entryList.count() || !storeFields(sel))
        return false;
    SecureString userId(entryList.records[sel].userId());
    Stop stop = startTyping();
    if (stop == Stop::None)
        stop = typeUserId(userId);
    return finish(stop);
}

void pasteUserIdAndPassword() {
    Sequence sequence;
    int sel = platform::selectedIndex();
    if (sel < 0 || sel >= entryList.count() || !storeFields(sel))
        return;
    // Copies: the records may be gone once a wait has run the exit sequence.
    SecureString userId(entryList.records[sel].userId());
    SecureString password(entryList.records[sel].password());
    Stop stop = startTyping();
    if (stop == Stop::None)
        stop = typeUserId(userId);
    // The password goes to whatever box the Tab leads to: no second search.
    if (stop == Stop::None)
        stop = sendTabKey();
    if (stop == Stop::None)
        stop = typePiece(password.c_str());
    finish(stop);
}

bool pasteIntoTarget(const char* text) {
    Sequence sequence;
    SecureString copy(text);
    Stop stop = startTyping();
    if (stop == Stop::None)
        stop = typePiece(copy.c_str());
    return finish(stop);
}

// Copies the field, then types it into the window below: with no window
// there, the copy stays on the clipboard.
static void copyThenPaste(int field) {
    Sequence sequence;
    if (copyField(field) < 0 || mustStop())
        return;
    const EntryRecord& record = entryList.records[platform::selectedIndex()];
    SecureString text(field == IDC_COPY_PASSWORD ? record.password() : record.mail());
    pasteIntoTarget(text.c_str());
}

void pastePasswordCommand() { copyThenPaste(IDC_COPY_PASSWORD); }
void pasteMailCommand() { copyThenPaste(IDC_COPY_MAIL); }

bool pasteRunning() { return running; }

void stopPaste() {
    if (running)
        stopAsked = true;
}

#include "transfer/paste.h"

#include "app/main_window.h"
#include "app/program.h"
#include "editor/editor.h"
#include "resources/resource.h"
#include "store/entry_list.h"
#include "store/wipe.h"
#include "transfer/clipboard.h"

#include <cstring>

namespace {

// The target handles the keys on its own thread; these pauses are all the
// pacing there is between one piece's Ctrl+V and the next piece's copy.
constexpr int keyPause = 50;
// How long the target may take to come to the front: 1 s in all.
constexpr int frontPause = 10;
constexpr int frontPauses = 100;

bool running = false;

// Marks a paste sequence for the command table; nests.
struct Sequence {
    bool outer = running;
    Sequence() { running = true; }
    ~Sequence() { running = outer; }
};

struct KeyEvent {
    int vk;
    bool up;
};

bool sendKeys(const KeyEvent* events, int count) {
    for (int i = 0; i < count; ++i) {
        platform::sendKeyEvent(events[i].vk, events[i].up);
        // Serving what other programs send: the target's paste may wait on
        // us (focus, clipboard), and a plain sleep would leave it reading
        // the clipboard only after every piece had gone by.
        platform::pauseServingSentMessages(keyPause);
        if (exitStarted) {
            // Never leave Ctrl or V held down for the user.
            for (int j = i + 1; j < count; ++j) {
                bool pressed = false;
                for (int k = 0; k <= i; ++k)
                    pressed = events[k].vk == events[j].vk ? !events[k].up : pressed;
                if (events[j].up && pressed)
                    platform::sendKeyEvent(events[j].vk, true);
            }
            return false;
        }
    }
    return true;
}

// Keys sent before the target's thread has taken the keyboard land in the
// wrong window, and the target's window system may still reset the modifier
// keys as it settles in front: either way Ctrl is lost and the first piece
// arrives as "v". So the keys wait until the target has the keyboard, and
// then one pause more. A target that never takes the keyboard counts as one
// that refused.
bool bringTargetToFront() {
    WindowHandle target = findTargetWindow();
    if (!target || !platform::bringToFront(target))
        return false;
    for (int pauses = 0; !platform::hasKeyboardInput(target); ++pauses) {
        if (pauses == frontPauses)
            return false;
        platform::pauseServingSentMessages(frontPause);
        if (exitStarted)
            return false;
    }
    platform::pauseServingSentMessages(keyPause);
    return !exitStarted;
}

// One piece of text on the clipboard and into the target.
bool typeText(const char* text) {
    copyTextToClipboard(text);
    return !exitStarted && sendPasteKeys();
}

} // namespace

WindowHandle findTargetWindow() {
    for (WindowHandle w = platform::windowBelow(mainWindow); w; w = platform::windowBelow(w))
        if (platform::isWindowVisible(w) && platform::isWindowEnabled(w) &&
            platform::windowStyle(w) >= 0)
            return w;
    return nullptr;
}

bool sendPasteKeys() {
    static const KeyEvent keys[] = {{platform::key::control, false},
                                    {platform::key::v, false},
                                    {platform::key::v, true},
                                    {platform::key::control, true}};
    return sendKeys(keys, 4);
}

bool sendTabKey() {
    static const KeyEvent keys[] = {{platform::key::tab, false}, {platform::key::tab, true}};
    return sendKeys(keys, 2);
}

void pasteIntoTarget() {
    Sequence sequence;
    if (bringTargetToFront())
        sendPasteKeys();
}

bool pasteUserId() {
    Sequence sequence;
    int sel = platform::selectedIndex();
    if (sel < 0 || sel >= entryList.count())
        return false;
    if (!storeFields(sel))
        return false;
    // Cut into pieces in a copy: the record keeps its hyphens, and the
    // records may be gone once a pause has run the exit sequence.
    char buffer[sizeof(EntryRecord::userId)];
    std::memcpy(buffer, entryList.records[sel].userId, sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';

    bool done = bringTargetToFront();
    // Only the byte 0x2D splits: it is never part of a double-byte character.
    for (char *piece = buffer, *p = buffer; done; ++p) {
        if (*p == '-') {
            *p = '\0';
            done = typeText(piece) && sendTabKey();
            piece = p + 1;
        } else if (!*p) {
            done = typeText(piece);
            break;
        }
    }
    secureWipe(buffer, sizeof buffer);
    return done;
}

void pasteUserIdAndPassword() {
    Sequence sequence;
    if (!pasteUserId() || !sendTabKey())
        return;
    // The keys go to whatever has the focus now: no second search.
    copyField(IDC_COPY_PASSWORD);
    if (!exitStarted)
        sendPasteKeys();
}

void pastePasswordCommand() {
    Sequence sequence;
    copyField(IDC_COPY_PASSWORD);
    if (!exitStarted)
        pasteIntoTarget();
}

void pasteMailCommand() {
    Sequence sequence;
    copyField(IDC_COPY_MAIL);
    if (!exitStarted)
        pasteIntoTarget();
}

bool pasteRunning() { return running; }

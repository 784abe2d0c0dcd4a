#include "transfer/clipboard.h"

#include "base/life_cycle.h"
#include "base/secure_string.h"
#include "editor/editor.h"
#include "platform/platform.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "store/entry_list.h"

#include <cstring>

namespace {

// A clipboard manager or another program may hold the clipboard for a
// moment. Waiting serves what other programs send us, so that a holder that
// waits on us in turn can finish.
constexpr int retryPause = 10;  // ms
constexpr int retryPauses = 10; // 100 ms in all
// Forgetting waits for a clipboard that another program holds open.
constexpr int forgetRetry = 500; // ms

// The clipboard's sequence number right after Keyloom's last text got there.
unsigned leftSequence = 0;

// One attempt, tried again a moment later while another program holds the
// clipboard open; false when it kept it.
template <class Attempt> bool whileBusy(Attempt attempt) {
    for (int pauses = 0;; ++pauses) {
        if (attempt())
            return true;
        if (pauses == retryPauses)
            return false;
        platform::pauseServingSentMessages(retryPause);
    }
}

} // namespace

int copyTextToClipboard(const char* text) {
    for (int pauses = 0;; ++pauses) {
        switch (platform::setClipboardText(text)) {
        case platform::ClipboardWrite::Written: forgetClipboardLater(); return 1;
        case platform::ClipboardWrite::Refused: return 0;
        case platform::ClipboardWrite::Busy: break;
        }
        if (pauses == retryPauses)
            return 0;
        platform::pauseServingSentMessages(retryPause);
        // The exit sequence may have run meanwhile and emptied the clipboard,
        // or be about to: nothing may go on it then.
        if (stopping())
            return 0;
    }
}

int copyField(int field) {
    int sel = platform::selectedIndex();
    if (sel < 0 || sel >= entryList.count())
        return -1;
    if (!storeFields(sel))
        return 0;
    const EntryRecord& record = entryList.records[sel];

    // A copy of our own: the clipboard may make us wait, and whatever runs
    // meanwhile (the end of the session) may release the records.
    SecureString text;
    if (field == IDC_COPY_USER_ID) {
        // Groups typed with hyphens go to the other program as one run.
        for (char c : record.userId())
            if (c != '-')
                text += c;
    } else {
        text = field == IDC_COPY_PASSWORD ? record.password() : record.mail();
    }
    return copyTextToClipboard(text.c_str());
}

bool clearClipboard() { return whileBusy(platform::emptyClipboard); }

bool forgetOwnText() {
    return whileBusy([] { return platform::emptyClipboardIfUnchanged(leftSequence); });
}

void forgetClipboardLater() {
    leftSequence = platform::clipboardSequence();
    if (settings.clipboardSeconds <= 0)
        return;
    platform::startTimer(platform::Timer::Forget, settings.clipboardSeconds * 1000);
}

void clipboardOptionsSet() {
    if (settings.clipboardSeconds <= 0)
        platform::stopTimer(platform::Timer::Forget);
}

void clipboardTimerElapsed() {
    // Locked or ended, the clipboard has been seen to already.
    if (life() != Life::Released && life() != Life::Locked &&
        !platform::emptyClipboardIfUnchanged(leftSequence))
        platform::startTimer(platform::Timer::Forget, forgetRetry);
}

#include "editor/options_dialog.h"

#include "editor/dialog_placement.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "store/data_file.h"

#include <algorithm>

namespace {

// What a number field's text reads as: spaces, digits, spaces. -1 when it
// holds no number; a number above highest reads as one more than it,
// whatever its size, so that no pasted number wraps round.
int readNumber(const std::string& text, int highest) {
    std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos)
        return -1;
    std::size_t end = text.find_last_not_of(' ') + 1;
    int value = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = std::min(value * 10 + (text[i] - '0'), highest + 1);
    }
    return value;
}

} // namespace

int numberFieldValue(const std::string& text, int lowest, int highest) {
    return std::clamp(readNumber(text, highest), lowest, highest);
}

bool isNumberFieldInRange(const std::string& text, int lowest, int highest) {
    int value = readNumber(text, highest);
    return value >= lowest && value <= highest;
}

namespace {

int lengthValue(const std::string& text) {
    return numberFieldValue(text, shortestPasswordSetting, longestPasswordSetting);
}

int secondsValue(const std::string& text) {
    return numberFieldValue(text, shortestClipboardSeconds, longestClipboardSeconds);
}

int minutesValue(const std::string& text) {
    return numberFieldValue(text, shortestLockMinutes, longestLockMinutes);
}

// The seconds count only while the box is checked.
void enableSeconds(WindowHandle dialog, bool enable) {
    platform::enableDialogItem(dialog, IDC_FORGET_SECONDS, enable);
    platform::enableDialogItem(dialog, IDC_FORGET_ARROWS, enable);
}

// The lock group is there while a master password is set (without one,
// nothing locks), and the minutes count only while their box is checked.
void enableLockGroup(WindowHandle dialog) {
    const bool on = heldKey.set;
    for (int id : {IDC_LOCK_GROUP, IDC_LOCK_ON_SESSION, IDC_LOCK_IDLE, IDC_LOCK_IDLE_TEXT})
        platform::enableDialogItem(dialog, id, on);
    const bool minutes = on && platform::isDialogItemChecked(dialog, IDC_LOCK_IDLE);
    platform::enableDialogItem(dialog, IDC_LOCK_MINUTES, minutes);
    platform::enableDialogItem(dialog, IDC_LOCK_ARROWS, minutes);
}

// A number field that keeps lowest to highest: too large a number is
// corrected at once, too small one once the user leaves the field (typing
// 30 begins with a 3). False for another notification.
bool correctNumberField(WindowHandle dialog, int id, int notification, int lowest, int highest) {
    std::string text = platform::dialogItemText(dialog, id);
    bool correct;
    if (notification == platform::notify::editChange)
        correct = readNumber(text, highest) > highest;
    else if (notification == platform::notify::editLostFocus)
        correct = !isNumberFieldInRange(text, lowest, highest);
    else
        return false;
    if (correct)
        platform::setDialogItemText(dialog, id,
                                    std::to_string(numberFieldValue(text, lowest, highest)));
    return true;
}

void setUp(WindowHandle dialog, void*) {
    placeOverMainWindow(dialog);
    platform::setArrowRange(dialog, IDC_LENGTH_ARROWS, shortestPasswordSetting,
                            longestPasswordSetting);
    // Writing the length raises the field's change notification, which
    // corrects a stored length out of range before the dialog shows.
    platform::setDialogItemText(dialog, IDC_LENGTH,
                                std::to_string(settings.passwordLength).c_str());
    platform::checkDialogItem(dialog, IDC_USE_DIGITS, settings.useDigits != 0);
    platform::checkDialogItem(dialog, IDC_USE_LOWERCASE, settings.useLowercase != 0);
    platform::checkDialogItem(dialog, IDC_USE_UPPERCASE, settings.useUppercase != 0);

    bool forget = settings.clipboardSeconds > 0;
    platform::setArrowRange(dialog, IDC_FORGET_ARROWS, shortestClipboardSeconds,
                            longestClipboardSeconds);
    platform::setDialogItemText(
        dialog, IDC_FORGET_SECONDS,
        std::to_string(forget ? settings.clipboardSeconds : suggestedClipboardSeconds));
    platform::checkDialogItem(dialog, IDC_FORGET, forget);
    enableSeconds(dialog, forget);

    platform::checkDialogItem(dialog, IDC_LOCK_ON_SESSION, settings.lockOnSessionLock != 0);
    const bool idle = settings.lockIdleMinutes > 0;
    platform::setArrowRange(dialog, IDC_LOCK_ARROWS, shortestLockMinutes, longestLockMinutes);
    platform::setDialogItemText(
        dialog, IDC_LOCK_MINUTES,
        std::to_string(idle ? settings.lockIdleMinutes : suggestedLockMinutes));
    platform::checkDialogItem(dialog, IDC_LOCK_IDLE, idle);
    enableLockGroup(dialog);
}

bool command(WindowHandle dialog, int id, int notification, void*) {
    switch (id) {
    case IDC_LENGTH: {
        if (notification != platform::notify::editChange)
            return false;
        std::string text = platform::dialogItemText(dialog, IDC_LENGTH);
        // The corrected text raises the notification once more, and then
        // reads as in range.
        if (!isNumberFieldInRange(text, shortestPasswordSetting, longestPasswordSetting))
            platform::setDialogItemText(dialog, IDC_LENGTH, std::to_string(lengthValue(text)));
        return true;
    }
    case IDC_FORGET_SECONDS:
        return correctNumberField(dialog, id, notification, shortestClipboardSeconds,
                                  longestClipboardSeconds);
    case IDC_LOCK_MINUTES:
        return correctNumberField(dialog, id, notification, shortestLockMinutes,
                                  longestLockMinutes);
    case IDC_FORGET:
        if (notification != platform::notify::buttonClicked)
            return false;
        enableSeconds(dialog, platform::isDialogItemChecked(dialog, IDC_FORGET));
        return true;
    case IDC_LOCK_IDLE:
        if (notification != platform::notify::buttonClicked)
            return false;
        enableLockGroup(dialog);
        return true;
    case platform::notify::ok:
        settings.passwordLength = lengthValue(platform::dialogItemText(dialog, IDC_LENGTH));
        settings.useDigits = platform::isDialogItemChecked(dialog, IDC_USE_DIGITS) ? 1 : 0;
        settings.useLowercase = platform::isDialogItemChecked(dialog, IDC_USE_LOWERCASE) ? 1 : 0;
        settings.useUppercase = platform::isDialogItemChecked(dialog, IDC_USE_UPPERCASE) ? 1 : 0;
        settings.clipboardSeconds =
            platform::isDialogItemChecked(dialog, IDC_FORGET)
                ? secondsValue(platform::dialogItemText(dialog, IDC_FORGET_SECONDS))
                : 0;
        settings.lockOnSessionLock =
            platform::isDialogItemChecked(dialog, IDC_LOCK_ON_SESSION) ? 1 : 0;
        settings.lockIdleMinutes =
            platform::isDialogItemChecked(dialog, IDC_LOCK_IDLE)
                ? minutesValue(platform::dialogItemText(dialog, IDC_LOCK_MINUTES))
                : 0;
        platform::endDialog(dialog, 1);
        return true;
    case platform::notify::cancel: platform::endDialog(dialog, 0); return true;
    }
    return false;
}

} // namespace

void runOptionsDialog() { platform::runDialog(platform::Dialog::Options, {setUp, command}); }

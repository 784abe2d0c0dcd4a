#include "editor/options_dialog.h"

#include "editor/dialog_placement.h"
#include "resources/resource.h"
#include "settings/settings.h"

#include <algorithm>

namespace {

// What the length field's text reads as: spaces, digits, spaces. -1 when it
// holds no number; a number above the longest setting reads as one more than
// it, whatever its size, so that no pasted number wraps round.
int readLength(const std::string& text) {
    std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos)
        return -1;
    std::size_t end = text.find_last_not_of(' ') + 1;
    int value = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = std::min(value * 10 + (text[i] - '0'), longestPasswordSetting + 1);
    }
    return value;
}

} // namespace

int lengthFieldValue(const std::string& text) {
    return std::clamp(readLength(text), shortestPasswordSetting, longestPasswordSetting);
}

bool isLengthFieldInRange(const std::string& text) {
    int length = readLength(text);
    return length >= shortestPasswordSetting && length <= longestPasswordSetting;
}

namespace {

void setUp(WindowHandle dialog) {
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
}

bool command(WindowHandle dialog, int id, int notification) {
    switch (id) {
    case IDC_LENGTH: {
        if (notification != platform::notify::editChange)
            return false;
        std::string text = platform::dialogItemText(dialog, IDC_LENGTH);
        // The corrected text raises the notification once more, and then
        // reads as in range.
        if (!isLengthFieldInRange(text))
            platform::setDialogItemText(dialog, IDC_LENGTH,
                                        std::to_string(lengthFieldValue(text)).c_str());
        return true;
    }
    case platform::notify::ok:
        settings.passwordLength = lengthFieldValue(platform::dialogItemText(dialog, IDC_LENGTH));
        settings.useDigits = platform::isDialogItemChecked(dialog, IDC_USE_DIGITS) ? 1 : 0;
        settings.useLowercase = platform::isDialogItemChecked(dialog, IDC_USE_LOWERCASE) ? 1 : 0;
        settings.useUppercase = platform::isDialogItemChecked(dialog, IDC_USE_UPPERCASE) ? 1 : 0;
        platform::endDialog(dialog, 1);
        return true;
    case platform::notify::cancel: platform::endDialog(dialog, 0); return true;
    }
    return false;
}

} // namespace

void runOptionsDialog() { platform::runDialog(platform::Dialog::Options, {setUp, command}); }

// The fake's random source and secondary dialogs: a dialog runs its
// initialisation, then the test's doings in it, as the modal loop would.
#include "test_platform.h"

#include "resources/resource.h"

#include <cstdint>

namespace fake {

std::deque<unsigned char> randomScript;
bool randomFails;
bool decryptionFails;
DialogView dialog;
const WindowHandle dialogWindow = reinterpret_cast<WindowHandle>(0x4000);
platform::Rect dialogRect;
platform::Point clientOrigin;
std::function<void()> whileDialogOpen;
std::vector<platform::Dialog> dialogsRun;
std::deque<std::optional<std::wstring>> typedPasswords;
std::deque<std::optional<std::wstring>> chosenFiles;
std::function<void()> whileFileDialogOpen;
std::vector<std::wstring> fileDialogsRun;
int derivations;
int derivedWithoutWaitCursor;
bool waitCursor;
static platform::DialogHandlers dialogHandlers;

// splitmix64: a well-mixed stream, and the same one in every run, so that a
// statistical test over it cannot fail now and then.
static std::uint64_t streamState, word;
static int wordBytesLeft;

static unsigned char nextStreamByte() {
    if (wordBytesLeft == 0) {
        std::uint64_t z = (streamState += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        word = z ^ (z >> 31);
        wordBytesLeft = 8;
    }
    --wordBytesLeft;
    unsigned char b = static_cast<unsigned char>(word);
    word >>= 8;
    return b;
}

bool dialogCommand(int id, int notification) {
    return dialogHandlers.command &&
           dialogHandlers.command(dialogWindow, id, notification, dialogHandlers.context);
}

void resetDialogs() {
    randomScript.clear();
    randomFails = false;
    decryptionFails = false;
    streamState = 20240601;
    wordBytesLeft = 0;
    dialog = DialogView();
    dialogHandlers = {};
    dialogRect = {0, 0, 300, 190};
    clientOrigin = {110, 150};
    whileDialogOpen = nullptr;
    dialogsRun.clear();
    typedPasswords.clear();
    chosenFiles.clear();
    whileFileDialogOpen = nullptr;
    fileDialogsRun.clear();
    derivations = derivedWithoutWaitCursor = 0;
    waitCursor = false;
}

// The user in a password dialog: each password typed, then OK, while the
// dialog stays open.
static void typePasswords() {
    while (dialog.open && dialog.endedWith == -1 && !questionsOpen.back().cancelled) {
        std::optional<std::wstring> typed;
        if (!typedPasswords.empty()) {
            typed = typedPasswords.front();
            typedPasswords.pop_front();
        }
        if (!typed) {
            dialogCommand(platform::notify::cancel);
            return;
        }
        dialog.passwords[IDC_MASTER_PASSWORD] = *typed;
        dialogCommand(platform::notify::ok);
    }
}

// A common file dialog: open while the test's doings in it run, then the
// path scripted, unless the program closed it meanwhile.
static std::optional<std::wstring> chooseFile(std::wstring kind) {
    fileDialogsRun.push_back(std::move(kind));
    questionOpened(true);
    if (auto user = std::move(whileFileDialogOpen)) {
        whileFileDialogOpen = nullptr;
        user();
    }
    std::optional<std::wstring> chosen;
    if (!chosenFiles.empty()) {
        chosen = chosenFiles.front();
        chosenFiles.pop_front();
    }
    return questionClosed() ? std::nullopt : chosen;
}

} // namespace fake

namespace platform {

std::optional<std::wstring> chooseFileToOpen() { return fake::chooseFile(L"open"); }
std::optional<std::wstring> chooseFileToSave(const std::wstring& name) {
    return fake::chooseFile(L"save " + name);
}

void setDefaultButton(WindowHandle, int id) {
    fake::dialog.defaultButton = id;
    fake::dialog.focus = id;
}

using fake::dialog;

bool randomBytes(void* buffer, std::size_t size) {
    if (fake::randomFails)
        return false;
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    for (std::size_t i = 0; i < size; ++i) {
        if (!fake::randomScript.empty()) {
            bytes[i] = fake::randomScript.front();
            fake::randomScript.pop_front();
        } else {
            bytes[i] = fake::nextStreamByte();
        }
    }
    return true;
}

int runDialog(Dialog which, const DialogHandlers& handlers) {
    fake::dialogsRun.push_back(which);
    fake::questionOpened(true);
    dialog = fake::DialogView();
    dialog.open = true;
    fake::dialogHandlers = handlers;
    if (handlers.setUp)
        handlers.setUp(fake::dialogWindow, handlers.context);
    if (auto user = std::move(fake::whileDialogOpen)) {
        fake::whileDialogOpen = nullptr;
        user();
    } else if (which == Dialog::Password) {
        fake::typePasswords();
    }
    // Closed by the program meanwhile: as if キャンセル was chosen.
    if (fake::questionsOpen.back().cancelled && dialog.endedWith == -1)
        fake::dialogCommand(notify::cancel);
    fake::questionClosed();
    const int result = dialog.endedWith;
    dialog.open = false;
    fake::dialogHandlers = {};
    return result;
}

void cancelOpenQuestions() {
    for (fake::OpenQuestion& open : fake::questionsOpen)
        open.cancelled = true;
}

void cancelOpenDialogs() {
    for (fake::OpenQuestion& open : fake::questionsOpen)
        open.cancelled = open.cancelled || open.dialog;
}

void endDialog(WindowHandle window, int result) {
    if (window == fake::dialogWindow)
        dialog.endedWith = result;
}

void setCaption(WindowHandle window, const std::wstring& caption) {
    if (window == fake::dialogWindow)
        dialog.caption = caption;
}

Point mainWindowClientToScreen(Point point) {
    return {point.x + fake::clientOrigin.x, point.y + fake::clientOrigin.y};
}

void moveMainWindow(int left, int top) {
    fake::view.moved = true;
    fake::view.movedTo = {left, top};
}

void moveWindow(WindowHandle window, int left, int top) {
    if (window == fake::dialogWindow) {
        dialog.moved = true;
        dialog.movedTo = {left, top};
    }
}

std::string dialogItemText(WindowHandle, int id, std::wstring* lost) {
    if (lost)
        *lost = dialog.lost[id];
    return dialog.texts[id];
}

void setDialogItemText(WindowHandle, int id, std::string_view text) {
    dialog.texts[id] = std::string(text);
    fake::dialogCommand(id, notify::editChange); // before the call returns
}

bool isDialogItemChecked(WindowHandle, int id) { return dialog.checked[id]; }
void checkDialogItem(WindowHandle, int id, bool checked) { dialog.checked[id] = checked; }
void enableDialogItem(WindowHandle, int id, bool enable) { dialog.disabled[id] = !enable; }

void setArrowRange(WindowHandle, int id, int lowest, int highest) {
    dialog.arrowRanges[id] = {lowest, highest};
}

void showDialogItem(WindowHandle, int id, bool show) { dialog.hidden[id] = !show; }

void focusDialogItem(WindowHandle, int id) { dialog.focus = id; }

void setDialogItemLabel(WindowHandle, int id, const std::wstring& text) {
    dialog.labels[id] = text;
}

SecureWideString takeDialogPassword(WindowHandle, int id) {
    std::wstring& field = dialog.passwords[id];
    SecureWideString typed(field.size());
    field.copy(typed.data(), field.size());
    typed.setLength(field.size());
    field.clear();
    return typed;
}

void showWaitCursor(bool waiting) { fake::waitCursor = waiting; }

} // namespace platform

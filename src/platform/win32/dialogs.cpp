// The secondary dialogs: one dialog procedure that hands what happens to the
// program's handlers, and the operations the dialogs ask of their controls.
#include "platform/win32/main_window.h"

#include "platform/platform.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <vector>

namespace {

// Keyloom's dialogs that are open, the last opened last.
std::vector<HWND> openDialogs;

void trackOpenDialogs(HWND dialog, UINT message) {
    if (message == WM_INITDIALOG)
        dialogOpened(dialog);
    else if (message == WM_DESTROY)
        dialogClosed(dialog);
}

// The handlers come with WM_INITDIALOG and stay with the dialog.
INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    trackOpenDialogs(dialog, message);
    if (message == WM_INITDIALOG)
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    auto handlers =
        reinterpret_cast<const platform::DialogHandlers*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!handlers)
        return FALSE; // the messages before WM_INITDIALOG
    switch (message) {
    case WM_INITDIALOG: {
        // TRUE has the dialog manager focus the first control; a set-up
        // that gave another the focus keeps it.
        HWND focus = GetFocus();
        if (handlers->setUp)
            handlers->setUp(dialog, handlers->context);
        return GetFocus() == focus;
    }
    case WM_COMMAND:
        return handlers->command &&
               handlers->command(dialog, LOWORD(wParam), HIWORD(wParam), handlers->context);
    }
    return FALSE;
}

// Keyloom's message boxes and dialogs, the common ones included: the windows
// of the dialog class that this thread owns, but the main window.
BOOL CALLBACK collectOpenDialog(HWND window, LPARAM found) {
    wchar_t name[8];
    if (window != mainWindow && GetClassNameW(window, name, 8) && !lstrcmpW(name, L"#32770"))
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

} // namespace

HWND topmostWindow() { return openDialogs.empty() ? mainWindow : openDialogs.back(); }

void dialogOpened(HWND dialog) {
    if (std::find(openDialogs.begin(), openDialogs.end(), dialog) == openDialogs.end())
        openDialogs.push_back(dialog);
}

void dialogClosed(HWND dialog) {
    openDialogs.erase(std::remove(openDialogs.begin(), openDialogs.end(), dialog),
                      openDialogs.end());
}

namespace platform {

int runDialog(Dialog dialog, const DialogHandlers& handlers) {
    const wchar_t* name = L"KEYLOOMABOUT";
    switch (dialog) {
    case Dialog::Options: name = L"KEYLOOMOPTION"; break;
    case Dialog::About: break;
    case Dialog::Find: name = L"KEYLOOMFIND"; break;
    case Dialog::MasterPassword: name = L"KEYLOOMMASTER"; break;
    case Dialog::Password: name = L"KEYLOOMPASSWORD"; break;
    case Dialog::Import: name = L"KEYLOOMIMPORT"; break;
    }
    return static_cast<int>(DialogBoxParamW(GetModuleHandleW(nullptr), name, topmostWindow(),
                                            dialogProc, reinterpret_cast<LPARAM>(&handlers)));
}

void endDialog(WindowHandle dialog, int result) { EndDialog(dialog, result); }

void cancelOpenDialogs() {
    // The last opened first: each one's handler runs as for キャンセル.
    const std::vector<HWND> open = openDialogs;
    for (auto it = open.rbegin(); it != open.rend(); ++it)
        SendMessageW(*it, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void cancelOpenQuestions() {
    std::vector<HWND> open;
    EnumThreadWindows(GetCurrentThreadId(), collectOpenDialog, reinterpret_cast<LPARAM>(&open));
    for (HWND window : open) {
        // A message box takes no command it has no button for: キャンセル,
        // else いいえ, else OK. Keyloom's own dialogs handle キャンセル
        // (Esc sends it) whatever buttons they show.
        const bool ours =
            std::find(openDialogs.begin(), openDialogs.end(), window) != openDialogs.end();
        int id = ours || GetDlgItem(window, IDCANCEL) ? IDCANCEL
                 : GetDlgItem(window, IDNO)           ? IDNO
                                                      : IDOK;
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
    }
}

void setCaption(WindowHandle window, const std::wstring& caption) {
    SetWindowTextW(window, caption.c_str());
}

void moveWindow(WindowHandle window, int left, int top) {
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

std::string dialogItemText(WindowHandle dialog, int id, std::wstring* lost) {
    HWND item = GetDlgItem(dialog, id);
    std::wstring text(GetWindowTextLengthW(item) + 1, L'\0');
    text.resize(GetWindowTextW(item, &text[0], static_cast<int>(text.size())));
    return wideToSjis(text, lost);
}

void setDialogItemText(WindowHandle dialog, int id, std::string_view text) {
    std::wstring wide = sjisToWide(text);
    SetDlgItemTextW(dialog, id, wide.c_str());
    // The caret goes where the user goes on typing: after the text.
    SendDlgItemMessageW(dialog, id, EM_SETSEL, wide.size(), wide.size());
}

bool isDialogItemChecked(WindowHandle dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void checkDialogItem(WindowHandle dialog, int id, bool checked) {
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void enableDialogItem(WindowHandle dialog, int id, bool enable) {
    EnableWindow(GetDlgItem(dialog, id), enable);
}

void setArrowRange(WindowHandle dialog, int id, int lowest, int highest) {
    SendDlgItemMessageW(dialog, id, UDM_SETRANGE, 0, MAKELPARAM(highest, lowest));
}

void showDialogItem(WindowHandle dialog, int id, bool show) {
    ShowWindow(GetDlgItem(dialog, id), show ? SW_SHOW : SW_HIDE);
}

void setDefaultButton(WindowHandle dialog, int id) {
    SendMessageW(dialog, DM_SETDEFID, id, 0);
    focusDialogItem(dialog, id);
}

void focusDialogItem(WindowHandle dialog, int id) {
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, id)), TRUE);
}

void setDialogItemLabel(WindowHandle dialog, int id, const std::wstring& text) {
    SetDlgItemTextW(dialog, id, text.c_str());
}

SecureWideString takeDialogPassword(WindowHandle dialog, int id) {
    HWND field = GetDlgItem(dialog, id);
    int length = GetWindowTextLengthW(field);
    SecureWideString typed(length);
    typed.setLength(GetWindowTextW(field, typed.data(), length + 1));
    // Written over with as many blanks first: the control then reuses its
    // buffer, where the password was, instead of only freeing it.
    std::wstring blanks(length, L' ');
    SetWindowTextW(field, blanks.c_str());
    SetWindowTextW(field, L"");
    SendMessageW(field, EM_EMPTYUNDOBUFFER, 0, 0);
    return typed;
}

} // namespace platform

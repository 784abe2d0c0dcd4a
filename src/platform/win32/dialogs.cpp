// The options and about dialogs: their dialog procedures, and the operations
// the generator and the two dialogs ask of windows and controls.
#include "app/main_window.h"
#include "editor/dialogs.h"
#include "platform/platform.h"

#include <windows.h>

#include <commctrl.h>

#include <vector>

namespace {

INT_PTR CALLBACK optionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: optionsDialogInit(dialog); return TRUE;
    case WM_COMMAND: return optionsDialogCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    }
    return FALSE;
}

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: aboutDialogInit(dialog); return TRUE;
    case WM_COMMAND: return aboutDialogCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    }
    return FALSE;
}

} // namespace

namespace platform {

int fieldTextLength(int id) { return GetWindowTextLengthA(GetDlgItem(mainWindow, id)); }

int runDialog(Dialog dialog) {
    bool options = dialog == Dialog::Options;
    return static_cast<int>(DialogBoxParamA(GetModuleHandleA(nullptr),
                                            options ? "KEYLOOMOPTION" : "KEYLOOMABOUT", mainWindow,
                                            options ? optionsDialogProc : aboutDialogProc, 0));
}

void endDialog(WindowHandle dialog, int result) { EndDialog(dialog, result); }

void setCaption(WindowHandle window, const std::wstring& caption) {
    SetWindowTextW(window, caption.c_str());
}

Point clientToScreen(WindowHandle window, Point point) {
    POINT p{point.x, point.y};
    ClientToScreen(window, &p);
    return {p.x, p.y};
}

void moveWindow(WindowHandle window, int left, int top) {
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

std::string dialogItemText(WindowHandle dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    std::vector<char> text(GetWindowTextLengthA(item) + 1);
    int length = GetWindowTextA(item, text.data(), static_cast<int>(text.size()));
    return std::string(text.data(), length);
}

void setDialogItemText(WindowHandle dialog, int id, const char* text) {
    SetDlgItemTextA(dialog, id, text);
}

bool isDialogItemChecked(WindowHandle dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void checkDialogItem(WindowHandle dialog, int id, bool checked) {
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void setArrowRange(WindowHandle dialog, int id, int lowest, int highest) {
    SendDlgItemMessageA(dialog, id, UDM_SETRANGE, 0, MAKELPARAM(highest, lowest));
}

} // namespace platform

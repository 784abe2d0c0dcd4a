// The main window: its dialog procedure, the list's subclass procedure, and
// the operations the logic asks of the window and its controls.
#include "app/commands.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/scale.h"
#include "editor/editor.h"
#include "platform/platform.h"
#include "resources/resource.h"
#include "store/text.h"
#include "transfer/shell.h"

#include <windows.h>

#include <commctrl.h>

#include <vector>

namespace {

WNDPROC previousListProc = nullptr;

HINSTANCE instance() { return GetModuleHandleA(nullptr); }
HWND control(int id) { return GetDlgItem(mainWindow, id); }

LRESULT CALLBACK listSubclassProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_GETDLGCODE: {
        // Enter goes to the list (it opens the address) instead of becoming
        // the dialog's default command.
        LRESULT code = CallWindowProcA(previousListProc, list, message, wParam, lParam);
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_KEYDOWN:
        if (listKeyDown(static_cast<int>(wParam), GetKeyState(VK_CONTROL) < 0))
            return 1;
        break;
    case WM_RBUTTONDOWN:
        if (listRightButtonDown(LOWORD(lParam), HIWORD(lParam)))
            return 0;
        break;
    case WM_RBUTTONUP: listRightButtonUp(LOWORD(lParam), HIWORD(lParam)); return 0;
    }
    return CallWindowProcA(previousListProc, list, message, wParam, lParam);
}

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: windowSetUp(window); return TRUE;
    case WM_COMMAND: return dispatchCommand(LOWORD(wParam), HIWORD(wParam));
    case WM_DPICHANGED: {
        const RECT* r = reinterpret_cast<const RECT*>(lParam);
        dpiChanged(HIWORD(wParam), {r->left, r->top, r->right, r->bottom});
        return FALSE; // the dialog manager then rescales the controls and font
    }
    case WM_HELP:
        if (!exitStarted)
            openHelp();
        return TRUE;
    case WM_ENDSESSION:
        // The system ends the process once this returns, so everything is
        // saved here, and the program ends with the exit sequence's code.
        sessionEnded();
        ExitProcess(1);
    }
    return FALSE;
}

// The window that holds the entry list: message boxes carry the caption
// "Keyloom" too.
BOOL CALLBACK findMainWindow(HWND window, LPARAM found) {
    char caption[16];
    if (GetWindowTextA(window, caption, sizeof caption) && !lstrcmpA(caption, "Keyloom") &&
        GetDlgItem(window, IDC_LIST)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return startUp(); }

namespace platform {

MutexState createSingleInstanceMutex() {
    // Never closed: the system removes it with the process.
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "Keyloom");
    if (!mutex)
        return MutexState::Failed;
    return GetLastError() == ERROR_ALREADY_EXISTS ? MutexState::AlreadyExists
                                                  : MutexState::Created;
}

void bringBackRunningInstance() {
    HWND running = nullptr;
    EnumWindows(findMainWindow, reinterpret_cast<LPARAM>(&running));
    if (!running)
        running = FindWindowA(nullptr, "Keyloom");
    if (!running)
        return;
    if (IsIconic(running))
        ShowWindow(running, SW_RESTORE);
    SetForegroundWindow(running);
}

int runMainWindow() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    return static_cast<int>(DialogBoxParamA(instance(), "KEYLOOM", nullptr, mainDialogProc, 0));
}

void endMainWindow(int result) { EndDialog(mainWindow, result); }

void sendCommand(int id, int notification) {
    LPARAM from = notification ? reinterpret_cast<LPARAM>(control(id)) : 0;
    SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(id, notification), from);
}

int screenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
int screenHeight() { return GetSystemMetrics(SM_CYSCREEN); }
bool isCtrlDown() { return GetKeyState(VK_CONTROL) < 0; }

void setFieldText(int id, const char* text) { SetDlgItemTextA(mainWindow, id, text); }

void getFieldText(int id, char* buffer, std::size_t size) {
    HWND field = control(id);
    std::vector<char> text(GetWindowTextLengthA(field) + 1);
    int length = GetWindowTextA(field, text.data(), static_cast<int>(text.size()));
    copyText(buffer, size, text.data(), length);
    SecureZeroMemory(text.data(), text.size());
}

void setFieldLimit(int id, int bytes) { SendMessageA(control(id), EM_SETLIMITTEXT, bytes, 0); }

void setMasked(int id, bool masked) {
    SendMessageA(control(id), EM_SETPASSWORDCHAR, masked ? '*' : 0, 0);
    InvalidateRect(control(id), nullptr, TRUE);
}

void focusAndSelectAll(int id) {
    SetFocus(control(id));
    SendMessageA(control(id), EM_SETSEL, 0, -1);
}

void enableControl(int id, bool enable) { EnableWindow(control(id), enable); }

int selectedIndex() {
    LRESULT sel = SendMessageA(control(IDC_LIST), LB_GETCURSEL, 0, 0);
    return sel == LB_ERR ? -1 : static_cast<int>(sel);
}

void selectItem(int index) { SendMessageA(control(IDC_LIST), LB_SETCURSEL, index, 0); }

void appendItem(const char* text) {
    SendMessageA(control(IDC_LIST), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void insertItem(int index, const char* text) {
    SendMessageA(control(IDC_LIST), LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(text));
}

void deleteItem(int index) { SendMessageA(control(IDC_LIST), LB_DELETESTRING, index, 0); }
void removeAllItems() { SendMessageA(control(IDC_LIST), LB_RESETCONTENT, 0, 0); }

void setListRedraw(bool on) {
    SendMessageA(control(IDC_LIST), WM_SETREDRAW, on, 0);
    if (on)
        InvalidateRect(control(IDC_LIST), nullptr, TRUE);
}

void setHorizontalExtent(int pixels) {
    SendMessageA(control(IDC_LIST), LB_SETHORIZONTALEXTENT, pixels, 0);
}

int measureListTexts(const char* const* texts, int count, int* widths) {
    HWND list = control(IDC_LIST);
    HDC dc = GetDC(list);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    for (int i = 0; i < count; ++i) {
        SIZE size{};
        GetTextExtentPoint32A(dc, texts[i], lstrlenA(texts[i]), &size);
        widths[i] = size.cx;
    }
    SelectObject(dc, previous);
    ReleaseDC(list, dc);
    return metrics.tmAveCharWidth;
}

ItemAtPoint listItemFromPoint(int x, int y) {
    LRESULT r = SendMessageA(control(IDC_LIST), LB_ITEMFROMPOINT, 0, MAKELPARAM(x, y));
    return {LOWORD(r), HIWORD(r) != 0};
}

Point listToScreen(int x, int y) {
    POINT p{x, y};
    ClientToScreen(control(IDC_LIST), &p);
    return {p.x, p.y};
}

Point listScreenCorner() {
    RECT r{};
    GetWindowRect(control(IDC_LIST), &r);
    return {r.left, r.top};
}

void subclassList() {
    previousListProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        control(IDC_LIST), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listSubclassProc)));
}

MenuHandle menuOf(WindowHandle window) { return GetMenu(window); }
MenuHandle loadPopupMenu() { return GetSubMenu(LoadMenuA(instance(), "POPMENU"), 0); }

void enableMenuItem(MenuHandle menu, int id, bool enable) {
    EnableMenuItem(menu, id, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

void checkMenuItem(MenuHandle menu, int id, bool checked) {
    CheckMenuItem(menu, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void showPopupMenu(int x, int y) {
    TrackPopupMenu(popupMenu, TPM_LEFTBUTTON, x, y, 0, mainWindow, nullptr);
}

bool emptyClipboard() {
    if (!OpenClipboard(mainWindow))
        return false;
    EmptyClipboard();
    CloseClipboard();
    return true;
}

} // namespace platform

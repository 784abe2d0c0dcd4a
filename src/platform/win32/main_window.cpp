// The main window: its dialog procedure and the list's subclass procedure,
// which hand what happens to the program's handlers, and the operations the
// logic asks of the window and its controls.
#include "platform/win32/main_window.h"

#include "platform/platform.h"
#include "platform/win32/clipboard_owner.h"
#include "platform/win32/system_library.h"
#include "resources/resource.h"

#include <windows.h>

#include <commctrl.h>
#include <wtsapi32.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

HWND mainWindow = nullptr;

namespace {

// What the program does when something happens to the window.
const platform::MainWindowHandlers* handlers = nullptr;
// The list's pop-up menu (submenu 0 of "POPMENU"), loaded with the window.
HMENU popupMenu = nullptr;
WNDPROC previousListProc = nullptr;
// The character message of a key the list's handler took: it is the
// command's alone, and must not reach the list's type-ahead search.
bool swallowNextChar = false;
// The messages postToMainWindow and a second start of Keyloom post.
constexpr UINT postedMessage = WM_APP + 1;
constexpr UINT broughtBackMessage = WM_APP + 2;

constexpr wchar_t caption[] = L"Keyloom";
constexpr wchar_t lockedCaption[] = L"Keyloom (ロック中)";

// The controls the locked view hid, which the unlock shows again, the one
// that had the focus then, and the default button's id.
std::vector<HWND> hiddenByLock;
HWND focusBeforeLock = nullptr;
WORD defaultBeforeLock = IDOK;
// The control that gets the focus when the window is next activated: a
// lock or an unlock while another window was active leaves the dialog
// manager's own choice on a control that is hidden now.
HWND focusOnActivation = nullptr;
// Whether Windows tells the window of the session's locks (see
// watchSessionChanges).
bool sessionWatched = false;
// The room reserveField gave each field, by control id.
std::map<int, int> fieldRooms;

UINT_PTR timerId(platform::Timer timer) { return static_cast<UINT_PTR>(timer) + 1; }

HINSTANCE instance() { return GetModuleHandleW(nullptr); }
HWND control(int id) { return GetDlgItem(mainWindow, id); }

// A field's or list item's text, read whole.
std::wstring textOf(HWND window) {
    std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
    text.resize(GetWindowTextW(window, &text[0], static_cast<int>(text.size())));
    return text;
}

// Passwords pass through these buffers: nothing of them is left behind.
void wipe(std::wstring& text) { SecureZeroMemory(&text[0], text.size() * sizeof(wchar_t)); }

// The button beside a field that carries the same command as menu item id;
// 0 for none.
int buttonOf(int id) {
    switch (id) {
    case IDM_COPY_USER_ID: return IDC_COPY_USER_ID;
    case IDM_COPY_PASSWORD: return IDC_COPY_PASSWORD;
    case IDM_COPY_MAIL: return IDC_COPY_MAIL;
    case IDM_OPEN_ADDRESS: return IDC_OPEN_ADDRESS;
    case IDM_PASTE_USER_ID: return IDC_PASTE_USER_ID;
    case IDM_PASTE_PASSWORD: return IDC_PASTE_PASSWORD;
    case IDM_PASTE_MAIL: return IDC_PASTE_MAIL;
    case IDM_CREATE_PASSWORD: return IDC_CREATE_PASSWORD;
    case IDM_PASTE_USER_ID_AND_PASSWORD: return IDC_PASTE_USER_ID_AND_PASSWORD;
    default: return 0;
    }
}

// The index of the character that begins at byte offset of the text's
// Shift-JIS form (wideToSjis converts character by character).
int charIndexAt(const std::wstring& text, std::size_t offset) {
    std::size_t bytes = 0, i = 0;
    while (i < text.size() && bytes < offset) {
        std::size_t width = IS_HIGH_SURROGATE(text[i]) && i + 1 < text.size() ? 2 : 1;
        bytes += platform::sjisLength(std::wstring_view(text).substr(i, width));
        i += width;
    }
    return static_cast<int>(i);
}

LRESULT CALLBACK listSubclassProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_GETDLGCODE: {
        // Enter goes to the list (it opens the address) instead of becoming
        // the dialog's default command.
        LRESULT code = CallWindowProcW(previousListProc, list, message, wParam, lParam);
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_KEYDOWN:
        swallowNextChar = handlers->listKey &&
                          handlers->listKey(static_cast<int>(wParam), GetKeyState(VK_CONTROL) < 0);
        if (swallowNextChar)
            return 1;
        break;
    case WM_CHAR:
        if (swallowNextChar) {
            swallowNextChar = false;
            return 0;
        }
        break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        if (handlers->listRightButton &&
            handlers->listRightButton(LOWORD(lParam), HIWORD(lParam), message == WM_RBUTTONDOWN))
            return 0;
        break;
    }
    return CallWindowProcW(previousListProc, list, message, wParam, lParam);
}

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (answerClipboardOwnerMessage(message, wParam, *handlers))
        return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        mainWindow = window;
        // Before the set-up, which grays its items too.
        popupMenu = GetSubMenu(LoadMenuW(instance(), L"POPMENU"), 0);
        previousListProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            control(IDC_LIST), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listSubclassProc)));
        if (handlers->setUp)
            handlers->setUp();
        return TRUE; // the dialog manager then gives the focus to the list
    case WM_COMMAND: return handlers->command && handlers->command(LOWORD(wParam), HIWORD(wParam));
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE)
            return FALSE;
        if (handlers->activated)
            handlers->activated();
        if (focusOnActivation) {
            SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focusOnActivation), TRUE);
            focusOnActivation = nullptr;
            return TRUE;
        }
        return FALSE; // the dialog manager then gives the focus back
    case WM_DPICHANGED: {
        const RECT* r = reinterpret_cast<const RECT*>(lParam);
        if (handlers->dpiChanged)
            handlers->dpiChanged(HIWORD(wParam), {r->left, r->top, r->right, r->bottom});
        return FALSE; // the dialog manager then rescales the controls and font
    }
    case postedMessage:
        if (handlers->posted)
            handlers->posted();
        return TRUE;
    case broughtBackMessage:
        if (handlers->broughtBack)
            handlers->broughtBack();
        return TRUE;
    case WM_WTSSESSION_CHANGE:
        // Locked, or its console or remote connection handed to another
        // user; not a display turning off.
        if ((wParam == WTS_SESSION_LOCK || wParam == WTS_CONSOLE_DISCONNECT ||
             wParam == WTS_REMOTE_DISCONNECT) &&
            handlers->sessionLocked)
            handlers->sessionLocked();
        return TRUE;
    case WM_POWERBROADCAST:
        // The PC goes to sleep about two seconds after this.
        if (wParam == PBT_APMSUSPEND && handlers->sessionLocked)
            handlers->sessionLocked();
        SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_DESTROY:
        if (sessionWatched) {
            using Unregister = BOOL(WINAPI*)(HWND);
            if (auto unregister =
                    functionFrom<Unregister>(L"wtsapi32.dll", "WTSUnRegisterSessionNotification"))
                unregister(window);
            sessionWatched = false;
        }
        return FALSE;
    case WM_HELP:
        if (handlers->help)
            handlers->help();
        return TRUE;
    case WM_TIMER:
        for (platform::Timer timer : {platform::Timer::Forget, platform::Timer::Lock}) {
            if (wParam != timerId(timer))
                continue;
            // Once: the handler starts it again when it wants another turn.
            KillTimer(window, wParam);
            if (handlers->timerElapsed)
                handlers->timerElapsed(timer);
            return TRUE;
        }
        return FALSE;
    case WM_QUERYENDSESSION:
        // A dialog procedure answers through DWLP_MSGRESULT.
        SetWindowLongPtrW(window, DWLP_MSGRESULT,
                          !handlers->sessionEndQueried ||
                              handlers->sessionEndQueried((lParam & ENDSESSION_CRITICAL) != 0));
        return TRUE;
    case WM_ENDSESSION:
        if (handlers->sessionEnded)
            handlers->sessionEnded(wParam != 0);
        if (!wParam) // cancelled, by Keyloom or another program
            return TRUE;
        // The system ends the process once this returns, so everything was
        // saved by now, and the program ends with the exit sequence's code.
        ExitProcess(1);
    }
    return FALSE;
}

// The window that holds the entry list, locked or not: message boxes carry
// the caption "Keyloom" too.
BOOL CALLBACK findMainWindow(HWND window, LPARAM found) {
    wchar_t text[32];
    if (GetWindowTextW(window, text, 32) &&
        (!lstrcmpW(text, caption) || !lstrcmpW(text, lockedCaption)) &&
        GetDlgItem(window, IDC_LIST)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// Filler of length characters (UTF-16 units) for a field. A multi-line one
// gets short lines: it lays out a line by measuring all the text after it.
std::wstring fillerFor(HWND field, int length) {
    std::wstring filler(length, L'*');
    if (GetWindowLongW(field, GWL_STYLE) & ES_MULTILINE)
        for (int i = 62; i + 1 < length; i += 64)
            filler.replace(i, 2, L"\r\n");
    return filler;
}

// Gives a control of the window the focus, now if the window is the active
// one, else once it is activated.
void focusControl(HWND target) {
    if (GetActiveWindow() == mainWindow) {
        focusOnActivation = nullptr;
        SendMessageW(mainWindow, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
    } else {
        focusOnActivation = target;
    }
}

} // namespace

namespace platform {

MutexState createSingleInstanceMutex() {
    // Never closed: the system removes it with the process.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Keyloom");
    if (!mutex)
        return MutexState::Failed;
    return GetLastError() == ERROR_ALREADY_EXISTS ? MutexState::AlreadyExists : MutexState::Created;
}

void bringBackRunningInstance() {
    HWND running = nullptr;
    EnumWindows(findMainWindow, reinterpret_cast<LPARAM>(&running));
    // Without a main window yet, a question of its start-up comes to the
    // front alone.
    const bool mainWindowThere = running != nullptr;
    if (!running)
        running = FindWindowW(nullptr, caption);
    if (!running)
        return;
    if (IsIconic(running))
        ShowWindow(running, SW_RESTORE);
    SetForegroundWindow(running);
    if (mainWindowThere)
        PostMessageW(running, broughtBackMessage, 0, 0);
}

int runMainWindow(const MainWindowHandlers& windowHandlers) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    handlers = &windowHandlers;
    int result =
        static_cast<int>(DialogBoxParamW(instance(), L"KEYLOOM", nullptr, mainDialogProc, 0));
    mainWindow = nullptr;
    return result;
}

void endMainWindow(int result) { EndDialog(mainWindow, result); }

bool isMainWindowMinimized() { return IsIconic(mainWindow); }

Rect mainWindowRect() { return windowRect(mainWindow); }

void setMainWindowRect(const Rect& rect) {
    SetWindowPos(mainWindow, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void moveMainWindow(int left, int top) { moveWindow(mainWindow, left, top); }

Point mainWindowClientToScreen(Point point) {
    POINT p{point.x, point.y};
    ClientToScreen(mainWindow, &p);
    return {p.x, p.y};
}

void sendCommand(int id, int notification) {
    LPARAM from = notification ? reinterpret_cast<LPARAM>(control(id)) : 0;
    SendMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(id, notification), from);
}

void postToMainWindow() { PostMessageW(mainWindow, postedMessage, 0, 0); }

int screenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
int screenHeight() { return GetSystemMetrics(SM_CYSCREEN); }
bool isCtrlDown() { return GetKeyState(VK_CONTROL) < 0; }

void setFieldText(int id, std::string_view text) {
    // WM_SETTEXT also clears the field's modified flag: the text is ours.
    std::wstring wide = sjisToWide(text);
    SetDlgItemTextW(mainWindow, id, wide.c_str());
    wipe(wide);
}

void replaceFieldText(int id, std::string_view text) {
    std::wstring wide = sjisToWide(text);
    SendMessageW(control(id), EM_SETSEL, 0, -1);
    SendMessageW(control(id), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(wide.c_str()));
    wipe(wide);
}

bool isFieldModified(int id) { return SendMessageW(control(id), EM_GETMODIFY, 0, 0) != 0; }

SecureString fieldText(int id, std::wstring* lost) {
    std::wstring wide = textOf(control(id));
    std::string bytes = wideToSjis(wide, lost);
    SecureString text(bytes.data(), bytes.size());
    wipe(wide);
    SecureZeroMemory(&bytes[0], bytes.size());
    return text;
}

bool isFieldEmpty(int id) { return GetWindowTextLengthW(control(id)) == 0; }

std::size_t fieldCaret(int id) {
    DWORD start = 0, end = 0;
    SendMessageW(control(id), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    std::wstring wide = textOf(control(id));
    std::size_t before = sjisLength(std::wstring_view(wide).substr(0, end));
    wipe(wide);
    return before;
}

void replaceFieldBytes(int id, std::size_t from, std::size_t to, std::string_view text) {
    std::wstring wide = textOf(control(id));
    int first = charIndexAt(wide, from), last = charIndexAt(wide, to);
    wipe(wide);
    std::wstring with = sjisToWide(text);
    SendMessageW(control(id), EM_SETSEL, first, last);
    SendMessageW(control(id), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(with.c_str()));
    wipe(with);
}

void setMasked(int id, bool masked) {
    SendMessageW(control(id), EM_SETPASSWORDCHAR, masked ? L'*' : 0, 0);
    InvalidateRect(control(id), nullptr, TRUE);
}

void focusAndSelectAll(int id) {
    SetFocus(control(id));
    SendMessageW(control(id), EM_SETSEL, 0, -1);
}

void beep() { MessageBeep(MB_OK); }

void enableControl(int id, bool enable) { EnableWindow(control(id), enable); }

int selectedIndex() {
    LRESULT sel = SendMessageW(control(IDC_LIST), LB_GETCURSEL, 0, 0);
    return sel == LB_ERR ? -1 : static_cast<int>(sel);
}

void selectItem(int index) { SendMessageW(control(IDC_LIST), LB_SETCURSEL, index, 0); }

void appendItem(std::string_view text) {
    std::wstring wide = sjisToWide(text);
    SendMessageW(control(IDC_LIST), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void insertItem(int index, std::string_view text) {
    std::wstring wide = sjisToWide(text);
    SendMessageW(control(IDC_LIST), LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(wide.c_str()));
}

void deleteItem(int index) { SendMessageW(control(IDC_LIST), LB_DELETESTRING, index, 0); }
void removeAllItems() { SendMessageW(control(IDC_LIST), LB_RESETCONTENT, 0, 0); }

void setListRedraw(bool on) {
    SendMessageW(control(IDC_LIST), WM_SETREDRAW, on, 0);
    if (on)
        InvalidateRect(control(IDC_LIST), nullptr, TRUE);
}

void setHorizontalExtent(int pixels) {
    SendMessageW(control(IDC_LIST), LB_SETHORIZONTALEXTENT, pixels, 0);
}

int measureListTexts(const std::string_view* texts, int count, int* widths) {
    HWND list = control(IDC_LIST);
    HDC dc = GetDC(list);
    HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    for (int i = 0; i < count; ++i) {
        std::wstring text = sjisToWide(texts[i]);
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        widths[i] = size.cx;
    }
    SelectObject(dc, previous);
    ReleaseDC(list, dc);
    return metrics.tmAveCharWidth;
}

ItemAtPoint listItemFromPoint(int x, int y) {
    LRESULT r = SendMessageW(control(IDC_LIST), LB_ITEMFROMPOINT, 0, MAKELPARAM(x, y));
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

void enableCommand(int id, bool enable) {
    // Each item wherever it stands: an item a menu lacks is left alone there.
    for (HMENU menu : {GetMenu(mainWindow), popupMenu})
        EnableMenuItem(menu, id, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
    if (int button = buttonOf(id))
        EnableWindow(control(button), enable);
}

void checkCommand(int id, bool checked) {
    for (HMENU menu : {GetMenu(mainWindow), popupMenu})
        CheckMenuItem(menu, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void startTimer(Timer timer, int ms) {
    SetTimer(mainWindow, timerId(timer), static_cast<UINT>(ms), nullptr);
}
void stopTimer(Timer timer) { KillTimer(mainWindow, timerId(timer)); }

void showLockedView(bool locked) {
    HWND line = control(IDC_LOCKED_TEXT), unlock = control(IDC_UNLOCK);
    HMENU menu = GetMenu(mainWindow);
    if (locked && hiddenByLock.empty()) {
        HWND focus = GetFocus();
        focusBeforeLock = IsChild(mainWindow, focus) ? focus : nullptr;
        defaultBeforeLock = LOWORD(SendMessageW(mainWindow, DM_GETDEFID, 0, 0));
        for (HWND child = GetWindow(mainWindow, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            if (child == line || child == unlock ||
                !(GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE))
                continue;
            ShowWindow(child, SW_HIDE);
            hiddenByLock.push_back(child);
        }
        ShowWindow(line, SW_SHOW);
        ShowWindow(unlock, SW_SHOW);
        SendMessageW(mainWindow, DM_SETDEFID, IDC_UNLOCK, 0);
        focusControl(unlock);
        SetWindowTextW(mainWindow, lockedCaption);
        ModifyMenuW(menu, IDM_LOCK, MF_BYCOMMAND | MF_STRING, IDM_UNLOCK, L"ロックを解除(&U)...");
        EnableMenuItem(menu, IDM_UNLOCK, MF_BYCOMMAND | MF_ENABLED);
    } else if (!locked && !hiddenByLock.empty()) {
        ShowWindow(line, SW_HIDE);
        ShowWindow(unlock, SW_HIDE);
        for (HWND child : hiddenByLock)
            ShowWindow(child, SW_SHOW);
        hiddenByLock.clear();
        SendMessageW(mainWindow, DM_SETDEFID, defaultBeforeLock, 0);
        focusControl(focusBeforeLock && IsWindowEnabled(focusBeforeLock) ? focusBeforeLock
                                                                         : control(IDC_LIST));
        SetWindowTextW(mainWindow, caption);
        // Grayed until the program says a master password is set.
        ModifyMenuW(menu, IDM_UNLOCK, MF_BYCOMMAND | MF_STRING | MF_GRAYED, IDM_LOCK,
                    L"ロック(&L)\bCtrl+L");
    }
    DrawMenuBar(mainWindow);
}

void reserveField(int id, int characters) {
    HWND field = control(id);
    fieldRooms[id] = characters;
    // The text's block grows to a filler that fills the room, the undo
    // text's to that filler deleted with undo.
    SetWindowTextW(field, fillerFor(field, characters).c_str());
    SendMessageW(field, EM_SETSEL, 0, -1);
    SendMessageW(field, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
    SendMessageW(field, EM_EMPTYUNDOBUFFER, 0, 0);
    SendMessageW(field, EM_SETMODIFY, FALSE, 0);
}

void wipeField(int id) {
    HWND field = control(id);
    // The text, deleted from its end a character at a time: a deletion
    // copies what it takes into a block that it frees unwiped, and moves
    // the text's end over it.
    for (int i = GetWindowTextLengthW(field); i > 0; --i) {
        SendMessageW(field, EM_SETSEL, i - 1, i);
        SendMessageW(field, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    }
    // Then filler over the whole room, where longer texts before left their
    // ends, deleted with undo: it takes the undo text's place, which
    // emptying the undo clears only the first character of.
    SendMessageW(field, EM_REPLACESEL, FALSE,
                 reinterpret_cast<LPARAM>(fillerFor(field, fieldRooms[id]).c_str()));
    SendMessageW(field, EM_SETSEL, 0, -1);
    SendMessageW(field, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
    SendMessageW(field, EM_EMPTYUNDOBUFFER, 0, 0);
    SendMessageW(field, EM_SETMODIFY, FALSE, 0);
}

unsigned lastInputTick() {
    LASTINPUTINFO info{sizeof info, 0};
    // Unknown, the user counts as present.
    return GetLastInputInfo(&info) ? info.dwTime : GetTickCount();
}

bool watchSessionChanges() {
    // Loaded by full path, as the other DLLs beside the system's core.
    using Register = BOOL(WINAPI*)(HWND, DWORD);
    static const Register registerWindow =
        functionFrom<Register>(L"wtsapi32.dll", "WTSRegisterSessionNotification");
    sessionWatched = registerWindow && registerWindow(mainWindow, NOTIFY_FOR_THIS_SESSION);
    return sessionWatched;
}

void showPopupMenu(int x, int y) {
    TrackPopupMenu(popupMenu, TPM_LEFTBUTTON, x, y, 0, mainWindow, nullptr);
}

} // namespace platform

// A login form for the paste tests: four user-ID boxes and a password box,
// ids 1 to 5 in tab order, in a window of class "KeyloomLoginForm". Like a
// real form it gives the focus back to the box that had it whenever it is
// activated. The message loginFormReset empties the boxes and puts the focus
// back in the first; loginFormMarkers counts the marker keys seen. The
// options are in login_form.h.
#include "login_form.h"

#include <shellapi.h>

#include <string>

namespace {

HWND boxes[loginFormBoxes];
HWND lastFocus = nullptr;
LRESULT markers = 0, pastes = 0, zeroScanCodes = 0;
WNDPROC editProc = nullptr;
int delay = 0;
bool closeAfterFirst = false;

LRESULT CALLBACK boxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && (wParam == VK_CONTROL || wParam == 'V' || wParam == VK_TAB) &&
        ((lParam >> 16) & 0xFF) == 0)
        ++zeroScanCodes;
    if (message == WM_KEYDOWN && wParam == 'V' && GetKeyState(VK_CONTROL) < 0 && delay)
        Sleep(delay);
    if (message == WM_PASTE) {
        ++pastes;
        LRESULT result = CallWindowProcW(editProc, box, message, wParam, lParam);
        if (closeAfterFirst && box == boxes[0])
            PostMessageW(GetAncestor(box, GA_ROOT), WM_CLOSE, 0, 0);
        return result;
    }
    return CallWindowProcW(editProc, box, message, wParam, lParam);
}

LRESULT CALLBACK formProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        HINSTANCE instance = GetModuleHandleW(nullptr);
        CreateWindowW(L"STATIC", L"User ID", WS_CHILD | WS_VISIBLE, 10, 14, 85, 20, window, nullptr,
                      instance, nullptr);
        CreateWindowW(L"STATIC", L"Password", WS_CHILD | WS_VISIBLE, 10, 54, 85, 20, window,
                      nullptr, instance, nullptr);
        for (int i = 0; i < loginFormBoxes; ++i) {
            bool password = i == loginFormBoxes - 1;
            int x = password ? 100 : 100 + i * 70, y = password ? 50 : 10;
            boxes[i] = CreateWindowExW(
                WS_EX_CLIENTEDGE, L"EDIT", L"",
                WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | (password ? ES_PASSWORD : 0),
                x, y, password ? 270 : 60, 24, window,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(i + 1)), instance, nullptr);
            editProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(boxes[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(boxProc)));
        }
        lastFocus = boxes[0];
        return 0;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == EN_SETFOCUS)
            lastFocus = reinterpret_cast<HWND>(lParam);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
            SetFocus(lastFocus);
            return 0;
        }
        break;

    case loginFormReset:
        for (HWND box : boxes)
            SetWindowTextW(box, L"");
        lastFocus = boxes[0];
        pastes = zeroScanCodes = 0;
        if (GetForegroundWindow() == window)
            SetFocus(lastFocus);
        return 1;
    case loginFormMarkers: return markers;
    case loginFormPastes: return pastes;
    case loginFormZeroScanCodes: return zeroScanCodes;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    bool modal = false, decoy = false;
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i) {
        std::wstring arg = args[i];
        if (arg.rfind(L"delay=", 0) == 0)
            delay = _wtoi(arg.c_str() + 6);
        closeAfterFirst |= arg == L"close";
        modal |= arg == L"modal";
        decoy |= arg == L"decoy";
    }

    WNDCLASSW wc{};
    wc.lpfnWndProc = formProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = loginFormClass;
    RegisterClassW(&wc);
    HWND form;
    if (modal) {
        // The application the dialog belongs to, disabled while it is open.
        HWND application =
            CreateWindowW(L"STATIC", L"Application", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 500,
                          300, nullptr, nullptr, instance, nullptr);
        form = CreateWindowW(loginFormClass, L"Login form", WS_POPUP | WS_CAPTION | WS_VISIBLE, 60,
                             60, 400, 130, application, nullptr, instance, nullptr);
        EnableWindow(application, FALSE);
    } else {
        form = CreateWindowW(loginFormClass, decoy ? L"Decoy form" : L"Login form",
                             WS_OVERLAPPEDWINDOW | WS_VISIBLE, decoy ? 400 : 20, decoy ? 300 : 20,
                             400, 130, nullptr, nullptr, instance, nullptr);
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_KEYDOWN && msg.wParam == loginFormMarker) {
            ++markers;
            continue;
        }
        // Tab moves between the boxes, as in a dialog.
        if (!IsDialogMessageW(form, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return 0;
}

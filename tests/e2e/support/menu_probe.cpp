// A hook DLL that reads Keyloom's menus from inside its process: menus belong
// to their process under Wine, so GetMenuState fails from outside. The test
// installs menuProbeHook on Keyloom's thread and sends the registered message
// "KeyloomMenuProbe" to the main window with the menu in wParam (0 for the
// window's menu bar) and the item's command in lParam; the hook leaves
// GetMenuState's answer in the shared memory "KeyloomMenuProbe".
#include <windows.h>

namespace {

LONG* sharedAnswer() {
    static LONG* answer = nullptr;
    if (!answer) {
        HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            sizeof(LONG), L"KeyloomMenuProbe");
        if (mapping)
            answer =
                static_cast<LONG*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(LONG)));
    }
    return answer;
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    menuProbeHook(int code, WPARAM wParam, LPARAM lParam) {
    static const UINT probe = RegisterWindowMessageW(L"KeyloomMenuProbe");
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == probe) {
        HMENU menu = call->wParam ? reinterpret_cast<HMENU>(call->wParam) : GetMenu(call->hwnd);
        if (LONG* answer = sharedAnswer())
            InterlockedExchange(answer, (LONG)GetMenuState(menu, (UINT)call->lParam, MF_BYCOMMAND));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

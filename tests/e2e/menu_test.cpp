// The graying and check marks of Keyloom's two menus, read from inside its
// process by a hook (support/menu_probe.cpp): under Wine another process
// cannot read them.
#include "support/keyloom_driver.h"

#include <gtest/gtest.h>

#include <string>

#ifndef MENU_PROBE_DLL
#error "MENU_PROBE_DLL names the hook DLL"
#endif

using e2e::Keyloom;

namespace {

// Items that need a selected entry, in the menu bar and in the pop-up menu.
const int entryItems[] = {104, 124, 105, 106, 108, 109, 110, 114,
                          115, 116, 117, 121, 128, 122, 123};
const int popupEntryItems[] = {121, 114, 115, 116, 108, 109, 110, 105, 106, 104, 124};
// Items that are never grayed.
const int otherItems[] = {100, 101, 102, 103, 107, 125, 126, 127, 129, 140, 143, 144};

// Reads GetMenuState inside Keyloom's process.
class MenuProbe {
  public:
    explicit MenuProbe(const Keyloom& k) : window(k.window) {
        mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG),
                                     L"KeyloomMenuProbe");
        answer =
            static_cast<LONG*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(LONG)));
        dll = LoadLibraryA(MENU_PROBE_DLL);
        auto proc = reinterpret_cast<HOOKPROC>(
            reinterpret_cast<void*>(GetProcAddress(dll, "menuProbeHook")));
        if (proc)
            hook = SetWindowsHookExW(WH_CALLWNDPROC, proc, dll, k.process.dwThreadId);
    }
    ~MenuProbe() {
        if (hook)
            UnhookWindowsHookEx(hook);
        if (dll)
            FreeLibrary(dll);
        if (answer)
            UnmapViewOfFile(answer);
        if (mapping)
            CloseHandle(mapping);
    }
    bool installed() const { return hook && answer; }

    // GetMenuState of the item with command id in menu (null: the menu bar),
    // 0xFFFFFFFF when the menu holds no such item.
    UINT state(HMENU menu, int id) {
        static const UINT probe = RegisterWindowMessageW(L"KeyloomMenuProbe");
        InterlockedExchange(answer, -2);
        SendMessageW(window, probe, reinterpret_cast<WPARAM>(menu), id);
        UINT s = static_cast<UINT>(*answer);
        EXPECT_NE(s, 0xFFFFFFFEu) << "the hook did not answer for item " << id;
        EXPECT_NE(s, 0xFFFFFFFFu) << "no item " << id;
        return s;
    }
    bool grayed(HMENU menu, int id) { return state(menu, id) & MF_GRAYED; }
    bool checked(int id) { return state(nullptr, id) & MF_CHECKED; }

  private:
    HWND window;
    HANDLE mapping = nullptr;
    LONG* answer = nullptr;
    HMODULE dll = nullptr;
    HHOOK hook = nullptr;
};

// Opens the pop-up menu with the Apps key; its handle, or null.
HMENU openPopup(Keyloom& k) {
    k.focus(200);
    k.key(VK_APPS);
    HWND menu = k.popupMenu();
    return menu ? reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0)) : nullptr;
}

void closePopup(Keyloom& k) {
    HWND menu = e2e::popupMenuOf(k.process.dwProcessId);
    k.key(VK_ESCAPE);
    EXPECT_EVENTUALLY(!menu || !IsWindowVisible(menu));
}

TEST(Menus, EntryItemsAreGrayedExactlyWhileNoEntryIsSelected) {
    Keyloom k(e2e::freshFolder("menus"));
    ASSERT_TRUE(k.start());
    MenuProbe probe(k);
    ASSERT_TRUE(probe.installed()) << "the menu probe could not be hooked into Keyloom";

    for (int id : entryItems)
        EXPECT_TRUE(probe.grayed(nullptr, id)) << "menu bar item " << id;
    for (int id : otherItems)
        EXPECT_FALSE(probe.grayed(nullptr, id)) << "menu bar item " << id;
    EXPECT_TRUE(probe.grayed(nullptr, 141)) << "the lock without a master password";
    EXPECT_FALSE(probe.checked(122));
    EXPECT_FALSE(probe.checked(123));
    HMENU popup = openPopup(k);
    ASSERT_TRUE(popup) << "no pop-up menu";
    for (int id : popupEntryItems)
        EXPECT_TRUE(probe.grayed(popup, id)) << "pop-up item " << id;
    EXPECT_FALSE(probe.grayed(popup, 103));
    closePopup(k);

    // An entry selected: everything is enabled, in both menus.
    k.command(103);
    for (int id : entryItems)
        EXPECT_FALSE(probe.grayed(nullptr, id)) << "menu bar item " << id;
    popup = openPopup(k);
    ASSERT_TRUE(popup) << "no pop-up menu";
    for (int id : popupEntryItems)
        EXPECT_FALSE(probe.grayed(popup, id)) << "pop-up item " << id;
    closePopup(k);

    // The check marks follow the view menu, and stay while the items are
    // grayed again after the only entry is deleted.
    k.command(122);
    EXPECT_TRUE(probe.checked(122));
    EXPECT_FALSE(probe.checked(123));
    k.command(123);
    EXPECT_TRUE(probe.checked(123));
    k.command(104, false);
    HWND box = k.messageBox();
    ASSERT_TRUE(box) << "no delete question";
    k.answer(box, IDYES);
    ASSERT_TRUE(k.items().empty());
    EXPECT_TRUE(probe.grayed(nullptr, 122));
    EXPECT_TRUE(probe.checked(122));
    EXPECT_TRUE(probe.checked(123));

    EXPECT_EQ(k.exitByMenu(), 1u);
}

TEST(Menus, CheckMarksComeFromTheSettings) {
    Keyloom k(e2e::freshFolder("checks"));
    e2e::writeFile(k.settingsFile(), "-999\r\n-999\r\n0\r\n1\r\n8\r\n1\r\n1\r\n0\r\n");
    ASSERT_TRUE(k.start());
    MenuProbe probe(k);
    ASSERT_TRUE(probe.installed()) << "the menu probe could not be hooked into Keyloom";
    EXPECT_TRUE(probe.checked(122));
    EXPECT_FALSE(probe.checked(123));
    EXPECT_EQ(k.exitByMenu(), 1u);
}

} // namespace

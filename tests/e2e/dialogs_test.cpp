// The options and about dialogs under Wine: opened by their commands as the
// menu would, worked through their controls, and INITIAL.TXT read back.
#include "support/keyloom_driver.h"
#include "support/shell_recording.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

using e2e::Keyloom;

namespace {

const std::string oneEntry = "KEYLOOM1\r\n1\r\nBank\r\nuser\r\n\r\n\r\n\r\n1\r\n\r\n";

std::string text(HWND dialog, int id) { return e2e::windowText(GetDlgItem(dialog, id)); }

bool checked(HWND dialog, int id) {
    return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Replaces the length field's text as typing over a selection would, one
// character at a time; "" deletes it.
void typeLength(HWND dialog, const std::string& digits) {
    HWND field = GetDlgItem(dialog, 220);
    SendMessageW(field, EM_SETSEL, 0, -1);
    if (digits.empty())
        SendMessageW(field, WM_CLEAR, 0, 0);
    for (char c : digits)
        SendMessageW(field, WM_CHAR, c, 0);
}

// Clicks a button of the dialog and, for OK and Cancel, waits until the
// dialog is gone.
void click(HWND dialog, int id) {
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    if (id == IDOK || id == IDCANCEL) {
        EXPECT_EVENTUALLY(!IsWindow(dialog));
    }
}

std::vector<std::string> lines(const std::string& bytes) {
    std::vector<std::string> out;
    for (std::size_t at = 0, end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2)
        out.push_back(bytes.substr(at, end - at));
    return out;
}

// Where the dialog must stand: centred across the main window, a third of
// the free height down, from the corner of the main window's client area.
void expectPlacedOverMainWindow(HWND main, HWND dialog) {
    RECT m{}, d{};
    GetWindowRect(main, &m);
    GetWindowRect(dialog, &d);
    POINT at{((m.right - m.left) - (d.right - d.left)) / 2,
             ((m.bottom - m.top) - (d.bottom - d.top)) / 3};
    ClientToScreen(main, &at);
    EXPECT_EQ(d.left, at.x);
    EXPECT_EQ(d.top, at.y);
}

HWND openOptions(Keyloom& k) {
    k.command(107, false);
    return k.dialog(220);
}

TEST(Options, TypedLengthsAreClampedOkStoresAndCancelDoesNot) {
    Keyloom k(e2e::freshFolder("options"), oneEntry);
    ASSERT_TRUE(k.start());

    HWND dialog = openOptions(k);
    ASSERT_TRUE(dialog) << "the options dialog did not appear";
    EXPECT_EQ(e2e::windowText(dialog), e2e::sjis("オプション"));
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), k.window);
    EXPECT_FALSE(IsWindowEnabled(k.window)); // modal
    expectPlacedOverMainWindow(k.window, dialog);
    EXPECT_EQ(text(dialog, 220), "8");
    EXPECT_TRUE(checked(dialog, 222));
    EXPECT_TRUE(checked(dialog, 223));
    EXPECT_FALSE(checked(dialog, 224));
    // The arrows work the length field, from 1 to 1000.
    HWND arrows = GetDlgItem(dialog, 221);
    EXPECT_EQ((HWND)SendMessageW(arrows, UDM_GETBUDDY, 0, 0), GetDlgItem(dialog, 220));
    const LRESULT range = SendMessageW(arrows, UDM_GETRANGE, 0, 0);
    EXPECT_EQ(LOWORD(range), 1000);
    EXPECT_EQ(HIWORD(range), 1);

    typeLength(dialog, "5000");
    EXPECT_EQ(text(dialog, 220), "1000");
    typeLength(dialog, "");
    EXPECT_EQ(text(dialog, 220), "1");
    // What is typed after a correction goes after it.
    for (char c : {'2', '0'})
        SendMessageW(GetDlgItem(dialog, 220), WM_CHAR, c, 0);
    EXPECT_EQ(text(dialog, 220), "120");
    typeLength(dialog, "12");
    EXPECT_EQ(text(dialog, 220), "12");
    click(dialog, 224);
    EXPECT_TRUE(checked(dialog, 224));
    // Forgetting copied text: off, its seconds shown but not to be changed
    // until the box is checked.
    EXPECT_FALSE(checked(dialog, 225));
    EXPECT_EQ(text(dialog, 226), "30");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 226)));
    click(dialog, 225);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 226)));
    click(dialog, IDOK);
    EXPECT_TRUE(IsWindowEnabled(k.window));

    dialog = openOptions(k);
    ASSERT_TRUE(dialog) << "the options dialog did not open again";
    EXPECT_EQ(text(dialog, 220), "12");
    EXPECT_TRUE(checked(dialog, 224));
    // Cancel keeps what was stored (INITIAL.TXT below).
    typeLength(dialog, "300");
    click(dialog, 222);
    EXPECT_FALSE(checked(dialog, 222));
    click(dialog, IDCANCEL);

    EXPECT_EQ(k.exitByMenu(), 1u);
    std::vector<std::string> saved = lines(e2e::readFile(k.settingsFile()));
    ASSERT_EQ(saved.size(), 11u);
    EXPECT_EQ(std::vector<std::string>(saved.begin() + 4, saved.end()),
              (std::vector<std::string>{"12", "1", "1", "1", "30", "0", "1"}));
}

TEST(Options, ArrowKeysStepTheLength) {
    Keyloom k(e2e::freshFolder("arrows"));
    ASSERT_TRUE(k.start());
    HWND dialog = openOptions(k);
    ASSERT_TRUE(dialog) << "the options dialog did not appear";
    // The length field has the focus when the dialog opens.
    SetForegroundWindow(dialog);
    EXPECT_EVENTUALLY(k.focused() == GetDlgItem(dialog, 220));
    k.key(VK_UP);
    EXPECT_EVENTUALLY(text(dialog, 220) == "9");
    k.key(VK_DOWN);
    k.key(VK_DOWN);
    EXPECT_EVENTUALLY(text(dialog, 220) == "7");
    click(dialog, IDOK);
    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(lines(e2e::readFile(k.settingsFile())).at(4), "7");
}

// A length hand-edited out of range opens corrected: setting the field's
// text raises its change notification, as the unit tests' fake has it.
TEST(Options, HandEditedLengthOpensCorrected) {
    Keyloom k(e2e::freshFolder("hand-edited"));
    e2e::writeFile(k.settingsFile(), "-999\r\n-999\r\n1\r\n1\r\n5000\r\n1\r\n1\r\n0\r\n");
    ASSERT_TRUE(k.start());
    HWND dialog = openOptions(k);
    ASSERT_TRUE(dialog) << "the options dialog did not appear";
    EXPECT_EQ(text(dialog, 220), "1000");
    click(dialog, IDCANCEL);
    EXPECT_EQ(k.exitByMenu(), 1u);
}

// Left clicks with the mouse near the start of a line, the second (if any)
// quick enough to make a double click. Each event carries the position, so
// none can land before the pointer has moved.
void clickLine(HWND line, int clicks) {
    RECT r{};
    GetWindowRect(line, &r);
    LONG x = ((r.left + 10) * 65536 + 32768) / GetSystemMetrics(SM_CXSCREEN);
    LONG y = ((r.top + r.bottom) / 2 * 65536 + 32768) / GetSystemMetrics(SM_CYSCREEN);
    std::vector<INPUT> inputs;
    auto add = [&](DWORD button) {
        INPUT in{};
        in.type = INPUT_MOUSE;
        in.mi.dx = x;
        in.mi.dy = y;
        in.mi.dwFlags = button | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        inputs.push_back(in);
    };
    add(0);
    for (int i = 0; i < clicks; ++i) {
        add(MOUSEEVENTF_LEFTDOWN);
        add(MOUSEEVENTF_LEFTUP);
    }
    SendInput((UINT)inputs.size(), inputs.data(), sizeof(INPUT));
}

TEST(About, CaptionVersionPlacementAndLinksOnADoubleClickOnly) {
    e2e::recordBrowserAndMailer();
    Keyloom k(e2e::freshFolder("about"));
    ASSERT_TRUE(k.start());
    k.command(102, false);
    HWND dialog = k.dialog(125);
    ASSERT_TRUE(dialog) << "the about box did not appear";
    EXPECT_EQ(e2e::windowText(dialog), e2e::sjis("Keyloom のバージョン情報"));
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), k.window);
    expectPlacedOverMainWindow(k.window, dialog);
    EXPECT_EQ(text(dialog, 125), "https://www.keyloom.example/");
    EXPECT_EQ(text(dialog, 126), "support@keyloom.example");

    // The version line and the program's icon, beside the lines. The line
    // and the version resource both say the version of CMakeLists.txt.
    bool versionLine = false, icon = false;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        versionLine |= e2e::windowText(child) == "Keyloom Ver." KEYLOOM_VERSION;
        icon |= SendMessageW(child, STM_GETICON, 0, 0) != 0;
    }
    EXPECT_TRUE(versionLine);
    EXPECT_TRUE(icon);
    wchar_t exe[MAX_PATH];
    MultiByteToWideChar(CP_UTF8, 0, (k.folder + "\\keyloom.exe").c_str(), -1, exe, MAX_PATH);
    std::vector<char> info(GetFileVersionInfoSizeW(exe, nullptr));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(!info.empty() && GetFileVersionInfoW(exe, 0, DWORD(info.size()), info.data()) &&
                VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, DWORD(KEYLOOM_VERSION_MAJOR << 16 | KEYLOOM_VERSION_MINOR));

    // Single clicks first: had they opened anything, it would be recorded
    // before what the double clicks open.
    clickLine(GetDlgItem(dialog, 125), 1);
    clickLine(GetDlgItem(dialog, 126), 1);
    clickLine(GetDlgItem(dialog, 126), 2);
    ASSERT_EQ(e2e::shellCalls(1).size(), 1u) << "a double click on the mail line opened nothing";
    clickLine(GetDlgItem(dialog, 125), 2);
    EXPECT_EQ(e2e::shellCalls(2), (std::vector<std::string>{"mailto:support@keyloom.example",
                                                            "https://www.keyloom.example/"}));
    // The box stays open after a link.
    EXPECT_TRUE(IsWindowVisible(dialog));

    click(dialog, IDOK);
    EXPECT_TRUE(IsWindowEnabled(k.window));
    EXPECT_EQ(k.exitByMenu(), 1u);
}

} // namespace

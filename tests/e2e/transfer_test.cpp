// Copy, paste and the shell under Wine: the real keyloom.exe types into a
// login form of the tests' own that lies below it, its copies are read back
// through the clipboard, and what it hands to the shell reaches recorders.
#include "support/keyloom_driver.h"
#include "support/login_form.h"
#include "support/shell_recording.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <initializer_list>
#include <string>
#include <vector>

using e2e::Keyloom;

namespace {

// Every piece of a user ID lands in a box of its own; the last entry is
// empty.
std::string entries() {
    return e2e::sjis("KEYLOOM1\r\n3\r\n"
                     "Bank\r\n12-34-56-78\r\np-w!\r\n\r\nme@bank.example\r\n1\r\n\r\n"
                     "銀行\r\nＡＢ－ＣＤ-ｘ\r\nパス-1\r\n\r\nｍｅ@bank.example\r\n1\r\n\r\n"
                     "Empty\r\n\r\n\r\n\r\n\r\n1\r\n\r\n");
}

using Boxes = std::vector<std::string>;

// A program the test starts, ended with it.
struct Process {
    PROCESS_INFORMATION process{};
    bool start(std::string commandLine) {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        return CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &si, &process);
    }
    ~Process() {
        if (process.hProcess) {
            TerminateProcess(process.hProcess, 0);
            WaitForSingleObject(process.hProcess, 5000);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }
};

struct LoginForm {
    Process program;
    HWND window = nullptr;

    // Starts login_form.exe with these options (login_form.h) and waits until
    // its form is in front.
    bool start(const std::string& options = "") {
        if (!program.start(std::string("\"") + LOGIN_FORM_EXE + "\" " + options))
            return false;
        return e2e::waitFor([&] {
            window = nullptr;
            for (HWND w = FindWindowW(loginFormClass, nullptr); w && !window;
                 w = FindWindowExW(nullptr, w, loginFormClass, nullptr)) {
                DWORD owner = 0;
                GetWindowThreadProcessId(w, &owner);
                if (owner == program.process.dwProcessId)
                    window = w;
            }
            return window && GetForegroundWindow() == window;
        });
    }
    LRESULT ask(UINT message) const { return SendMessageW(window, message, 0, 0); }
    Boxes boxes() const {
        Boxes texts;
        for (int id = 1; id <= loginFormBoxes; ++id)
            texts.push_back(e2e::windowText(GetDlgItem(window, id)));
        return texts;
    }
    void reset() const { SendMessageW(window, loginFormReset, 0, 0); }
};

// What the paste commands look for: the first visible, enabled, non-pop-up
// window below Keyloom's.
HWND windowBelow(HWND window) {
    for (HWND w = GetWindow(window, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
        if (IsWindowVisible(w) && IsWindowEnabled(w) && !(GetWindowLongW(w, GWL_STYLE) & WS_POPUP))
            return w;
    return nullptr;
}

// Keyloom in front of everything, as a click on it puts it (Wine's
// SetForegroundWindow from another program does not raise it), and, when
// given, that window right below it: as the user leaves them before a paste.
void bringKeyloomBack(const Keyloom& k, HWND below = nullptr) {
    SetWindowPos(k.window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(k.window);
    ASSERT_EVENTUALLY(GetForegroundWindow() == k.window);
    HWND found = windowBelow(k.window);
    ASSERT_TRUE(!below || found == below)
        << "below Keyloom lies " << e2e::fromSjis(e2e::windowText(found));
}

// Presses and lets go of each key in turn, as the keyboard does.
void press(std::initializer_list<WORD> vks) {
    std::vector<INPUT> keys;
    for (WORD vk : vks)
        for (DWORD flags : {DWORD(0), DWORD(KEYEVENTF_KEYUP)}) {
            INPUT in{};
            in.type = INPUT_KEYBOARD;
            in.ki.wVk = vk;
            in.ki.dwFlags = flags;
            keys.push_back(in);
        }
    SendInput(UINT(keys.size()), keys.data(), sizeof(INPUT));
}

// The boxes once the form has handled every key that the command sent: a
// marker key sent after them comes out of the form's queue after them.
Boxes filledBoxes(const LoginForm& form, const Boxes& expected) {
    e2e::waitFor([&] { return form.boxes() == expected; });
    LRESULT seen = SendMessageW(form.window, loginFormMarkers, 0, 0);
    press({loginFormMarker});
    EXPECT_EVENTUALLY(SendMessageW(form.window, loginFormMarkers, 0, 0) > seen);
    return form.boxes();
}

struct ClipboardContent {
    bool opened = false;
    std::string text; // CF_TEXT up to its NUL
    bool hasText = false;
    int formats = 0;
    // The three marks, by name: -1 when absent.
    DWORD monitor = DWORD(-1), history = DWORD(-1), cloud = DWORD(-1);
};

DWORD markValue(const char* name) {
    HANDLE data = GetClipboardData(RegisterClipboardFormatA(name));
    if (!data)
        return DWORD(-1);
    DWORD value = DWORD(-1);
    if (const DWORD* p = static_cast<const DWORD*>(GlobalLock(data))) {
        value = *p;
        GlobalUnlock(data);
    }
    return value;
}

// Wine's clipboard manager may hold the clipboard for a moment.
bool openClipboard(HWND owner = nullptr) {
    return e2e::waitFor([&] { return OpenClipboard(owner) != FALSE; }, 5000);
}

ClipboardContent readClipboard() {
    ClipboardContent c;
    if (!(c.opened = openClipboard()))
        return c;
    c.formats = CountClipboardFormats();
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const char* p = static_cast<const char*>(GlobalLock(data))) {
            c.hasText = true;
            c.text = p;
            GlobalUnlock(data);
        }
    }
    c.monitor = markValue("ExcludeClipboardContentFromMonitorProcessing");
    c.history = markValue("CanIncludeInClipboardHistory");
    c.cloud = markValue("CanUploadToCloudClipboard");
    CloseClipboard();
    return c;
}

// Another program's text on the clipboard, owned by a window of this one.
struct OtherProgramText {
    HWND owner =
        CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    explicit OtherProgramText(const std::string& text) {
        EXPECT_TRUE(openClipboard(owner));
        EmptyClipboard();
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
        lstrcpyA(static_cast<char*>(GlobalLock(block)), text.c_str());
        GlobalUnlock(block);
        EXPECT_TRUE(SetClipboardData(CF_TEXT, block));
        CloseClipboard();
    }
    ~OtherProgramText() { DestroyWindow(owner); }
};

const Boxes firstEntry{"12", "34", "56", "78", "p-w!"};

class Transfer : public ::testing::Test {
  protected:
    LoginForm form;
    Keyloom k{e2e::freshFolder("transfer"), entries()};

    void SetUp() override {
        ASSERT_TRUE(form.start()) << "the login form did not appear in front";
        ASSERT_TRUE(k.start()) << "the main window did not appear";
        bringKeyloomBack(k, form.window);
    }

    // A paste button clicked, with the form emptied and below Keyloom.
    void paste(int button) {
        form.reset();
        bringKeyloomBack(k, form.window);
        SendMessageW(k.control(button), BM_CLICK, 0, 0);
    }
};

TEST_F(Transfer, PasteCommandsFillTheFormBelow) {
    struct Case {
        int button;
        int entry;
        Boxes expected;
    };
    // Every button; the menu's items send the same commands (unit tests).
    const Case cases[] = {
        {219, 0, firstEntry},
        {219, 1, {e2e::sjis("ＡＢ－ＣＤ"), e2e::sjis("ｘ"), e2e::sjis("パス-1"), "", ""}},
        {212, 1, {e2e::sjis("ＡＢ－ＣＤ"), e2e::sjis("ｘ"), "", "", ""}},
        {213, 1, {e2e::sjis("パス-1"), "", "", "", ""}},
        {215, 0, {"me@bank.example", "", "", "", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        k.select(c.entry);
        paste(c.button);
        EXPECT_EQ(filledBoxes(form, c.expected), c.expected);
        EXPECT_EQ(GetForegroundWindow(), form.window);
    }
    // The user ID's last piece, or the field, stays on the clipboard.
    EXPECT_EQ(readClipboard().text, "me@bank.example");
    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(readClipboard().formats, 0) << "the password outlived Keyloom on the clipboard";
}

TEST_F(Transfer, PasteFromTheKeyboardMenu) {
    form.reset();
    bringKeyloomBack(k, form.window);
    press({VK_MENU, 'C', 'L'}); // Alt, the command menu, its first item
    EXPECT_EQ(filledBoxes(form, firstEntry), firstEntry);
}

TEST_F(Transfer, WithNothingBelowNothingIsTyped) {
    // The form hidden: no window below Keyloom takes the keys.
    ShowWindow(form.window, SW_HIDE);
    ASSERT_EVENTUALLY(!IsWindowVisible(form.window));
    OtherProgramText other("kept");
    k.command(121);
    k.command(114);
    EXPECT_EQ(readClipboard().text, "kept");
    EXPECT_EQ(form.boxes(), Boxes(5));
    // The password is copied before the search, so it is there all the same.
    k.command(115);
    EXPECT_EQ(readClipboard().text, "p-w!");
    EXPECT_EQ(form.boxes(), Boxes(5));
    EXPECT_EQ(GetForegroundWindow(), k.window);
}

TEST_F(Transfer, CopiesCarryTheMarksThatKeepThemOutOfHistories) {
    struct Case {
        int id;
        int entry;
        std::string expected;
    };
    // Every button; the menu's items send the same commands (unit tests).
    // An empty field replaces what was there with an empty text.
    const Case cases[] = {
        {208, 1, e2e::sjis("ＡＢ－ＣＤｘ")},
        {209, 1, e2e::sjis("パス-1")},
        {211, 0, "me@bank.example"},
        {211, 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        k.select(c.entry);
        OtherProgramText other("other");
        k.command(c.id);
        ClipboardContent got = readClipboard();
        ASSERT_TRUE(got.opened) << "the clipboard stayed closed to the test";
        EXPECT_TRUE(got.hasText);
        EXPECT_EQ(got.text, c.expected);
        EXPECT_EQ(got.monitor, 1u);
        EXPECT_EQ(got.history, 0u);
        EXPECT_EQ(got.cloud, 0u);
    }
}

bool keyDown(int vk) { return GetAsyncKeyState(vk) < 0; }

// Copied text forgotten after 5 seconds.
class ForgetClipboard : public Transfer {
    void SetUp() override {
        e2e::writeFile(k.settingsFile(), "-999\r\n-999\r\n1\r\n1\r\n8\r\n1\r\n1\r\n0\r\n5\r\n");
        Transfer::SetUp();
    }
};

// The last piece of a paste is made only when the target reads it: it is
// forgotten all the same, counted from then.
TEST_F(ForgetClipboard, ThePieceAPasteLeavesGoesAfterTheSetSeconds) {
    k.command(121);
    EXPECT_EQ(filledBoxes(form, firstEntry), firstEntry);
    EXPECT_EQ(readClipboard().text, "p-w!");
    EXPECT_EVENTUALLY(readClipboard().formats == 0);
    EXPECT_EQ(k.exitByMenu(), 1u);
}

TEST_F(Transfer, ASlowTargetGetsEveryPieceRight) {
    LoginForm slow;
    ASSERT_TRUE(slow.start("delay=1000"));
    bringKeyloomBack(k, slow.window);
    k.command(121);
    EXPECT_EQ(filledBoxes(slow, firstEntry), firstEntry);
    // Remote desktop and virtual machine clients go by the scan codes.
    EXPECT_EQ(slow.ask(loginFormZeroScanCodes), 0);
}

TEST_F(Transfer, ATargetThatClosesStopsThePasteAndKeyloomKeepsItsEntry) {
    LoginForm closing;
    ASSERT_TRUE(closing.start("close"));
    bringKeyloomBack(k, closing.window);
    k.command(121, false);
    HWND box = k.messageBox();
    ASSERT_TRUE(box) << "no word of the stopped paste";
    EXPECT_NE(e2e::fromSjis(k.messageText(box)).find("閉じた"), std::string::npos);
    k.answer(box, IDOK);
    EXPECT_FALSE(keyDown(VK_CONTROL));
    EXPECT_FALSE(keyDown(VK_TAB));
    // Nothing of the paste reached Keyloom's own fields.
    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()), entries());
}

TEST_F(Transfer, ShiftHeldAtTheStartIsWaitedFor) {
    form.reset();
    bringKeyloomBack(k, form.window);
    // Shift held on the X keyboard for a second and a half, by a script the
    // desktop's "browser" runs.
    e2e::setRegistryText(HKEY_CURRENT_USER, "Software\\Wine\\WineBrowser", "Browsers",
                         HOLD_SHIFT_SCRIPT);
    ShellExecuteW(nullptr, nullptr, L"http://hold-shift/1500", nullptr, nullptr, SW_SHOWDEFAULT);
    ASSERT_EVENTUALLY(keyDown(VK_SHIFT));
    k.command(121, false);
    LRESULT pastedWhileHeld = 0;
    ASSERT_EVENTUALLY(!keyDown(VK_SHIFT) || (pastedWhileHeld = form.ask(loginFormPastes)) > 0);
    EXPECT_EQ(pastedWhileHeld, 0) << "keys went out while Shift was down";
    EXPECT_EQ(filledBoxes(form, firstEntry), firstEntry) << "a Tab became Shift+Tab";
}

TEST_F(Transfer, AClipboardHeldOpenByAnotherProgramGetsNoCtrlV) {
    form.reset();
    bringKeyloomBack(k, form.window);
    HWND owner =
        CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(openClipboard(owner));
    k.command(114, false);
    HWND box = k.messageBox();
    CloseClipboard();
    DestroyWindow(owner);
    ASSERT_TRUE(box) << "no word of the stopped paste";
    EXPECT_NE(e2e::fromSjis(k.messageText(box)).find("クリップボード"), std::string::npos);
    k.answer(box, IDOK);
    EXPECT_EQ(form.ask(loginFormPastes), 0);
    EXPECT_EQ(form.boxes(), Boxes(5));
}

TEST_F(Transfer, AModalLoginDialogIsFilledAndTheWindowBelowGetsNothing) {
    LoginForm decoy, dialog;
    ASSERT_TRUE(decoy.start("decoy"));
    ASSERT_TRUE(dialog.start("modal"));
    bringKeyloomBack(k);
    k.command(121);
    EXPECT_EQ(filledBoxes(dialog, firstEntry), firstEntry);
    EXPECT_EQ(decoy.boxes(), Boxes(5));
    EXPECT_EQ(decoy.ask(loginFormPastes), 0);
}

// Wine's WordPad: a rich edit control, which reads the clipboard through
// OLE, and OLE opens it without a window.
TEST(TransferThroughOle, WordPadGetsEveryPiece) {
    Process pad;
    ASSERT_TRUE(pad.start("\"C:\\Program Files\\Windows NT\\Accessories\\wordpad.exe\""));
    HWND window = nullptr, text = nullptr;
    ASSERT_TRUE(e2e::waitFor([&] {
        window = FindWindowW(L"WORDPADTOP", nullptr);
        text = FindWindowExW(window, nullptr, L"RICHEDIT20W", nullptr);
        return text && GetForegroundWindow() == window;
    })) << "WordPad did not appear in front";
    Keyloom k{e2e::freshFolder("wordpad"), entries()};
    ASSERT_TRUE(k.start()) << "the main window did not appear";
    bringKeyloomBack(k, window);
    k.command(121, false);
    EXPECT_EVENTUALLY(e2e::windowText(text) == "12\t34\t56\t78\tp-w!");
}

TEST_F(Transfer, TheEndOfTheSessionMidPasteLeavesNoKeyDown) {
    LoginForm slow;
    ASSERT_TRUE(slow.start("delay=1000"));
    bringKeyloomBack(k, slow.window);
    k.command(121, false);
    ASSERT_EVENTUALLY(slow.ask(loginFormPastes) >= 1);
    // The worst moment: while Keyloom holds Ctrl down, if it ever does.
    e2e::waitFor([] { return keyDown(VK_CONTROL); }, 3000);
    ASSERT_TRUE(e2e::endSession());
    EXPECT_EQ(k.waitForExit(), 1u);
    for (int vk : {VK_CONTROL, VK_SHIFT, VK_TAB, int('V')})
        EXPECT_FALSE(keyDown(vk)) << vk;
}

TEST_F(Transfer, AddressesHelpAndLinksReachTheShell) {
    // The desktop's browser and mail program, and two file types.
    e2e::recordBrowserAndMailer();
    const std::string opener = std::string("\"") + SHELL_RECORDER_EXE + "\" \"%1\"";
    e2e::setRegistryText(HKEY_CLASSES_ROOT, "KeyloomTest.Recorder\\shell\\open\\command", nullptr,
                         opener);
    e2e::setRegistryText(HKEY_CLASSES_ROOT, ".kltest", nullptr, "KeyloomTest.Recorder");
    e2e::setRegistryText(HKEY_CLASSES_ROOT, ".hlp", nullptr, "KeyloomTest.Recorder");

    // The help file beside the program, which runs from another folder.
    e2e::writeFile(k.folder + "\\KEYLOOM.HLP", "help");
    char current[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, current);
    ASSERT_NE(std::string(current), k.folder);
    const std::string document = k.folder + "\\a document.kltest";
    e2e::writeFile(document, "");

    k.select(0);
    k.paste(204, document); // typed, not yet stored
    k.command(117);
    ASSERT_EQ(e2e::shellCalls(1).size(), 1u) << "the address did not reach the shell";
    k.focus(203); // F1 anywhere in the window, the password field here
    k.key(VK_F1);
    ASSERT_EQ(e2e::shellCalls(2).size(), 2u) << "F1 did not hand the help file to the shell";
    k.command(125);
    ASSERT_EQ(e2e::shellCalls(3).size(), 3u) << "the home page did not reach the browser";
    k.command(126);
    ASSERT_EQ(e2e::shellCalls(4).size(), 4u) << "the mail link did not reach the mail program";
    std::vector<std::string> expected{document, k.folder + "\\KEYLOOM.HLP",
                                      "https://www.keyloom.example/",
                                      "mailto:support@keyloom.example"};
    EXPECT_EQ(e2e::shellCalls(4), expected);

    // The button, a double click and Enter on the list open the same.
    SendMessageW(k.control(210), BM_CLICK, 0, 0);
    SendMessageW(k.window, WM_COMMAND, MAKEWPARAM(200, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(k.control(200)));
    k.focus(200);
    k.key(VK_RETURN);
    ASSERT_EQ(e2e::shellCalls(7).size(), 7u);
    // The page Keyloom ships comes before a help file.
    e2e::setRegistryText(HKEY_CLASSES_ROOT, ".htm", nullptr, "KeyloomTest.Recorder");
    e2e::writeFile(k.folder + "\\KEYLOOM.HTM", "<html>");
    k.key(VK_F1);
    std::vector<std::string> calls = e2e::shellCalls(8);
    ASSERT_EQ(calls.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(calls.begin() + 4, calls.end()),
              (std::vector<std::string>{document, document, document, k.folder + "\\KEYLOOM.HTM"}));

    e2e::setRegistryText(HKEY_CLASSES_ROOT, ".hlp", nullptr, "hlpfile");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ".htm"); // Wine's prefix has no type for it
}

} // namespace

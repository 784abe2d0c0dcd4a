// The lock under Wine, end to end: Windows' lock (its message posted to the
// window as Windows sends it) saves an edit typed into a field, hides the
// window's controls and leaves no copy of the typed password in Keyloom's
// memory; a second start asks for the master password, which brings the
// entry back with the edit. Given a folder as its argument
// (support/read-protected.sh gives one), it leaves there the PASSWORD.TXT
// that the lock saved, the plain bytes it must hold and the master
// password, for tools/read-protected to read.
#include "support/keyloom_driver.h"
#include "support/reader_handoff.h"
#include "support/process_memory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using e2e::Keyloom;

namespace {

// The ids of resource.h.
constexpr int passwordField = 203, copyPasswordButton = 209, unlockButton = 216, lockedLine = 217,
              masterPasswordField = 246;

const std::vector<e2e::Entry> entries = {
    {"Lantern mail", "lantern-9042", "lantern-Pw-55&", "", "lantern9042@mail.example", ""},
    {"オーキッド銀行", "orchid-user-7731", "Zq7#old-orchid-4471 longer than what replaces it 9983",
     "https://bank.example/orchid", "orchid7731@mail.example", "暗証番号は手帳の十二頁"},
};

// Where a copy lies that Keyloom cannot reach, and why; null for any other.
// The brk heap is the C library's of Wine's Linux side (the X client, the
// fonts): Windows code, Keyloom's included, allocates from its own heaps.
const char* outsideReach(const e2e::MemoryCopy& copy) {
    return copy.region.name == "[heap]" ? "Wine's Linux side" : nullptr;
}

// The copies of a text in Keyloom's memory, as UTF-16 (the screen's) and
// as code page 932 (the entries'), each printed, those outside its reach
// apart. What is looked for is the text's last 12 characters: a block that
// a heap took back has its first bytes overwritten with the heap's links,
// and an edit control that is emptied clears only its first character.
struct Copies {
    int within = 0, outside = 0;
};
Copies copiesOf(int pid, const std::string& text, const char* when) {
    std::string error;
    const std::vector<e2e::MemoryCopy> copies =
        e2e::findInMemory(pid, e2e::windowsForms(text.substr(text.size() - 12)), &error);
    EXPECT_EQ(error, "");
    Copies counted;
    for (const e2e::MemoryCopy& c : copies) {
        const char* why = outsideReach(c);
        std::printf("%s, %s: %s at %llx, %s %s (after %s)%s%s\n", when, text.c_str(),
                    c.encoding.c_str(), static_cast<unsigned long long>(c.address),
                    c.region.permissions.c_str(), c.region.name.c_str(), c.module.c_str(),
                    why ? ": outside Keyloom's reach, in " : "", why ? why : "");
        ++(why ? counted.outside : counted.within);
    }
    return counted;
}

// Waits until Keyloom has handled what it is handling now.
void waitForKeyloom(const Keyloom& k) {
    DWORD_PTR ignored;
    SendMessageTimeoutW(k.window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored);
}

TEST(Lock, WindowsLockSavesATypedPasswordHidesTheWindowAndLeavesNoCopyInMemory) {
    const std::string folder = e2e::freshFolder("lock");
    const std::string master = "lock master 鍵";
    // Nothing else holds it: new for every run, ending in ASCII.
    const std::string typed = "錠前の合言葉-Kq7Zx2Lm9Wp4-" + std::to_string(GetTickCount()) + "-" +
                              std::to_string(GetCurrentProcessId());
    const std::string& replaced = entries[1].password;
    Keyloom k(folder, e2e::dataFile(entries));
    ASSERT_TRUE(k.start());
    ASSERT_TRUE(k.setMasterPassword(master));
    // The locked view's line and button show only while locked.
    EXPECT_FALSE(IsWindowVisible(k.control(unlockButton)) ||
                 IsWindowVisible(k.control(lockedLine)));
    const int pid = e2e::linuxProcessOf(folder + "\\keyloom.exe");
    ASSERT_NE(pid, 0) << "keyloom.exe's Linux process was not found";

    // Typed over the second entry's longer password, which the field keeps
    // for its undo, and copied; the user never leaves the field.
    k.select(1);
    k.focus(passwordField);
    k.type(passwordField, typed);
    k.command(copyPasswordButton);
    waitForKeyloom(k);
    ASSERT_GT(copiesOf(pid, typed, "before").within, 0) << "the search cannot find it";
    ASSERT_GT(copiesOf(pid, replaced, "before").within, 0) << "the search cannot find it";

    PostMessageW(k.window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0);
    // The lock's last step empties the list.
    ASSERT_EVENTUALLY(k.items().empty());
    waitForKeyloom(k);
    EXPECT_EQ(e2e::wideText(k.window), L"Keyloom (ロック中)");
    for (HWND c = GetWindow(k.window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const int id = GetDlgCtrlID(c);
        EXPECT_EQ(IsWindowVisible(c) != FALSE, id == unlockButton || id == lockedLine) << id;
    }
    const Copies typedCopies = copiesOf(pid, typed, "after"),
                 replacedCopies = copiesOf(pid, replaced, "after");
    EXPECT_EQ(typedCopies.within + replacedCopies.within, 0);
    std::printf("after the lock: %d copies outside Keyloom's reach\n",
                typedCopies.outside + replacedCopies.outside);

    const std::string file = e2e::readFile(k.dataFile());
    std::vector<e2e::Entry> edited = entries;
    edited[1].password = typed;
    e2e::handToReader(file, e2e::dataFile(edited), master);

    // A second start brings the locked window back, which asks for the
    // master password; that brings the entry back, with the edit.
    Keyloom second(e2e::freshFolder("lock-second"));
    second.startOnly();
    EXPECT_EQ(second.waitForExit(), 0u);
    HWND prompt = k.dialog(masterPasswordField);
    ASSERT_TRUE(prompt) << "the locked window asked for no password";
    e2e::typeInto(prompt, masterPasswordField, master);
    PostMessageW(prompt, WM_COMMAND, IDOK, 0);
    ASSERT_EVENTUALLY(IsWindowVisible(k.control(passwordField)));
    EXPECT_FALSE(IsWindowVisible(k.control(unlockButton)) ||
                 IsWindowVisible(k.control(lockedLine)));
    EXPECT_EQ(e2e::wideText(k.window), L"Keyloom");
    EXPECT_EQ(k.selection(), 1);
    EXPECT_EQ(k.text(passwordField), e2e::sjis(typed));
    EXPECT_EQ(k.exitByMenu(), 1u);
}

} // namespace

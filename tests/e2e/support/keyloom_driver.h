// Drives the real keyloom.exe from outside, as a user and the system would:
// each Keyloom runs from a fresh folder of its own, is found by its window,
// and is worked through window messages and synthetic input. Every wait has
// a deadline and a failure names what was not found.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

// Waits, serving this thread's messages, until done() or the deadline.
bool waitFor(const std::function<bool()>& done, DWORD milliseconds = 10000);

// A new empty folder under the temporary folder (ANSI path).
std::string freshFolder(const std::string& tag);
std::string readFile(const std::string& path); // "" when missing
bool fileExists(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// UTF-8 text (as in the test sources) in the ANSI code page, and back.
std::string ansi(const std::string& utf8);
std::string utf8(const std::string& ansi);

// Text of a window of another process, in the ANSI code page.
std::string windowText(HWND window);

struct Keyloom {
    std::string folder; // where keyloom.exe and its files live
    PROCESS_INFORMATION process{};
    HWND window = nullptr;

    // Copies keyloom.exe into folder; writes PASSWORD.TXT and INITIAL.TXT
    // first when given.
    explicit Keyloom(const std::string& folder);
    ~Keyloom(); // ends the process if it still runs

    std::string dataFile() const { return folder + "\\PASSWORD.TXT"; }
    std::string settingsFile() const { return folder + "\\INITIAL.TXT"; }

    // Starts it (from another current directory) and waits for its main
    // window: false, with a message, when it does not appear.
    bool start();
    void startOnly(); // without waiting for anything
    // Waits for the process to end and returns its exit code (0x103 if it
    // did not end in time).
    DWORD waitForExit(DWORD milliseconds = 15000);

    HWND control(int id) const { return GetDlgItem(window, id); }
    std::string text(int id) const { return windowText(control(id)); }
    bool enabled(int id) const { return IsWindowEnabled(control(id)); }
    std::vector<std::string> items() const;
    int selection() const;

    // Posts a command as a menu item or button would; `sync` sends it and
    // waits for it to be handled (never for one that asks a question).
    void command(int id, bool sync = true);
    // Selects list item index as a click would (LBN_SELCHANGE).
    void select(int index);
    // Types text into a field one character at a time, as a keyboard would.
    void type(int id, const std::string& utf8Text);
    // Replaces a field's text in one go, as a paste would.
    void paste(int id, const std::string& ansiText);
    // Real key presses to the focused control of the foreground Keyloom:
    // e.g. key(VK_DELETE), key('N', true) for Ctrl+N.
    void focus(int id);
    void key(WORD vk, bool ctrl = false);

    // The question or message box this Keyloom shows, found within the
    // deadline; null when none appears.
    HWND messageBox(DWORD milliseconds = 10000) const;
    std::string messageText(HWND box) const;
    void answer(HWND box, int button); // IDYES, IDNO, IDOK
};

} // namespace e2e

// Checks that name the caller's line when they fail.
#define EXPECT_EVENTUALLY(condition)                                                               \
    EXPECT_TRUE(e2e::waitFor([&] { return bool(condition); })) << "never true: " #condition
#define ASSERT_EVENTUALLY(condition)                                                               \
    ASSERT_TRUE(e2e::waitFor([&] { return bool(condition); })) << "never true: " #condition

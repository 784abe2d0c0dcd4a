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

// Paths are UTF-8 strings; the driver uses the W file functions.

// A new empty folder under the temporary folder.
std::string freshFolder(const std::string& tag);
std::string readFile(const std::string& path); // "" when missing
bool fileExists(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// A UTF-8 path as the W functions take it.
std::wstring wide(const std::string& utf8);

// UTF-8 text (as in the test sources) as Shift-JIS bytes (code page 932,
// as entry data is kept whatever the system's code page), and back.
std::string sjis(const std::string& utf8);
std::string fromSjis(const std::string& sjis);

// The names in a folder, sorted (without "." and "..").
std::vector<std::string> filesIn(const std::string& folder);

// One entry of a PASSWORD.TXT, in UTF-8; memo lines end with CR LF between
// them.
struct Entry {
    Entry(std::string title, std::string userId = "", std::string password = "",
          std::string address = "", std::string mail = "", std::string memo = "")
        : title(title), userId(userId), password(password), address(address), mail(mail),
          memo(memo) {}
    std::string title, userId, password, address, mail, memo;
};
// The bytes of a PASSWORD.TXT holding these entries, in Shift-JIS.
std::string dataFile(const std::vector<Entry>& entries);

// The bytes of an INITIAL.TXT with this corner and these two masking
// settings, the rest at their defaults: what Keyloom writes at its exit.
std::string settingsFile(long left, long top, int showUserId = 1, int showPassword = 1);

// A file held open without sharing, as another program might hold it, until
// release() or the end of the scope.
class HeldFile {
  public:
    explicit HeldFile(const std::string& path);
    ~HeldFile() { release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool held() const { return handle != INVALID_HANDLE_VALUE; }
    void release();

  private:
    HANDLE handle;
};

// Ends the Windows session as the system does: WM_QUERYENDSESSION and
// WM_ENDSESSION to every program with a window (wineboot --end-session).
// Returns false, with a message, when that does not finish in time.
bool endSession();

// A visible pop-up menu of this process, or null.
HWND popupMenuOf(DWORD processId);

// Types UTF-8 text into a control of another process's window as a keyboard
// would, a character message each.
void typeInto(HWND window, int id, const std::string& utf8Text);

// Text of a window of another process, as it is on the screen and in
// Shift-JIS.
std::wstring wideText(HWND window);
std::string windowText(HWND window);

// A build of keyloom.exe to run; null: the one already in the folder.
struct Program {
    const char* exe = KEYLOOM_EXE;
};

struct Keyloom {
    std::string folder; // where keyloom.exe and its files live
    PROCESS_INFORMATION process{};
    HWND window = nullptr;

    // Copies keyloom.exe (or another build of it, program) into folder and,
    // when given, writes PASSWORD.TXT with these bytes.
    explicit Keyloom(const std::string& folder, Program program = {});
    Keyloom(const std::string& folder, const std::string& passwordTxt, Program program = {});
    ~Keyloom(); // ends the process if it still runs

    std::string dataFile() const { return folder + "\\PASSWORD.TXT"; }
    std::string settingsFile() const { return folder + "\\INITIAL.TXT"; }

    // Starts it (from another current directory) and waits for its main
    // window: false, with a message, when it does not appear.
    bool start();
    void startOnly(); // without waiting for anything
    // Waits for the main window of a started Keyloom (after a question at
    // start-up, say).
    bool waitForWindow(DWORD milliseconds = 20000);
    // Looks once for the main window, or a question at start-up: the first
    // that has come, or null.
    HWND windowOrQuestion();
    // Waits for the process to end and returns its exit code (0x103 if it
    // did not end in time).
    DWORD waitForExit(DWORD milliseconds = 15000);

    HWND control(int id) const { return GetDlgItem(window, id); }
    std::string text(int id) const { return windowText(control(id)); }
    bool enabled(int id) const { return IsWindowEnabled(control(id)); }
    std::vector<std::string> items() const;
    int selection() const;
    // The character a field shows in place of each of its own (0 for none).
    wchar_t maskOf(int id) const;
    // The control that has the keyboard focus in Keyloom, or null.
    HWND focused() const;
    // Whether the process still runs (it has not ended yet).
    bool running() const;
    // The centre of list item index on the screen.
    POINT itemCentre(int index) const;
    // Keyloom's pop-up menu, once it appears within the deadline; null when
    // it does not.
    HWND popupMenu(DWORD milliseconds = 10000) const;

    // Posts a command as a menu item or button would; `sync` sends it and
    // waits for it to be handled (never for one that asks a question).
    void command(int id, bool sync = true);
    // Ends it through the exit menu item; the exit code, as waitForExit.
    DWORD exitByMenu() {
        command(100, false);
        return waitForExit();
    }
    // Sets a master password through its dialog, as the user would (the
    // key's derivation takes seconds under Wine), and closes the notice that
    // it was set; false, with a message, when a step does not come.
    bool setMasterPassword(const std::string& utf8Password);
    // Selects list item index as a click would (LBN_SELCHANGE).
    void select(int index);
    // Types text into a field one character at a time, as a keyboard would.
    void type(int id, const std::string& utf8Text);
    // Replaces a field's text in one go, as a paste would.
    void paste(int id, const std::string& sjisText);
    // Real key presses to the focused control of the foreground Keyloom:
    // e.g. key(VK_DELETE), key('N', true) for Ctrl+N, key(VK_F4, false,
    // true) for Alt+F4.
    void focus(int id);
    void key(WORD vk, bool ctrl = false, bool alt = false);
    // The right mouse button pressed and released over the list, at a
    // screen point.
    void rightClick(POINT at);

    // The question or message box this Keyloom shows, found within the
    // deadline; null when none appears.
    HWND messageBox(DWORD milliseconds = 10000) const;
    // The dialog of this Keyloom that holds control id (220: the options,
    // 125: the about box), found within the deadline; null when none appears.
    HWND dialog(int id, DWORD milliseconds = 10000) const;
    std::string messageText(HWND box) const;
    // Answers and waits until the box is gone and Keyloom has finished
    // what the answer started (when it is still running).
    void answer(HWND box, int button); // IDYES, IDNO, IDOK
};

} // namespace e2e

// Checks that name the caller's line when they fail.
#define EXPECT_EVENTUALLY(condition)                                                               \
    EXPECT_TRUE(e2e::waitFor([&] { return bool(condition); })) << "never true: " #condition
#define ASSERT_EVENTUALLY(condition)                                                               \
    ASSERT_TRUE(e2e::waitFor([&] { return bool(condition); })) << "never true: " #condition

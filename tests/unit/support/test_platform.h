// The in-memory platform of the unit tests: entry text converted to and from
// code page 932 as Windows does it, files in a map, scripted message-box
// answers and a fake main window.
#pragma once

#include "platform/platform.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fake {

struct MessageBoxCall {
    std::wstring text;
    unsigned style;
};

// Files by full path, with the time each was last written (0 for a file a
// test put there; writes count up from 1). Reading, writing, copying onto,
// renaming onto and deleting a path in failing fails with its error while it
// is there, as while another program holds the file; a path in folders is a
// folder.
extern std::map<std::wstring, std::string> files;
extern std::map<std::wstring, long long> fileTimes;
// The time the next file written gets, for one that another PC writes.
long long nextFileTime();
extern std::map<std::wstring, platform::FileError> failing;
extern std::set<std::wstring> folders;
// Files written (a save writes one temporary file), milliseconds slept between
// attempts, and the reasons given for holding up the end of the session
// (which the system refuses, as Wine does).
extern int writes;
extern int slept;
// Bytes the disk still takes (-1: no end); a write that does not fit fails
// with DiskFull. Whether the disk gives a file a second name (a hard link:
// no room needed), as NTFS does and FAT does not.
extern long long spaceLeft;
extern bool hardLinks;
// Whether two paths are names of one file (hard links). A rename from one
// to the other does nothing, as under Wine.
bool sameFile(const std::wstring& a, const std::wstring& b);
// Each file's own protection (none when absent), and whether the system
// refuses to give a new file any protection, as where encryption is off.
extern std::map<std::wstring, platform::FileProtection> protections;
extern bool protectionRefused;
extern std::vector<std::wstring> shutdownReasons;
extern bool shutdownBlocked;
// Files wiped (written over with zeros, then removed), first to last; a
// name of a file that has others is only removed.
extern std::vector<std::wstring> wiped;
// Runs inside every sleep, once the clock (now) has moved on, and after
// every file written (its path): what another program or PC does meanwhile.
extern std::function<void()> duringSleep;
extern std::function<void(const std::wstring&)> afterWrite;

extern std::wstring modulePath;

// Every message box shown, and the answers to give, first to last; when the
// answers run out the box is answered No.
extern std::vector<MessageBoxCall> messageBoxes;
extern std::deque<int> answers;

extern bool minimized;
extern platform::Rect windowRect;

// Runs inside the next message box, as a nested message loop would run what
// arrives meanwhile (the end of the session, say); then it is cleared.
extern std::function<void()> duringMessageBox;
// Message boxes and dialogs open now, one inside the other, first to last.
// Those the program closed return as declined: キャンセル, else いいえ, else
// OK.
struct OpenQuestion {
    bool dialog;
    bool cancelled = false;
};
extern std::vector<OpenQuestion> questionsOpen;
// The most that were open at once.
extern std::size_t questionsDeepest;
// Opens a question, or closes the last one: whether it was cancelled.
void questionOpened(bool dialog);
bool questionClosed();

// The main window as the logic sees it: list, fields, menus and what the
// logic asked of the window. What happens to the window goes to the handlers
// it was run with, as the real window procedures hand it on: setting a
// single-line field's text raises its change notification at once, as an
// edit by the user does for every field, and sent commands and the pop-up
// menu's choice run before sendCommand or showPopupMenu returns.
struct View {
    std::vector<std::string> items;
    int selection = -1;
    bool redraw = true;
    int extent = 0;
    std::map<int, std::wstring> fields; // what the screen shows
    std::map<int, bool> modified;       // changed by the user since Keyloom set it
    std::map<int, std::size_t> carets;  // in characters
    int beeps = 0;
    std::map<int, bool> masked;
    std::map<int, bool> enabled;
    int focus = 0;
    bool focusSelectsAll = false;
    std::string windowIcon;
    std::map<int, std::string> buttonIcons;
    int dpi = 96;          // the screen's, as the window sees it
    int windowIconDpi = 0; // the DPI its icons were drawn for
    std::map<int, int> buttonIconDpi;
    // By command: its menu items and the button that carries it.
    std::map<int, bool> grayed, checked;
    std::vector<platform::Point> popups;
    std::deque<int> popupChoices; // command chosen in the next pop-up, 0: dismissed
    std::vector<std::pair<int, int>> sentCommands;
    bool ctrlDown = false;
    bool moved = false;
    platform::Point movedTo{0, 0};
    int endedWith = 0; // EndDialog's value; 0 while the window runs
    int clipboardEmptied = 0;
    platform::MutexState mutex = platform::MutexState::Created;
    bool broughtBack = false;
    bool windowCreated = false;
    std::function<void()> whileWindowRuns; // the user's session in runMainWindow
    // The locked view shows; the fields whose text was written over in
    // their controls, and what each held then.
    bool locked = false;
    std::map<int, std::wstring> wipedFields;
};
extern View view;

// Opens the main window with the program's handlers, as runMainWindow does:
// its set-up runs, and it stays open until the next reset.
void openMainWindow(const platform::MainWindowHandlers& handlers);
// What the window's procedures hand its handlers: a key or the right button
// on the list (true: consumed), a move to a screen of another DPI, the end of
// the session asked about (the answer) and ended or cancelled.
bool listKey(int key, bool ctrl = false);
bool rightButton(int x, int y, bool down);
void changeDpi(int dpi, const platform::Rect& suggested);
bool querySessionEnd(bool critical = false);
void endSession(bool ending = true);
// The window becomes the active one.
void activate();
// Windows locks the session (or the PC goes to sleep); a second start
// brings the window back, which is handled at the loop's next turn.
void lockSession();
void bringBack();
// Whether the window asked to hear of session changes, and how many more
// times that fails before it succeeds.
extern bool sessionWatched;
extern int sessionWatchFailures;
// The tick count of the user's last input anywhere.
extern unsigned lastInput;
// The window's handling of what postToMainWindow asked for (the message
// loop's next turn).
void handlePosted();
// The handlers the window was opened with (none before).
extern platform::MainWindowHandlers windowHandlers;

// The fake main window.
extern const WindowHandle window;
// Pixel width of a byte of list text, and the list's item height.
constexpr int charWidth = 7;
constexpr int itemHeight = 13;

// The allocation of memory after this many more fails, as when memory has
// run out (0: the next one); the ones after it succeed again. -1: none fails.
extern int allocationsBeforeFailure;
// Whether the array last freed held only zero bytes by then.
extern bool lastArrayWiped;

// Everything back to the state of a fresh start in C:\Keyloom.
void reset();

// Shift-JIS bytes for UTF-8 text, for writing test data readably.
std::string sjis(const std::string& utf8);
// Unicode text for UTF-8 text.
std::wstring wide(const std::string& utf8);
// UTF-8 text in another encoding by its iconv name ("UTF-16BE"), no mark.
std::string encoded(const char* encoding, const std::string& utf8);

// The user's edit of a field: its text becomes text with the caret after
// what was inserted at caret (the whole text when no caret is given), and the
// field notifies the change.
void edit(int id, const std::wstring& text, std::size_t caret = std::wstring::npos);
// What a field shows, as the bytes it would be stored as.
std::string shown(int id);

// ---- Transfer (transfer_platform.cpp) ----

// Everything the transfer operations did, in one ordered log: "clipboard AB"
// (a text written at once), "offer" (text put up to be made when asked for),
// "render AB" (made for the target), "refused stranger" (a request that got
// nothing), "clipboard busy", "clipboard refused", "clipboard emptied",
// "front form" (a window brought to the front), "front refused", "Ctrl+V"
// and "Tab" (a batch of keys), "keys dropped", "shell TEXT".
extern std::vector<std::string> transferLog;
// The clipboard's text; none when it is empty or holds text on offer only.
extern std::optional<std::string> clipboard;
// The next n opens of the clipboard fail, as while another program holds it.
extern int clipboardBusyFor;
// The clipboard opens but takes no data.
extern bool clipboardRefuses;

// How a program opens the clipboard to read: through its own window, with no
// window (as OLE does), or through a hidden window of the process of the
// content inside it (a store app, whose frame belongs to another process).
enum class Reader { Window, NoWindow, ContentProcess };

// A top-level window below the main window, as the target search sees it,
// and as a target behaves once keys reach it.
struct TopWindow {
    std::string name;
    bool visible = true;
    bool enabled = true;
    bool popup = false;
    bool aside = false;               // a tool window, of no size, cloaked, ...
    std::string owner = "";           // the window that owns it
    std::string lastActivePopup = ""; // of a root owner; "Keyloom": the main window
    bool elevated = false;            // runs as administrator
    bool refusesFront = false;
    // Milliseconds after coming to the front before it takes the keyboard;
    // -1 never.
    int takesInputAfter = 0;
    // Milliseconds from a Ctrl+V to its read of the clipboard; -1 never.
    int readsAfter = 0;
    // Before its own read, a clipboard manager asks for the text (it must
    // get nothing), or another program takes the clipboard.
    bool strangerAsksFirst = false;
    bool clipboardTakenFirst = false;
    // It closes (or loses the front) after reading this many pieces.
    int closesAfterReads = -1;
    Reader reader = Reader::Window;
};
// Top to bottom, the first lying directly below the main window.
extern std::vector<TopWindow> windowsBelow;
// The name of the window last brought to the front; "" for none.
extern std::string foreground;
WindowHandle handleOf(const std::string& name);
// Milliseconds the user keeps holding a modifier key from now on.
extern int modifiersHeldFor;
// Another program asks for the text on offer through window from, or
// without a window when it is null; "refused stranger" is logged when it got
// nothing.
void strangerAsks(WindowHandle from);
// Another program empties the clipboard and puts its own text there.
void takeClipboard();

// The fake's clock in milliseconds: pauses advance it. duringPause runs
// inside every pause, as a message sent by another program would (the end of
// the session, say); the pauses so far are counted first.
extern unsigned now;
extern std::function<void()> duringPause;
extern int pauses;

// The main window's message loop while the user does nothing for ms
// milliseconds: the clock moves on (across the tick count's wrap too), and
// the window's timers run out when their time comes, the earlier first. The
// clipboard's sequence number moves on with every change,
// the making of offered text included (which Wine does not count; the fake
// takes the stricter view).
void passTime(unsigned ms);

void resetTransfer();

// ---- Random source and the secondary dialogs (dialog_platform.cpp) ----

// The cryptographic source: the bytes of randomScript first, then a fixed
// pseudo-random stream, the same in every run. randomFails makes it refuse.
extern std::deque<unsigned char> randomScript;
extern bool randomFails;
// The system's decryption fails, as a broken cryptographic provider's does.
extern bool decryptionFails;

// The open dialog as the logic sees it. Writing a text raises the field's
// change notification before the write returns, as an edit control does.
struct DialogView {
    platform::Dialog kind = platform::Dialog::Options;
    bool open = false;
    std::map<int, std::string> texts;
    std::map<int, std::wstring> lost; // typed, but beyond code page 932: "?" in texts
    std::map<int, bool> checked;
    std::map<int, bool> disabled;
    std::map<int, std::pair<int, int>> arrowRanges; // lowest, highest
    std::wstring caption;
    bool moved = false;
    platform::Point movedTo{0, 0};
    int endedWith = -1; // -1 until endDialog
    // Masked fields as typed, until taken; the program's own texts; the
    // controls hidden.
    std::map<int, std::wstring> passwords;
    std::map<int, std::wstring> labels;
    std::map<int, bool> hidden;
    int focus = 0;
    int defaultButton = platform::notify::ok;
};
extern DialogView dialog;
extern const WindowHandle dialogWindow;
// The next dialog's outer rectangle, and where the main window's client area
// begins on the screen.
extern platform::Rect dialogRect;
extern platform::Point clientOrigin;
// Runs while the next dialog is open: the user's doings in it.
extern std::function<void()> whileDialogOpen;
extern std::vector<platform::Dialog> dialogsRun;
// A command in the open dialog, handed to its handlers as its procedure does.
bool dialogCommand(int id, int notification = 0);
// The master passwords the user types into the next password dialogs
// (Dialog::Password, when whileDialogOpen is not set), each followed by OK;
// none: キャンセル. When they run out, the dialog is cancelled.
extern std::deque<std::optional<std::wstring>> typedPasswords;
// The common file dialogs: the paths the user chooses in the next ones,
// first to last (none: キャンセル; when they run out, the dialog is
// cancelled), what runs while the next one is open, and every one opened:
// "open", or "save " and the name it proposed.
extern std::deque<std::optional<std::wstring>> chosenFiles;
extern std::function<void()> whileFileDialogOpen;
extern std::vector<std::wstring> fileDialogsRun;
// Keys derived (PBKDF2), those derived while the wait cursor was not shown,
// and whether it is shown now.
extern int derivations;
extern int derivedWithoutWaitCursor;
extern bool waitCursor;

void resetDialogs();

} // namespace fake

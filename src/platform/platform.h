// What Keyloom's logic needs from the system, named for what it is used for.
//
// Two implementations exist and the linker picks one: win32/ over the Win32
// interface (the program), and tests/unit/support/ in memory (the unit tests).
// Nothing outside those two folders includes <windows.h>.
//
// The platform owns the windows. When something happens to one, it calls the
// handler the program handed over with it (MainWindowHandlers,
// DialogHandlers), and nothing else of the program.
#pragma once

#include "base/secure_string.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Window handles are the system's own; the logic only passes them on. The
// main window's handle and its menus' stay inside the platform, which acts
// on them for the logic.
struct HWND__;
using WindowHandle = HWND__*;

namespace platform {

// ---- Text: entry data is code page 932 bytes, the screen is Unicode ----
//
// Entry bytes, in memory and in PASSWORD.TXT, are Shift-JIS (code page 932)
// whatever code page the system uses. They meet the screen only through the
// two conversions below, which the platform's field, list and shell
// operations use too.

// True when c is the first byte of a double-byte character in code page 932.
bool isLeadByte(unsigned char c);

// Shift-JIS bytes as Unicode text for the screen.
std::wstring sjisToWide(std::string_view text);
// Unicode text as Shift-JIS bytes. Every character that code page 932 cannot
// hold (no look-alike is taken) becomes "?" and, when lost is given, is
// appended to it once.
std::string wideToSjis(std::wstring_view text, std::wstring* lost = nullptr);
// How many bytes wideToSjis(text) makes, without making them.
std::size_t sjisLength(std::wstring_view text);

// ---- Files ----
// Paths are Unicode, so that a folder of any name works.

// The full path of the running executable, however long it is.
std::wstring modulePath();
// True when path names a file (not a folder) that exists.
bool fileExists(const std::wstring& path);

// Why a file could not be read or written, in the terms the user can act on.
enum class FileError {
    None,
    NotFound, // no such file
    InUse,    // another program holds it: sharing or lock violations
    Denied,   // no permission
    Folder,   // a folder stands where the file should be
    DiskFull,
    TooLarge,   // more than the program can hold in memory
    Protection, // the file's own protection cannot be given to a new file
    Other,
};

// What keeps a file from other eyes beyond its folder's rules: the access
// rules set on the file itself (not those it inherits from its folder), as
// the system's self-relative security descriptor, empty when it has none;
// and whether the system encrypts it for its owner.
struct FileProtection {
    std::string accessRules;
    bool encrypted = false;
};
FileError readProtection(const std::wstring& path, FileProtection& protection);

// Reads a whole file into bytes; on failure bytes is left empty.
FileError readWholeFile(const std::wstring& path, std::string& bytes);
// Writes bytes as a new file at path, replacing one that is there: created
// with protection (Protection when the system cannot give it), every write
// checked, then flushed to the disk. What a failed write left is removed.
FileError writeFile(const std::wstring& path, std::string_view bytes,
                    const FileProtection& protection = {});
// Gives the file at from the second name to, replacing a file there: a hard
// link, which takes no room and shares the file's protection; where the disk
// has none (FAT, exFAT), a copy with from's protection.
FileError linkOrCopyFile(const std::wstring& from, const std::wstring& to);
// Renames from to to in one step, replacing to where it exists, and flushed
// to the disk: at no moment is there no file at to.
FileError moveFileOver(const std::wstring& from, const std::wstring& to);
void deleteFile(const std::wstring& path);
// When the file was last written, in the system's file time; -1 when there
// is no such file.
long long fileTime(const std::wstring& path);
// Creates a file in folder and removes it again: whether Keyloom can keep
// its files there.
FileError checkFolderWritable(const std::wstring& folder);
// Waits without serving any message: a short pause between attempts on a
// file that another program holds for a moment.
void sleep(int ms);

// ---- Files shared with other PCs (a USB stick, a network share, a cloud folder) ----

// A file's size and last write time, as one look gives them: enough to tell
// that someone has written it since. Size -1: no file there.
struct FileStamp {
    long long size = -1;
    long long time = -1;
    bool operator==(const FileStamp& other) const {
        return size == other.size && time == other.time;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};
FileStamp fileStamp(const std::wstring& path);
// The names of the files (not the folders) in folder.
std::vector<std::wstring> filesInFolder(const std::wstring& folder);

// A lock file that one process at a time holds: made new (never one that is
// there), shared with no one, and removed by the system when released or
// when the process ends, however it ends. One at a time per process.
enum class LockFile {
    Taken,
    Exists, // someone else's is there
    Failed, // no file can be made there (a read-only folder, a folder of that name)
};
LockFile takeLockFile(const std::wstring& path);
void releaseLockFile();

// While the data is saved at the end of the session: asks Windows to wait,
// giving the reason to the user. False where the system cannot (Wine).
bool blockShutdown(const std::wstring& reason);
void unblockShutdown();

// ---- Message boxes ----

// Styles and answers as the system defines them.
namespace mb {
constexpr unsigned ok = 0x0;
constexpr unsigned yesNoCancel = 0x3;
constexpr unsigned yesNo = 0x4;
constexpr unsigned iconError = 0x10;
constexpr unsigned iconWarning = 0x30;
constexpr unsigned iconInformation = 0x40;
constexpr unsigned defaultSecond = 0x100;
constexpr unsigned defaultThird = 0x200;
constexpr int answerOk = 1;
constexpr int answerCancel = 2;
constexpr int answerYes = 6;
constexpr int answerNo = 7;
} // namespace mb

// Codes of the system's messages that the logic acts on.
namespace key { // virtual-key codes
constexpr int tab = 0x09, enter = 0x0D, control = 0x11, space = 0x20, up = 0x26, down = 0x28,
              del = 0x2E, f = 0x46, l = 0x4C, n = 0x4E, v = 0x56, z = 0x5A, apps = 0x5D, f2 = 0x71,
              f3 = 0x72;
} // namespace key
namespace notify {                      // dialog commands and control notifications
constexpr int ok = 1;                   // IDOK: the default button, Enter
constexpr int cancel = 2;               // IDCANCEL: Esc, Cancel, the close box, Alt+F4
constexpr int listSelectionChanged = 1; // LBN_SELCHANGE
constexpr int listDoubleClick = 2;      // LBN_DBLCLK
constexpr int staticDoubleClick = 1;    // STN_DBLCLK
constexpr int buttonClicked = 0;        // BN_CLICKED
constexpr int editChange = 0x300;       // EN_CHANGE
constexpr int editLostFocus = 0x200;    // EN_KILLFOCUS
} // namespace notify

// A message box with the caption "Keyloom", owned by Keyloom's topmost
// window: the dialog open last, else the main window, else none (before the
// main window is there). Returns the answer.
int messageBox(const std::wstring& text, unsigned style);

// ---- Windows ----

struct Rect {
    int left, top, right, bottom;
};
struct Point {
    int x, y;
};

// The outer rectangle of a window (a dialog) in screen pixels.
Rect windowRect(WindowHandle window);
// Moves a window's (a dialog's) outer top-left corner, keeping its size and
// Z order.
void moveWindow(WindowHandle window, int left, int top);

// ---- Start-up ----

enum class MutexState { Created, AlreadyExists, Failed };
// Creates the named mutex "Keyloom", owned by this process until it ends.
MutexState createSingleInstanceMutex();
// Restores Keyloom's main window (captioned "Keyloom", or so while locked)
// when it is minimized, brings it to the front and tells it so (its
// broughtBack handler); nothing when there is none.
void bringBackRunningInstance();
// The main window's two timers: the forgetting of what was copied, and the
// lock's check of the idle time.
enum class Timer { Forget, Lock };
// What the program does when something happens to the main window. Each is
// called from the window's own procedures and returns to them; a null one
// means nothing to do.
struct MainWindowHandlers {
    // The window is created and not shown yet (WM_INITDIALOG).
    void (*setUp)() = nullptr;
    // A menu item, button or control notification (WM_COMMAND); false for one
    // the program does not handle, which gets the dialog's default processing.
    bool (*command)(int id, int notification) = nullptr;
    // A key pressed on the entry list; true when consumed, with its character.
    bool (*listKey)(int key, bool ctrl) = nullptr;
    // The right button pressed (down) or let go on the entry list, in the
    // list's client coordinates; true when consumed.
    bool (*listRightButton)(int x, int y, bool down) = nullptr;
    // The window has become the active one.
    void (*activated)() = nullptr;
    // The window moved to a screen of another scale: the new DPI and the
    // outer rectangle the system suggests (WM_DPICHANGED).
    void (*dpiChanged)(int dpi, const Rect& suggested) = nullptr;
    // F1 (WM_HELP).
    void (*help)() = nullptr;
    // Windows asks whether the session may end (critical: it ends whatever
    // the answer); false refuses.
    bool (*sessionEndQueried)(bool critical) = nullptr;
    // The session ends (ending), and the process with it once this returns;
    // or its end was cancelled.
    void (*sessionEnded)(bool ending) = nullptr;
    // As the clipboard's owner: a program asks for the text on offer
    // (renderClipboardText hands it over), or another program emptied the
    // clipboard.
    void (*clipboardTextRequested)() = nullptr;
    void (*clipboardTaken)() = nullptr;
    // What postToMainWindow asked for, once the messages under way are done.
    void (*posted)() = nullptr;
    // Windows locks the session or disconnects it (once watchSessionChanges
    // has succeeded), or the PC is about to sleep.
    void (*sessionLocked)() = nullptr;
    // A second start of Keyloom brought the window to the front; posted, so
    // it runs once the messages under way are done.
    void (*broughtBack)() = nullptr;
    // One of the window's timers (startTimer) has run out.
    void (*timerElapsed)(Timer timer) = nullptr;
};
// Runs the main window (template "KEYLOOM") modally with these handlers and
// returns what it ended with, or -1 when it cannot be created.
int runMainWindow(const MainWindowHandlers& handlers);

// ---- The main window ----
// These act on the main window and its controls, named by the ids of
// resource.h.

void endMainWindow(int result);
bool isMainWindowMinimized();
// Its outer rectangle in screen pixels, where it is saved and where dialogs
// open over it.
Rect mainWindowRect();
// Moves and sizes it to this outer rectangle, keeping its Z order.
void setMainWindowRect(const Rect& rect);
// Moves its outer top-left corner, keeping its size and Z order.
void moveMainWindow(int left, int top);
// A point of its client area in screen pixels.
Point mainWindowClientToScreen(Point point);
// The dots per inch of the screen it is on (96 at 100 %).
int mainWindowDpi();
// Sends the command to the main window and returns once it has been handled.
void sendCommand(int id, int notification = 0);
// Has the window call its posted handler after the messages it handles now:
// for what must not run inside a message another program waits for.
void postToMainWindow();
// The window's large and small icons, and a button's, at the sizes that the
// system asks for at dpi. Each icon is loaded once per size; buttons showing
// the same picture share it.
void setWindowIcon(const char* iconName, int dpi);
void setButtonIcon(int buttonId, const char* iconName, int dpi);
int screenWidth();
int screenHeight();
// The high bit of the Ctrl key's state for the message being handled.
bool isCtrlDown();

// Fields (edit controls). Their text is Unicode on the screen and Shift-JIS
// bytes here.

// Shows text in the field as Keyloom's own: the field counts as unchanged.
void setFieldText(int id, std::string_view text);
// Replaces the field's text as an edit of the user's would: the field counts
// as changed, and the field's own undo takes it back.
void replaceFieldText(int id, std::string_view text);
// True once the user has changed the field since Keyloom last set it.
bool isFieldModified(int id);
// The field's text; characters code page 932 cannot hold come back as "?"
// and are listed in lost.
SecureString fieldText(int id, std::wstring* lost = nullptr);
bool isFieldEmpty(int id);
// Where the caret stands, as a byte offset into fieldText(id).
std::size_t fieldCaret(int id);
// Replaces bytes [from, to) of fieldText(id) with text (removes them when it
// is empty) as part of the user's edit; both lie on character boundaries,
// and the caret ends up after text.
void replaceFieldBytes(int id, std::size_t from, std::size_t to, std::string_view text = {});
void setMasked(int id, bool masked);
void focusAndSelectAll(int id);
void enableControl(int id, bool enable);
// The standard beep of an input that was refused.
void beep();

// The entry list (control 200).
int selectedIndex(); // -1 when none
// No selection-change notification; an index beyond the last selects nothing.
void selectItem(int index);
void appendItem(std::string_view text);
void insertItem(int index, std::string_view text);
void deleteItem(int index);
void removeAllItems();
void setListRedraw(bool on);
void setHorizontalExtent(int pixels);
// The width in pixels of each text in the list's font; returns the font's
// average character width.
int measureListTexts(const std::string_view* texts, int count, int* widths);
struct ItemAtPoint {
    int index;
    bool outside;
};
ItemAtPoint listItemFromPoint(int x, int y);
Point listToScreen(int x, int y);
Point listScreenCorner(); // the top-left of its outer rectangle
// Commands: every menu item that carries command id, in the menu bar and in
// the list's pop-up menu, and the button beside a field that does the same.
void enableCommand(int id, bool enable);
void checkCommand(int id, bool checked);
// Opens the list's pop-up menu (submenu 0 of "POPMENU") at a screen point;
// the chosen item reaches the main window as a command.
void showPopupMenu(int x, int y);

// ---- Transfer: clipboard text, the windows below, key events, pauses, shell ----

// The clipboard, with the main window as its owner. Every text Keyloom puts there
// carries the marks that keep it out of the clipboard history, the cloud
// clipboard and clipboard monitors.

// One attempt at opening the clipboard and emptying it; false while another
// program holds it open.
bool emptyClipboard();

enum class ClipboardWrite {
    Written, // the text is the clipboard's content
    Busy,    // another program holds the clipboard open: it is unchanged
    Refused, // the clipboard took nothing and is left empty
};
// One attempt at making text (Shift-JIS) the clipboard's content at once: as
// Unicode text, and as ANSI text marked Japanese for programs that read that.
ClipboardWrite setClipboardText(std::string_view text);
// One attempt at putting up Unicode text that is made only when a program
// asks for it: the main window's clipboardTextRequested handler then runs
// while that program waits.
ClipboardWrite offerClipboardText();
// Inside the clipboardTextRequested handler: hands text (Shift-JIS) over as
// the offered Unicode text.
void renderClipboardText(std::string_view text);
// The window that has the clipboard open, or null when none has it open or
// it was opened without a window (as OLE does).
WindowHandle clipboardOpener();
// The id of the process that window belongs to; 0 for no window.
unsigned processOf(WindowHandle window);
// Whether process owns a window inside window, at any depth.
bool ownsWindowInside(unsigned process, WindowHandle window);

// The top-level window directly below the main window, or below window, in
// the Z order; null when there is none.
WindowHandle windowBelowMainWindow();
WindowHandle windowBelow(WindowHandle window);
bool isMainWindow(WindowHandle window);
bool isWindowVisible(WindowHandle window);
bool isWindowEnabled(WindowHandle window);
// The 32-bit window style; negative when it has WS_POPUP.
int windowStyle(WindowHandle window);
// Windows the user does not see as an application's: a tool window, one that
// never takes the focus, one of no size, or one cloaked on another virtual
// desktop.
bool isAsideWindow(WindowHandle window);
// The window that owns window, or null.
WindowHandle ownerOf(WindowHandle window);
// The owner at the top of window's chain of owners (window itself if none),
// and the pop-up of that chain that was active last (the root owner itself
// when it has none).
WindowHandle rootOwnerOf(WindowHandle window);
WindowHandle lastActivePopupOf(WindowHandle window);
// Whether window's program runs at a higher integrity level than this one
// (as administrator): the system then drops the keys sent to it without a
// word. False when it cannot be told.
bool runsAboveUs(WindowHandle window);
// Asks for window to come to the front with the keyboard input; false when
// refused. Its own thread completes the switch later.
bool bringToFront(WindowHandle window);
bool isForeground(WindowHandle window);
// True once window is the foreground window and its thread has activated
// it, so that key events reach it.
bool hasKeyboardInput(WindowHandle window);

// Key events into the system's input stream, as one batch that nothing can
// come between, with their scan codes; false when not all of them went in.
struct KeyEvent {
    int vk;
    bool up;
};
bool sendKeys(const KeyEvent* events, int count);
// Whether the user holds Shift, Ctrl, Alt or a Windows key down right now.
bool modifierKeysDown();
// Drops the keyboard messages waiting in this program's queue.
void dropQueuedKeys();

// Milliseconds since the system started.
unsigned tickCount();
// Waits ms milliseconds serving only the messages that other threads send to
// this one: the user's input and posted messages wait until later. Sent
// messages can run any handler meanwhile, the end of the session included.
void pauseServingSentMessages(int ms);

// Hands text (a path, a web address, a mail link) to the shell's default
// action, owned by the main window; returns at once, whatever the shell made of it.
void openWithShell(const std::wstring& text);

// ---- Password generator and the options and about dialogs ----

// Fills buffer with bytes of the system's cryptographic random source; false
// when the source gave none.
bool randomBytes(void* buffer, std::size_t size);

// The secondary dialogs, by template: "KEYLOOMOPTION", "KEYLOOMABOUT",
// "KEYLOOMFIND", the master password's "KEYLOOMMASTER" (set, change, turn
// off) and "KEYLOOMPASSWORD" (asked for a protected file), and
// "KEYLOOMIMPORT" (what an import would do).
enum class Dialog { Options, About, Find, MasterPassword, Password, Import };
// What the program does in a dialog, as for the main window.
struct DialogHandlers {
    // WM_INITDIALOG; the dialog manager then focuses the first control,
    // unless set-up gave another one the focus.
    void (*setUp)(WindowHandle dialog, void* context) = nullptr;
    // WM_COMMAND; false for one the program does not handle.
    bool (*command)(WindowHandle dialog, int id, int notification, void* context) = nullptr;
    // What this one opening of the dialog works on, handed to both: another
    // can open inside its message loop, with its own.
    void* context = nullptr;
};
// Runs the dialog modally over Keyloom's topmost window with these handlers;
// returns what it ended with.
int runDialog(Dialog dialog, const DialogHandlers& handlers);
void endDialog(WindowHandle dialog, int result);
// Closes every message box and dialog of Keyloom's that is open, as if
// キャンセル were chosen in each (いいえ in a box without it, OK in one with
// neither): each returns so to the code that opened it, once the handler
// running now has returned.
void cancelOpenQuestions();

void setCaption(WindowHandle window, const std::wstring& caption);

// A dialog's controls, by id. Setting a text puts the caret after it, where
// the user goes on typing. Characters code page 932 cannot hold come back as
// "?" and are listed in lost.
std::string dialogItemText(WindowHandle dialog, int id, std::wstring* lost = nullptr);
void setDialogItemText(WindowHandle dialog, int id, std::string_view text);
bool isDialogItemChecked(WindowHandle dialog, int id);
void checkDialogItem(WindowHandle dialog, int id, bool checked);
void enableDialogItem(WindowHandle dialog, int id, bool enable);
// The range of an up-down control's arrows.
void setArrowRange(WindowHandle dialog, int id, int lowest, int highest);
void showDialogItem(WindowHandle dialog, int id, bool show);
// Makes button id the dialog's default (Enter presses it) and gives it the
// focus; called from set-up, it keeps the focus past it.
void setDefaultButton(WindowHandle dialog, int id);

// ---- Import and export: the common file dialogs ----
// Each opens over Keyloom's topmost window and counts among its dialogs
// while open: cancelOpenDialogs and cancelOpenQuestions close it as
// キャンセル does. The path chosen, or none when cancelled.

// The open dialog for a CSV file ("CSV ファイル (*.csv)", "すべてのファイル
// (*.*)"), first in the user's Downloads folder.
std::optional<std::wstring> chooseFileToOpen();
// The save dialog for a CSV file, proposing name in the user's Documents
// folder (never beside keyloom.exe); it asks before replacing a file.
std::optional<std::wstring> chooseFileToSave(const std::wstring& name);

// ---- The master password: its fields, the wait for its key, the clear copies ----

// Gives the keyboard focus to a dialog's control.
void focusDialogItem(WindowHandle dialog, int id);
// A dialog's text that is the program's own (a prompt naming a file).
void setDialogItemLabel(WindowHandle dialog, int id, const std::wstring& text);
// A dialog's masked field: the text as typed, and the field emptied at once,
// its undo with it, so that the control keeps no copy of the password.
SecureWideString takeDialogPassword(WindowHandle dialog, int id);
// The wait cursor while a key is derived (most of a second), then the
// cursor as it was.
void showWaitCursor(bool waiting);
// Overwrites the file with zeros where it lies on the disk, flushes it, and
// then removes it. A file with other names (hard links) is not overwritten:
// only this name goes, and the data stays with the others.
FileError wipeFile(const std::wstring& path);

// ---- Finding entries, and forgetting what was copied ----

// What the user looks for, folded once for the many fields it is looked for
// in.
struct SearchText {
    std::wstring folded;
};
SearchText searchText(std::string_view text);
// Whether field (Shift-JIS) contains text as Windows compares Japanese text
// for a search: whatever the case, full-width or half-width (a half-width
// katakana with its sound mark as one character), hiragana or katakana. An
// empty text is in every field.
bool containsText(std::string_view field, const SearchText& text);

// The clipboard's sequence number, which moves on with every change of what
// it holds.
unsigned clipboardSequence();
// One attempt at emptying the clipboard if it still holds what Keyloom put
// there when its sequence number was sequence: the main window still owns it
// and nothing changed since. Anything else is left alone. False only while
// another program holds the clipboard open.
bool emptyClipboardIfUnchanged(unsigned sequence);
// A timer of the main window: its timerElapsed handler runs once, ms from
// now. Starting it again while it runs starts it over; stopping it, the
// handler does not run.
void startTimer(Timer timer, int ms);
void stopTimer(Timer timer);

// ---- The lock ----

// The main window's locked view: the list, every field, label and button
// hidden (not merely emptied), the line "Keyloom はロックされています。" and
// the default button "ロックを解除(&U)..." shown with the focus, the caption
// "Keyloom (ロック中)", and the menu's lock item (IDM_LOCK) the unlock's
// (IDM_UNLOCK); or, not locked, everything as it was, the lock item grayed
// until enableCommand says otherwise.
void showLockedView(bool locked);
// Gives a field's edit control room for this many characters (UTF-16
// units) at once: for a text that fits, the control then never moves its
// text or its undo text to a larger block, which would leave the old one
// behind unwiped, and wipeField reaches all of both. Input is not limited
// by it: the program's own limit cuts what goes beyond.
void reserveField(int id, int characters);
// Overwrites what a field's edit control keeps of its text with filler,
// without undo, then empties the field and its undo. A control reuses its
// buffer for a text that fits, so a shorter text leaves the rest of a
// longer one behind it; the filler fills the whole room.
void wipeField(int id);
// The tick count (see tickCount) of the last input anywhere in the user's
// session, not only in Keyloom.
unsigned lastInputTick();
// Asks Windows to tell the main window when this session is locked or
// disconnected (its sessionLocked handler); false when that cannot be
// done yet (the service that tells it is still starting).
bool watchSessionChanges();
// Closes Keyloom's own dialogs that are open, as if キャンセル were chosen in
// each; its message boxes stay.
void cancelOpenDialogs();

// ---- Cryptography: the master password's protected file ----
//
// Byte strings go in as string_views of their bytes. Every call returns false
// (or Decryption::Failed) only when the system could not do it at all.

// 32 bytes of a key, or of a value computed under one; wiped when dropped, so
// that a copy the compiler makes is wiped too.
struct Key32 {
    std::array<unsigned char, 32> bytes{};
    ~Key32() { secureWipe(bytes.data(), bytes.size()); }
};
using Sha256Digest = std::array<unsigned char, 32>;
using GcmNonce = std::array<unsigned char, 12>;
using GcmTag = std::array<unsigned char, 16>;

bool sha256(std::string_view bytes, Sha256Digest& digest);
bool hmacSha256(const Key32& key, std::string_view bytes, Key32& mac);
// One block of PBKDF2-HMAC-SHA256: a longer output would double the user's
// cost and not an attacker's.
bool pbkdf2Sha256(std::string_view password, std::string_view salt, unsigned iterations,
                  Key32& key);
// AES-256-GCM over plain, authenticating associated too; cipher has plain's
// size.
bool aesGcmEncrypt(const Key32& key, const GcmNonce& nonce, std::string_view associated,
                   std::string_view plain, std::string& cipher, GcmTag& tag);
enum class Decryption { Ok, TagMismatch, Failed };
// plain is filled only when the tag verifies.
Decryption aesGcmDecrypt(const Key32& key, const GcmNonce& nonce, std::string_view associated,
                         std::string_view cipher, const GcmTag& tag, SecureString& plain);

} // namespace platform

#include "test_platform.h"

#include "resources/resource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <stdexcept>

namespace fake {

std::map<std::wstring, std::string> files;
std::map<std::wstring, long long> fileTimes;
std::map<std::wstring, platform::FileError> failing;
std::set<std::wstring> folders;
int writes;
int slept;
long long spaceLeft;
bool hardLinks;
std::map<std::wstring, platform::FileProtection> protections;
bool protectionRefused;
std::vector<std::wstring> shutdownReasons;
bool shutdownBlocked;
std::vector<std::wstring> wiped;
std::function<void()> duringSleep;
std::function<void(const std::wstring&)> afterWrite;
// The files that have other names: the same number for every name of one.
static std::map<std::wstring, int> linkedFiles;
static int links;
static int posts; // asked for by postToMainWindow, not handled yet
static std::wstring lockHeld;
static long long clock;
std::wstring modulePath;
std::vector<MessageBoxCall> messageBoxes;
std::vector<OpenQuestion> questionsOpen;
std::size_t questionsDeepest;

void questionOpened(bool dialog) {
    questionsOpen.push_back({dialog});
    questionsDeepest = std::max(questionsDeepest, questionsOpen.size());
}

bool questionClosed() {
    const bool cancelled = questionsOpen.back().cancelled;
    questionsOpen.pop_back();
    return cancelled;
}
std::deque<int> answers;
bool minimized;
platform::Rect windowRect;
std::function<void()> duringMessageBox;
View view;
platform::MainWindowHandlers windowHandlers;
const WindowHandle window = reinterpret_cast<WindowHandle>(0x1000);

void reset() {
    files.clear();
    fileTimes.clear();
    failing.clear();
    folders.clear();
    writes = 0;
    slept = 0;
    spaceLeft = -1;
    hardLinks = true;
    linkedFiles.clear();
    links = 0;
    protections.clear();
    protectionRefused = false;
    shutdownReasons.clear();
    shutdownBlocked = false;
    wiped.clear();
    duringSleep = nullptr;
    afterWrite = nullptr;
    posts = 0;
    lockHeld.clear();
    clock = 0;
    allocationsBeforeFailure = -1;
    modulePath = L"C:\\Keyloom\\keyloom.exe";
    messageBoxes.clear();
    questionsOpen.clear();
    questionsDeepest = 0;
    sessionWatched = false;
    sessionWatchFailures = 0;
    lastInput = 0;
    answers.clear();
    minimized = false;
    windowRect = {100, 50, 740, 530};
    duringMessageBox = nullptr;
    view = View();
    windowHandlers = {};
    resetTransfer();
    resetDialogs();
}

// The converter from one encoding to another, opened once for the run:
// opening one costs more than the conversions of a character or a field
// that the fake makes. A plain table, so that no count of allocations that
// a test makes fail ever includes it.
static iconv_t converter(const char* to, const char* from) {
    static struct {
        const char* to;
        const char* from;
        iconv_t cd;
    } open[8];
    for (auto& c : open) {
        if (c.to && (std::strcmp(c.to, to) || std::strcmp(c.from, from)))
            continue;
        if (!c.to) {
            c.cd = iconv_open(to, from);
            if (c.cd == reinterpret_cast<iconv_t>(-1))
                throw std::runtime_error("iconv_open");
            c.to = to;
            c.from = from;
        }
        iconv(c.cd, nullptr, nullptr, nullptr, nullptr); // its initial state
        return c.cd;
    }
    throw std::runtime_error("iconv: too many converters");
}

// Converts with iconv; false when in holds something the target cannot.
static bool convert(const char* to, const char* from, std::string_view in, std::string& out) {
    out.assign(in.size() * 4 + 4, '\0');
    iconv_t cd = converter(to, from);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.resize(out.size() - dstLeft);
    return r != static_cast<std::size_t>(-1);
}

// For test data, which is always convertible.
static std::string convert(const char* to, const char* from, std::string_view in) {
    std::string out;
    if (!convert(to, from, in, out))
        throw std::runtime_error("iconv");
    return out;
}

static std::wstring asWide(const std::string& raw) {
    return std::wstring(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t));
}

std::string sjis(const std::string& utf8) { return convert("CP932", "UTF-8", utf8); }
std::wstring wide(const std::string& utf8) { return asWide(convert("WCHAR_T", "UTF-8", utf8)); }
std::string encoded(const char* encoding, const std::string& utf8) {
    return convert(encoding, "UTF-8", utf8);
}

// WM_COMMAND to the window's handler.
static void command(int id, int notification) {
    if (windowHandlers.command)
        windowHandlers.command(id, notification);
}

void openMainWindow(const platform::MainWindowHandlers& handlers) {
    windowHandlers = handlers;
    view.windowCreated = true;
    if (handlers.setUp)
        handlers.setUp();
}

bool listKey(int key, bool ctrl) {
    return windowHandlers.listKey && windowHandlers.listKey(key, ctrl);
}

bool rightButton(int x, int y, bool down) {
    return windowHandlers.listRightButton && windowHandlers.listRightButton(x, y, down);
}

void changeDpi(int dpi, const platform::Rect& suggested) {
    view.dpi = dpi;
    if (windowHandlers.dpiChanged)
        windowHandlers.dpiChanged(dpi, suggested);
}

bool querySessionEnd(bool critical) {
    return !windowHandlers.sessionEndQueried || windowHandlers.sessionEndQueried(critical);
}

void endSession(bool ending) {
    if (windowHandlers.sessionEnded)
        windowHandlers.sessionEnded(ending);
}

long long nextFileTime() { return ++clock; }

bool sameFile(const std::wstring& a, const std::wstring& b) {
    auto first = linkedFiles.find(a), second = linkedFiles.find(b);
    return first != linkedFiles.end() && second != linkedFiles.end() &&
           first->second == second->second;
}

void activate() {
    if (windowHandlers.activated)
        windowHandlers.activated();
}

void lockSession() {
    if (windowHandlers.sessionLocked)
        windowHandlers.sessionLocked();
}

void bringBack() {
    if (windowHandlers.broughtBack)
        windowHandlers.broughtBack();
}

bool sessionWatched;
int sessionWatchFailures;
unsigned lastInput;

void handlePosted() {
    for (; posts > 0; --posts)
        if (windowHandlers.posted)
            windowHandlers.posted();
}

void edit(int id, const std::wstring& text, std::size_t caret) {
    view.fields[id] = text;
    view.modified[id] = true;
    view.carets[id] = caret == std::wstring::npos ? text.size() : caret;
    command(id, platform::notify::editChange);
}

std::string shown(int id) { return platform::wideToSjis(view.fields[id]); }

int allocationsBeforeFailure = -1;

} // namespace fake

namespace platform {

bool isLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Character by character, as Windows converts: bytes that are no character
// of the code page become U+30FB, so that such text does not come back the
// same, and characters the code page lacks become "?".
std::wstring sjisToWide(std::string_view text) {
    std::wstring out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t width = isLeadByte(text[i]) && i + 1 < text.size() ? 2 : 1;
        std::string c;
        out += fake::convert("WCHAR_T", "CP932", text.substr(i, width), c) && !c.empty()
                   ? fake::asWide(c)
                   : std::wstring(1, L'\x30FB');
        i += width;
    }
    return out;
}

std::string wideToSjis(std::wstring_view text, std::wstring* lost) {
    std::string out;
    for (wchar_t c : text) {
        std::string bytes;
        if (fake::convert("CP932", "WCHAR_T",
                          std::string_view(reinterpret_cast<const char*>(&c), sizeof c), bytes)) {
            out += bytes;
        } else {
            out += '?';
            if (lost && lost->find(c) == std::wstring::npos)
                *lost += c;
        }
    }
    return out;
}

std::size_t sjisLength(std::wstring_view text) { return wideToSjis(text).size(); }

// A fold of the fake's own, enough for the tests: ASCII to full width, Latin
// to lower case, half-width katakana (a sound mark joined to its kana) and
// hiragana to katakana.
static std::wstring fold(const std::wstring& text) {
    static const std::wstring halfKana =
        L"｡｢｣､･ｦｧｨｩｪｫｬｭｮｯｰｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜﾝﾞﾟ";
    static const std::wstring fullKana = L"。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシ"
                                         L"スセソタチツテトナニヌネノハヒフヘホ"
                                         L"マミムメモヤユヨラリルレロワン゛゜";
    static const std::wstring voiced = L"カキクケコサシスセソタチツテトハヒフヘホ";
    static const std::wstring halfVoiced = L"ハヒフヘホ";
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L' ')
            c = L'\x3000';
        else if (c > L' ' && c <= L'~')
            c += 0xFEE0;
        if (c >= L'Ａ' && c <= L'Ｚ')
            c += L'ａ' - L'Ａ';
        else if (c >= L'ぁ' && c <= L'ゖ')
            c += L'ァ' - L'ぁ';
        if (c == L'ﾞ' && !out.empty() && voiced.find(out.back()) != std::wstring::npos)
            ++out.back();
        else if (c == L'ﾞ' && !out.empty() && out.back() == L'ウ')
            out.back() = L'ヴ';
        else if (c == L'ﾟ' && !out.empty() && halfVoiced.find(out.back()) != std::wstring::npos)
            out.back() += 2;
        else if (std::size_t at = halfKana.find(c); at != std::wstring::npos)
            out += fullKana[at];
        else
            out += c;
    }
    return out;
}

SearchText searchText(std::string_view text) { return {fold(sjisToWide(text))}; }

bool containsText(std::string_view field, const SearchText& text) {
    return fold(sjisToWide(field)).find(text.folded) != std::wstring::npos;
}

std::wstring modulePath() { return fake::modulePath; }

bool fileExists(const std::wstring& path) { return fake::files.count(path) != 0; }

static FileError failure(const std::wstring& path) {
    if (fake::folders.count(path))
        return FileError::Folder;
    auto it = fake::failing.find(path);
    return it == fake::failing.end() ? FileError::None : it->second;
}

FileError readWholeFile(const std::wstring& path, std::string& bytes) {
    bytes.clear();
    if (FileError error = failure(path); error != FileError::None)
        return error;
    auto it = fake::files.find(path);
    if (it == fake::files.end())
        return FileError::NotFound;
    bytes = it->second;
    return FileError::None;
}

FileError readProtection(const std::wstring& path, FileProtection& protection) {
    // Read with no access to the text: a program that holds the file does
    // not stop it.
    protection = {};
    if (!fake::files.count(path))
        return FileError::NotFound;
    if (fake::protections.count(path))
        protection = fake::protections[path];
    return FileError::None;
}

static void removeName(const std::wstring& path) {
    fake::files.erase(path);
    fake::fileTimes.erase(path);
    fake::protections.erase(path);
    fake::linkedFiles.erase(path);
}

FileError writeFile(const std::wstring& path, std::string_view bytes,
                    const FileProtection& protection) {
    ++fake::writes;
    if (FileError error = failure(path); error != FileError::None)
        return error;
    removeName(path); // always a new file
    bool protect = !protection.accessRules.empty() || protection.encrypted;
    if (protect && fake::protectionRefused)
        return FileError::Protection;
    if (protect)
        fake::protections[path] = protection;
    if (fake::spaceLeft >= 0 && static_cast<long long>(bytes.size()) > fake::spaceLeft) {
        removeName(path); // what the failed write left is removed
        return FileError::DiskFull;
    }
    if (fake::spaceLeft >= 0)
        fake::spaceLeft -= bytes.size();
    fake::files[path] = std::string(bytes);
    fake::fileTimes[path] = ++fake::clock;
    if (fake::afterWrite)
        fake::afterWrite(path);
    return FileError::None;
}

// to becomes what from is: its bytes, time, protection and other names.
static void copyOver(const std::wstring& from, const std::wstring& to) {
    fake::files[to] = fake::files[from];
    fake::fileTimes[to] = fake::fileTimes[from];
    fake::protections.erase(to);
    if (fake::protections.count(from))
        fake::protections[to] = fake::protections[from];
    fake::linkedFiles.erase(to);
    if (fake::linkedFiles.count(from))
        fake::linkedFiles[to] = fake::linkedFiles[from];
}

FileError linkOrCopyFile(const std::wstring& from, const std::wstring& to) {
    for (const std::wstring& path : {from, to})
        if (FileError error = failure(path); error != FileError::None)
            return error;
    if (!fake::files.count(from))
        return FileError::NotFound;
    if (!fake::hardLinks) {
        FileProtection protection;
        readProtection(from, protection);
        return writeFile(to, fake::files[from], protection);
    }
    if (!fake::linkedFiles.count(from))
        fake::linkedFiles[from] = ++fake::links;
    copyOver(from, to);
    return FileError::None;
}

FileError moveFileOver(const std::wstring& from, const std::wstring& to) {
    if (FileError error = failure(to); error != FileError::None)
        return error;
    if (!fake::files.count(from))
        return FileError::NotFound;
    if (fake::sameFile(from, to))
        return FileError::None;
    copyOver(from, to);
    removeName(from);
    return FileError::None;
}

void deleteFile(const std::wstring& path) {
    if (failure(path) == FileError::None)
        removeName(path);
}

FileError wipeFile(const std::wstring& path) {
    if (FileError error = failure(path); error != FileError::None)
        return error;
    if (!fake::files.count(path))
        return FileError::NotFound;
    // A file with other names keeps its data for them: only this name goes.
    bool shared = false;
    for (const auto& [other, file] : fake::linkedFiles)
        shared = shared || (other != path && fake::sameFile(other, path));
    if (!shared)
        fake::wiped.push_back(path);
    removeName(path);
    return FileError::None;
}

long long fileTime(const std::wstring& path) {
    return fake::files.count(path) ? fake::fileTimes[path] : -1;
}

FileError checkFolderWritable(const std::wstring& folder) { return failure(folder); }

FileStamp fileStamp(const std::wstring& path) {
    auto file = fake::files.find(path);
    if (file == fake::files.end())
        return {};
    auto time = fake::fileTimes.find(path);
    return {static_cast<long long>(file->second.size()),
            time == fake::fileTimes.end() ? 0 : time->second};
}

std::vector<std::wstring> filesInFolder(const std::wstring& folder) {
    std::vector<std::wstring> names;
    const std::wstring prefix = folder + L"\\";
    for (const auto& file : fake::files)
        if (file.first.compare(0, prefix.size(), prefix) == 0 &&
            file.first.find(L'\\', prefix.size()) == std::wstring::npos)
            names.push_back(file.first.substr(prefix.size()));
    return names;
}

LockFile takeLockFile(const std::wstring& path) {
    if (fake::files.count(path))
        return LockFile::Exists;
    if (failure(path) != FileError::None)
        return LockFile::Failed;
    fake::files[path] = "";
    fake::fileTimes[path] = ++fake::clock;
    fake::lockHeld = path;
    return LockFile::Taken;
}

void releaseLockFile() {
    if (!fake::lockHeld.empty())
        removeName(fake::lockHeld);
    fake::lockHeld.clear();
}

void sleep(int ms) {
    fake::slept += ms;
    fake::now += ms;
    if (fake::duringSleep)
        fake::duringSleep();
}

bool blockShutdown(const std::wstring& reason) {
    fake::shutdownReasons.push_back(reason);
    fake::shutdownBlocked = true;
    return false;
}

void unblockShutdown() { fake::shutdownBlocked = false; }

int messageBox(const std::wstring& text, unsigned style) {
    fake::messageBoxes.push_back({text, style});
    fake::questionOpened(false);
    if (auto nested = std::move(fake::duringMessageBox)) {
        fake::duringMessageBox = nullptr;
        nested();
    }
    // Closed by the program meanwhile: as if the user declined.
    if (fake::questionClosed()) {
        const unsigned buttons = style & 0xF;
        return buttons == mb::yesNoCancel ? mb::answerCancel
               : buttons == mb::yesNo     ? mb::answerNo
                                          : 1; // IDOK
    }
    if (fake::answers.empty())
        return mb::answerNo;
    int answer = fake::answers.front();
    fake::answers.pop_front();
    return answer;
}

bool isMainWindowMinimized() { return fake::minimized; }
Rect windowRect(WindowHandle window) {
    return window == fake::dialogWindow ? fake::dialogRect : fake::windowRect;
}
Rect mainWindowRect() { return fake::windowRect; }
void setMainWindowRect(const Rect& rect) { fake::windowRect = rect; }
int mainWindowDpi() { return fake::view.dpi; }

using fake::view;

MutexState createSingleInstanceMutex() { return view.mutex; }
void bringBackRunningInstance() { view.broughtBack = true; }

int runMainWindow(const MainWindowHandlers& handlers) {
    fake::openMainWindow(handlers);
    if (view.whileWindowRuns)
        view.whileWindowRuns();
    return view.endedWith;
}

void endMainWindow(int result) { view.endedWith = result; }

void postToMainWindow() { ++fake::posts; }

void sendCommand(int id, int notification) {
    view.sentCommands.push_back({id, notification});
    fake::command(id, notification);
}

void setWindowIcon(const char* iconName, int dpi) {
    view.windowIcon = iconName;
    view.windowIconDpi = dpi;
}
void setButtonIcon(int buttonId, const char* iconName, int dpi) {
    view.buttonIcons[buttonId] = iconName;
    view.buttonIconDpi[buttonId] = dpi;
}

int screenWidth() { return 1024; }
int screenHeight() { return 768; }
bool isCtrlDown() { return view.ctrlDown; }

void setFieldText(int id, std::string_view text) {
    view.fields[id] = sjisToWide(text);
    view.modified[id] = false;
    view.carets[id] = 0;
    if (id != IDC_MEMO) // a multi-line field does not notify text set this way
        fake::command(id, notify::editChange); // before the call returns
}

void replaceFieldText(int id, std::string_view text) { fake::edit(id, sjisToWide(text)); }

bool isFieldModified(int id) { return view.modified[id]; }

SecureString fieldText(int id, std::wstring* lost) {
    std::string bytes = wideToSjis(view.fields[id], lost);
    return SecureString(bytes.data(), bytes.size());
}

bool isFieldEmpty(int id) { return view.fields[id].empty(); }

std::size_t fieldCaret(int id) {
    return wideToSjis(view.fields[id].substr(0, view.carets[id])).size();
}

void replaceFieldBytes(int id, std::size_t from, std::size_t to, std::string_view with) {
    // Back from byte offsets to characters.
    const std::wstring& text = view.fields[id];
    auto charAt = [&](std::size_t offset) {
        std::size_t i = 0;
        for (std::size_t bytes = 0; i < text.size() && bytes < offset; ++i)
            bytes += wideToSjis(text.substr(i, 1)).size();
        return i;
    };
    std::size_t first = charAt(from), last = charAt(to);
    std::wstring inserted = sjisToWide(with);
    fake::edit(id, text.substr(0, first) + inserted + text.substr(last), first + inserted.size());
}

void beep() { ++view.beeps; }

void setMasked(int id, bool masked) { view.masked[id] = masked; }

void focusAndSelectAll(int id) {
    view.focus = id;
    view.focusSelectsAll = true;
}

void enableControl(int id, bool enable) { view.enabled[id] = enable; }

int selectedIndex() { return view.selection; }

void selectItem(int index) {
    view.selection = index >= 0 && index < static_cast<int>(view.items.size()) ? index : -1;
}

void appendItem(std::string_view text) { view.items.emplace_back(text); }

void insertItem(int index, std::string_view text) {
    view.items.insert(view.items.begin() + index, std::string(text));
    if (view.selection >= index)
        ++view.selection;
}

void deleteItem(int index) {
    view.items.erase(view.items.begin() + index);
    if (view.selection == index)
        view.selection = -1;
    else if (view.selection > index)
        --view.selection;
}

void removeAllItems() {
    view.items.clear();
    view.selection = -1;
}

void showLockedView(bool locked) { view.locked = locked; }

// The fake's fields keep no blocks that could move.
void reserveField(int, int) {}

void wipeField(int id) {
    view.wipedFields[id] = view.fields[id];
    view.fields[id].clear();
    view.modified[id] = false;
}

unsigned lastInputTick() { return fake::lastInput; }

bool watchSessionChanges() {
    if (fake::sessionWatchFailures > 0) {
        --fake::sessionWatchFailures;
        return false;
    }
    return fake::sessionWatched = true;
}

void setListRedraw(bool on) { view.redraw = on; }
void setHorizontalExtent(int pixels) { view.extent = pixels; }

int measureListTexts(const std::string_view* texts, int count, int* widths) {
    for (int i = 0; i < count; ++i)
        widths[i] = fake::charWidth * static_cast<int>(texts[i].size());
    return fake::charWidth - 1;
}

ItemAtPoint listItemFromPoint(int x, int y) {
    int index = y / fake::itemHeight;
    int last = static_cast<int>(view.items.size()) - 1;
    return {std::min(index, std::max(last, 0)), x > 200 || index > last};
}

Point listToScreen(int x, int y) { return {x + 10, y + 60}; }
Point listScreenCorner() { return {8, 58}; }

void enableCommand(int id, bool enable) { view.grayed[id] = !enable; }
void checkCommand(int id, bool checked) { view.checked[id] = checked; }

void showPopupMenu(int x, int y) {
    view.popups.push_back({x, y});
    if (view.popupChoices.empty())
        return;
    int chosen = view.popupChoices.front();
    view.popupChoices.pop_front();
    if (chosen)
        fake::command(chosen, 0);
}

} // namespace platform

#include "test_platform.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace fake {

std::map<std::string, std::string> files;
std::set<std::string> unreadable;
std::map<std::string, int> failingWrites;
int replaceCalls;
std::string modulePath;
std::vector<MessageBoxCall> messageBoxes;
std::deque<int> answers;
bool minimized;
platform::Rect windowRect;

void reset() {
    files.clear();
    unreadable.clear();
    failingWrites.clear();
    replaceCalls = 0;
    modulePath = "C:\\Keyloom\\keyloom.exe";
    messageBoxes.clear();
    answers.clear();
    minimized = false;
    windowRect = {100, 50, 740, 530};
}

// Converts with iconv; the test data is always convertible.
static std::string convert(const char* to, const char* from, const std::string& in) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("iconv_open");
    std::string out(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1))
        throw std::runtime_error("iconv");
    out.resize(out.size() - dstLeft);
    return out;
}

std::string sjis(const std::string& utf8) { return convert("CP932", "UTF-8", utf8); }

} // namespace fake

namespace platform {

bool isLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

std::wstring ansiToWide(const std::string& text) {
    std::string raw = fake::convert("WCHAR_T", "CP932", text);
    return std::wstring(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t));
}

std::string wideToAnsi(const std::wstring& text) {
    return fake::convert("CP932", "WCHAR_T",
                         std::string(reinterpret_cast<const char*>(text.data()),
                                     text.size() * sizeof(wchar_t)));
}

std::string modulePath() { return fake::modulePath; }

FileRead readWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    if (fake::unreadable.count(path))
        return FileRead::Unreadable;
    auto it = fake::files.find(path);
    if (it == fake::files.end())
        return FileRead::Missing;
    bytes = it->second;
    return FileRead::Read;
}

bool replaceFile(const std::string& path, std::string_view bytes, const std::string& backupPath) {
    ++fake::replaceCalls;
    auto failing = fake::failingWrites.find(path);
    if (failing != fake::failingWrites.end() && failing->second > 0) {
        --failing->second;
        return false;
    }
    auto it = fake::files.find(path);
    if (it != fake::files.end() && !backupPath.empty())
        fake::files[backupPath] = it->second;
    fake::files[path] = std::string(bytes);
    return true;
}

int messageBox(WindowHandle owner, const std::wstring& text, unsigned style) {
    fake::messageBoxes.push_back({owner, text, style});
    if (fake::answers.empty())
        return mb::answerNo;
    int answer = fake::answers.front();
    fake::answers.pop_front();
    return answer;
}

bool isMinimized(WindowHandle) { return fake::minimized; }
Rect windowRect(WindowHandle) { return fake::windowRect; }

} // namespace platform

#include "store/file_helpers.h"

#include "app/main_window.h"
#include "platform/platform.h"
#include "store/text.h"

#include <cstring>

std::wstring programDirectory() {
    std::wstring path = platform::modulePath();
    std::size_t cut = path.rfind(L'\\');
    path.resize(cut == std::wstring::npos ? 0 : cut);
    return path;
}

bool readLine(LineReader& in, char* buffer, std::size_t size) {
    if (in.atEnd()) {
        buffer[0] = '\0';
        return false;
    }
    const char* start = in.next;
    const char* cr = static_cast<const char*>(std::memchr(start, '\r', in.end - start));
    const char* lineEnd = cr ? cr : in.end;
    if (!copyText(buffer, size, start, lineEnd - start))
        in.repaired = true;

    if (!cr) {
        in.repaired = true; // the last line has no CR
        in.next = in.end;
    } else if (cr + 1 < in.end && cr[1] == '\n') {
        in.next = cr + 2;
    } else {
        in.repaired = true; // a CR without LF ends the line and keeps the next byte
        in.next = cr + 1;
    }
    return true;
}

bool readIntLine(LineReader& in, std::int32_t& value) {
    char line[256];
    value = 0;
    if (!readLine(in, line, sizeof line))
        return false;

    const char* p = line;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    std::int64_t magnitude = 0;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit) {
            magnitude = limit;
            in.repaired = true;
            while (p[1] >= '0' && p[1] <= '9')
                ++p;
        }
    }
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

bool saveFileWithRetry(const std::wstring& path, std::string_view bytes,
                       const std::wstring& backupPath) {
    while (!platform::replaceFile(path, bytes, backupPath)) {
        std::wstring text =
            formatMessage(L"以下のデータファイルを書き込むことができませんでした。\n%s\n"
                          L"ファイルの属性やディスクの状態を確認してください。再試行しますか？",
                          {path});
        if (platform::messageBox(mainWindow, text, platform::mb::yesNo | platform::mb::iconError) !=
            platform::mb::answerYes)
            return false;
    }
    return true;
}

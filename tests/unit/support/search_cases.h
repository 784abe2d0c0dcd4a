// Finding entries by their text, checked over both platforms: the fake's own
// fold in the unit tests, Windows' under Wine on a Japanese and a Western
// system (tests/e2e/search_test.cpp).
#pragma once

#include "editor/find.h"
#include "platform/platform.h"
#include "store/entry_list.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace search {

// An entry from its fields in file order, the missing ones empty.
inline EntryRecord entry(std::initializer_list<const wchar_t*> fields) {
    std::string bytes[fieldCount];
    std::string_view views[fieldCount];
    int i = 0;
    for (const wchar_t* field : fields)
        bytes[i++] = platform::wideToSjis(field);
    for (i = 0; i < fieldCount; ++i)
        views[i] = bytes[i];
    return EntryRecord(views);
}

inline void expectFinds() {
    EntryList list;
    list.records.push_back(entry({L"Bank", L"", L"", L"", L"ME@Example.com"}));
    list.records.push_back(entry({L"ｷﾞﾝｺｳ"}));
    list.records.push_back(entry({L"ひらがな"}));
    list.records.push_back(entry({L"Shop", L"", L"secret"}));
    list.records.push_back(entry({L"Mail", L"", L"", L"", L"", L"メモ\r\nＧｍａｉｌ の"}));
    list.records.push_back(entry({L"Site", L"taro", L"", L"https://ＥＸＡＭＰＬＥ.jp/パス"}));
    struct Case {
        const wchar_t* text;
        int from; // the selection
        int found;
    } cases[] = {
        {L"me@example", -1, 0}, // whatever the case, in the mail
        {L"ギンコウ", -1, 1},   // half-width katakana, each with its sound mark
        {L"ぎんこう", -1, 1},   // hiragana against them
        {L"GMAIL", -1, 4},      // against full-width letters, in the memo's second line
        {L"TARO", -1, 5},       // the user ID
        {L"example.jp/ぱす", -1, 5},
        {L"secret", -1, -1}, // never the password
        {L"example", 0, 5},  // after the selected one
        {L"example", 5, 0},  // round past the last
        {L"bank", 0, 0},     // the selected one last
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        EXPECT_EQ(findEntry(list, c.from, platform::searchText(platform::wideToSjis(c.text))),
                  c.found);
    }
    EXPECT_EQ(findEntry(EntryList(), -1, platform::searchText("a")), -1);
}

} // namespace search

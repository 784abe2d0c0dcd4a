#include "app/program.h"
#include "store/data_file.h"
#include "store/file_helpers.h"
#include "store/merge.h"
#include "support/keyloom_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string lines(std::initializer_list<std::string> parts) {
    std::string out;
    for (const std::string& p : parts)
        out += p + "\r\n";
    return out;
}

using fake::record;

std::string format(std::initializer_list<EntryRecord> records) { return fake::dataFile(records); }

struct Parsed {
    EntryList list;
    bool intact;
};

Parsed parse(const std::string& bytes) {
    Parsed p;
    p.intact = parseDataFile(bytes.data(), bytes.size(), p.list);
    return p;
}

// The list as the exit saves it, with its questions; false when that did not
// go through.
bool save() {
    SecureString bytes = formatDataFile(entryList);
    auto attempt = [&](bool keep) { return saveDataFile(bytes, true, true, keep); };
    return saveWithRetry(attempt, backupPath).error == platform::FileError::None;
}

class DataFileTest : public KeyloomTest {};

// ---- The bytes written ----

TEST_F(DataFileTest, WrittenBytesFollowTheFormatExactly) {
    EXPECT_EQ(format({}), "KEYLOOM1\r\n0\r\n");
    // An all-empty record is 15 bytes: five empty lines, "1", one empty line.
    EXPECT_EQ(format({record("")}), "KEYLOOM1\r\n1\r\n\r\n\r\n\r\n\r\n\r\n1\r\n\r\n");
    EXPECT_EQ(
        format({record("Bank", "AB-12", "pw", "https://b.example/", "me@b.example", "ab\r\ncd")}),
        lines({"KEYLOOM1", "1", "Bank", "AB-12", "pw", "https://b.example/", "me@b.example", "2",
               "ab", "cd"}));
    // A memo that ends with a line break has an empty last line.
    EXPECT_EQ(format({record("t", "", "", "", "", "a\r\n\r\nb\r\n")}),
              lines({"KEYLOOM1", "1", "t", "", "", "", "", "4", "a", "", "b", ""}));
}

TEST_F(DataFileTest, WriterKeepsTheTextRulesWhateverReachesIt) {
    // A CR in a short field is dropped; an LF stays.
    EXPECT_EQ(format({record("a\rb", "x\ny")}),
              lines({"KEYLOOM1", "1", "ab", "x\ny", "", "", "", "1", ""}));
    // A CR in the memo without LF becomes CR LF, and counts as a line break.
    EXPECT_EQ(format({record("t", "", "", "", "", "a\rb\r")}),
              lines({"KEYLOOM1", "1", "t", "", "", "", "", "3", "a", "b", ""}));

    // Expanding lone CRs never takes the memo past 8191 bytes, never leaves a
    // CR without LF and never half a double-byte character.
    std::string memo(8190, '\r');
    std::string bytes = format({record("t", "", "", "", "", memo)});
    Parsed p = parse(bytes);
    ASSERT_TRUE(p.intact);
    std::string read(p.list.records[0].memo());
    EXPECT_EQ(read.size(), 8190u);
    for (std::size_t i = 0; i < read.size(); i += 2)
        ASSERT_EQ(read.substr(i, 2), "\r\n");

    std::string wide = std::string(8189, 'x') + "\r" + fake::sjis("表");
    p = parse(format({record("t", "", "", "", "", wide)}));
    ASSERT_TRUE(p.intact);
    EXPECT_EQ(std::string(p.list.records[0].memo()), std::string(8189, 'x') + "\r\n");
}

TEST_F(DataFileTest, WritingThenReadingGivesBackTheSameList) {
    std::mt19937 random(1234);
    // Bytes that stress the format: CR, LF, NUL-free Shift-JIS, hyphens.
    const std::string alphabet = "ab-\r\n \t" + fake::sjis("表ソ能") + "\x81";
    auto text = [&](std::size_t maxLength) {
        std::string s;
        std::size_t n = random() % (maxLength + 1);
        while (s.size() < n)
            s += alphabet[random() % alphabet.size()];
        return s.substr(0, n);
    };
    for (int round = 0; round < 200; ++round) {
        EntryList list;
        int count = random() % 5;
        for (int i = 0; i < count; ++i) {
            std::size_t big = round % 10 == 0 ? 1023 : 40;
            list.records.push_back(record(text(big), text(big), text(big), text(big), text(big),
                                          text(round % 10 == 0 ? 8191 : 200)));
        }
        SecureString first = formatDataFile(list);
        EntryList read;
        ASSERT_TRUE(parseDataFile(first.data(), first.size(), read)) << "round " << round;
        ASSERT_EQ(read.count(), count);
        SecureString second = formatDataFile(read);
        ASSERT_EQ(first, second) << "round " << round;
        // What went in by the rules comes back unchanged.
        for (int i = 0; i < count; ++i) {
            EntryRecord expected = list.records[i];
            for (int f = 0; f < fieldCount - 1; ++f) {
                std::string kept;
                for (char c : expected.get(Field(f)))
                    if (c != '\r')
                        kept += c;
                expected.set(Field(f), kept);
            }
            if (expected.memo().find('\r') == std::string_view::npos)
                ASSERT_TRUE(sameEntry(expected, read.records[i])) << "round " << round;
            else
                ASSERT_EQ(expected.title(), read.records[i].title());
        }
    }
}

// ---- Reading what the program did not write ----

TEST_F(DataFileTest, ReaderAcceptsWhatTheFormatAllows) {
    // Any header line; a memo line count of 0 or 1 is one line; bytes after the
    // last record are not read.
    Parsed p = parse(lines({"SOMETHING", "2", "a", "", "", "", "", "0", "m", "b", "u", "p", "ad",
                            "ma", "1", "n"}) +
                     "trailing bytes");
    EXPECT_TRUE(p.intact);
    ASSERT_EQ(p.list.count(), 2);
    EXPECT_EQ(p.list.records[0].memo(), "m");
    EXPECT_TRUE(sameEntry(p.list.records[1], record("b", "u", "p", "ad", "ma", "n")));

    // An LF without CR is a byte of the line.
    p = parse(lines({"KEYLOOM1", "1", "a\nb", "", "", "", "", "1", "x\ny"}));
    EXPECT_TRUE(p.intact);
    EXPECT_EQ(p.list.records[0].title(), "a\nb");
    EXPECT_EQ(p.list.records[0].memo(), "x\ny");
}

TEST_F(DataFileTest, WholeEntriesAfterTheCountAreReadAndMakeTheFileDamaged) {
    const std::string one = format({record("a")});
    // Added by hand without raising the count: a memo of two lines, and one
    // whose count has a leading zero.
    const std::string added =
        lines({"b", "u", "p", "", "", "2", "m1", "m2", "c", "", "", "", "", "01", "m"});
    EntryList list;
    int beyond = -1;
    std::string bytes = one + added + "\x1A";
    EXPECT_FALSE(parseDataFile(bytes.data(), bytes.size(), list, &beyond));
    EXPECT_EQ(beyond, 2);
    ASSERT_EQ(list.count(), 3);
    EXPECT_TRUE(sameEntry(list.records[1], record("b", "u", "p", "", "", "m1\r\nm2")));

    // Line ends and an end-of-file mark are no entry; nor is what is not a
    // whole one (no memo line count of at least 1, a line missing).
    for (const std::string& tail :
         {std::string("\r\n\r\n\x1A"), lines({"b", "", "", "", "", "0", "m"}),
          lines({"b", "", "", "", "", " 1", "m"}), lines({"b", "", "", "", "", "2", "m"})}) {
        list = EntryList();
        bytes = one + tail;
        EXPECT_TRUE(parseDataFile(bytes.data(), bytes.size(), list, &beyond)) << tail;
        EXPECT_EQ(beyond, 0);
        EXPECT_EQ(list.count(), 1);
    }
}

TEST_F(DataFileTest, EveryCutOfAFileKeepsWhatWasReadAndIsReportedDamaged) {
    std::string whole = format({record("one", "u1", "p1", "a1", "m1", "x\r\ny"),
                                record("two", "u2", "p2", "a2", "m2", "z")});
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        Parsed p = parse(whole.substr(0, cut));
        EXPECT_FALSE(p.intact) << "cut at " << cut;
        ASSERT_LE(p.list.count(), 2);
        for (const EntryRecord& r : p.list.records) {
            std::string title(r.title());
            EXPECT_TRUE(std::string("one").find(title) == 0 || std::string("two").find(title) == 0)
                << "cut at " << cut;
        }
    }
    Parsed p = parse(whole.substr(0, whole.find("u2")));
    ASSERT_EQ(p.list.count(), 2);
    EXPECT_TRUE(sameEntry(p.list.records[0], record("one", "u1", "p1", "a1", "m1", "x\r\ny")));
    EXPECT_TRUE(sameEntry(p.list.records[1], record("two")));

    // A last line without CR is still a line.
    p = parse(whole.substr(0, whole.size() - 2));
    EXPECT_FALSE(p.intact);
    ASSERT_EQ(p.list.count(), 2);
    EXPECT_EQ(p.list.records[1].memo(), "z");

    // A count larger than the records that follow.
    p = parse(lines({"KEYLOOM1", "5", "a", "", "", "", "", "1", ""}));
    EXPECT_FALSE(p.intact);
    EXPECT_EQ(p.list.count(), 1);
}

TEST_F(DataFileTest, LoneCrEndsItsLineWithoutSwallowingTheNextByte) {
    Parsed p = parse("KEYLOOM1\r1\rTitle\rUser\rPass\rAddr\rMail\r2\rline1\rline2\r");
    EXPECT_FALSE(p.intact);
    ASSERT_EQ(p.list.count(), 1);
    EXPECT_TRUE(sameEntry(p.list.records[0],
                          record("Title", "User", "Pass", "Addr", "Mail", "line1\r\nline2")));
}

TEST_F(DataFileTest, OverlongLinesAreCutToTheirFieldOnCharacterBoundaries) {
    std::string hyo = fake::sjis("表"); // 0x95 0x5C
    std::string title = std::string(1022, 't') + hyo + "rest of the line";
    std::string memoLine = std::string(8190, 'm') + hyo;
    Parsed p = parse(lines({"KEYLOOM1", "1", title, "user", "", "", "", "2", memoLine, "second"}));
    EXPECT_FALSE(p.intact);
    ASSERT_EQ(p.list.count(), 1);
    EXPECT_TRUE(std::string(p.list.records[0].title()) == std::string(1022, 't'));
    EXPECT_EQ(p.list.records[0].userId(), "user"); // the rest was skipped up to its CR
    // The memo is full after its first line: nothing of the second is glued on.
    EXPECT_TRUE(std::string(p.list.records[0].memo()) == std::string(8190, 'm'));
    // Single-byte lines keep exactly as many bytes as their field holds.
    p = parse(lines(
        {"KEYLOOM1", "1", std::string(1030, 't'), "", "", "", "", "1", std::string(8200, 'm')}));
    EXPECT_EQ(p.list.records[0].title().size(), 1023u);
    EXPECT_EQ(p.list.records[0].memo().size(), 8191u);
    // Memo lines that fit one by one but not together.
    p = parse(lines({"KEYLOOM1", "1", "", "", "", "", "", "2", std::string(4095, 'm'),
                     std::string(4095, 'n')}));
    EXPECT_FALSE(p.intact);
    EXPECT_EQ(p.list.records[0].memo().size(), 8191u);

    // A header longer than 1023 bytes and an integer line longer than 255:
    // the count is cut to nothing, and the entry after it read all the same.
    p = parse(
        lines({std::string(5000, 'h'), std::string(300, ' ') + "1", "a", "", "", "", "", "1", ""}));
    EXPECT_FALSE(p.intact);
    EXPECT_EQ(p.list.count(), 1);
}

TEST_F(DataFileTest, CountsAreReadLikeAtoiAndMendedWhenOutOfRange) {
    auto countOf = [](const std::string& line) {
        LineReader in(line.data(), line.size());
        std::int32_t value;
        readIntLine(in, value);
        return std::make_pair(value, in.repaired);
    };
    EXPECT_EQ(countOf(" \t+12abc\r\n"), std::make_pair(12, false));
    EXPECT_EQ(countOf("-7\r\n"), std::make_pair(-7, false));
    EXPECT_EQ(countOf("abc\r\n"), std::make_pair(0, false));
    EXPECT_EQ(countOf("\r\n"), std::make_pair(0, false));
    EXPECT_EQ(countOf("2147483647\r\n"), std::make_pair(2147483647, false));
    EXPECT_EQ(countOf("-2147483648\r\n"), std::make_pair(-2147483647 - 1, false));
    EXPECT_EQ(countOf("2147483648\r\n"), std::make_pair(2147483647, true));
    EXPECT_EQ(countOf("-99999999999999999999\r\n"), std::make_pair(-2147483647 - 1, true));

    Parsed p = parse(lines({"KEYLOOM1", "-3"}));
    EXPECT_FALSE(p.intact);
    EXPECT_EQ(p.list.count(), 0);
}

TEST_F(DataFileTest, HugeAnnouncedCountsCostNothing) {
    auto start = std::chrono::steady_clock::now();
    Parsed p = parse("KEYLOOM1\r\n2147483647\r\n");
    EXPECT_FALSE(p.intact);
    EXPECT_EQ(p.list.count(), 0);
    EXPECT_EQ(p.list.records.capacity(), 0u);

    p = parse(lines({"KEYLOOM1", "1", "a", "", "", "", "", "2147483647", "only line"}));
    EXPECT_FALSE(p.intact);
    EXPECT_EQ(p.list.records[0].memo(), "only line");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// ---- Loading and saving through the platform ----

TEST_F(DataFileTest, LoadTellsMissingUnreadableDamagedAndRead) {
    appendEntry();
    EXPECT_EQ(loadDataFile(), DataFileState::Missing);
    EXPECT_EQ(entryList.count(), 0);

    fake::files[dataPath] = format({record("a"), record("b")});
    EXPECT_EQ(loadDataFile(), DataFileState::Read);
    EXPECT_EQ(entryList.count(), 2);

    // An unreadable file never becomes an empty list.
    fake::failing[dataPath] = platform::FileError::InUse;
    appendEntry();
    platform::FileError why;
    EXPECT_EQ(loadDataFile(&why), DataFileState::Unreadable);
    EXPECT_EQ(why, platform::FileError::InUse);
    EXPECT_EQ(entryList.count(), 3);
    fake::failing.clear();

    fake::files[dataPath] = lines({"KEYLOOM1", "2", "a"});
    EXPECT_EQ(loadDataFile(), DataFileState::Damaged);
    EXPECT_EQ(entryList.count(), 1);
    EXPECT_TRUE(fake::messageBoxes.empty());
}

TEST_F(DataFileTest, EntriesThatCannotAllGetMemoryMakeTheFileTooLarge) {
    fake::files[dataPath] = format({record("a", "u", "p", "x", "m", "memo"), record("b")});
    appendEntry();
    // The file's bytes are read; memory runs out among its records.
    fake::allocationsBeforeFailure = 3;
    platform::FileError why;
    EXPECT_EQ(loadDataFile(&why), DataFileState::TooLarge);
    EXPECT_EQ(why, platform::FileError::TooLarge);
    EXPECT_EQ(entryList.count(), 1); // the list as it was
    EXPECT_EQ(fake::files[dataPath],
              format({record("a", "u", "p", "x", "m", "memo"), record("b")}));
}

TEST_F(DataFileTest, TheOldBackupStaysUntilAWholeNewOneReplacesIt) {
    appendEntry();
    const std::string saved = formatDataFile(entryList).c_str();
    for (bool links : {true, false}) {
        SCOPED_TRACE(links ? "hard links" : "no hard links");
        fake::reset();
        fake::files[backupPath] = "older";
        fake::files[dataPath] = "old";
        // Room for the new file only: a second name of the old one needs none.
        fake::spaceLeft = saved.size();
        fake::hardLinks = links;
        EXPECT_TRUE(save());
        EXPECT_EQ(fake::files[dataPath], saved);
        EXPECT_EQ(fake::files[backupPath], links ? "old" : "older");
        EXPECT_EQ(fake::messageBoxes.size(), links ? 0u : 1u);
        EXPECT_FALSE(fake::files.count(backupPath + L".tmp"));
    }
}

TEST_F(DataFileTest, NoBackupNeverStopsTheSaveAndIsToldOnce) {
    // A temporary name another program holds is passed over at once, as a
    // folder in its place is: the quiet attempts are for PASSWORD.TXT itself.
    for (platform::FileError held : {platform::FileError::InUse, platform::FileError::Denied}) {
        fake::failing[dataPath + L".tmp"] = held;
        EXPECT_TRUE(save());
        EXPECT_EQ(fake::slept, 0);
        EXPECT_FALSE(fake::files.count(dataPath + L".tmp2"));
    }
    fake::reset();
    fake::files[dataPath] = "old bytes";
    fake::folders.insert(backupPath);
    fake::folders.insert(dataPath + L".tmp"); // the next temporary name serves
    appendEntry();
    EXPECT_TRUE(save());
    EXPECT_EQ(fake::files[dataPath],
              lines({"KEYLOOM1", "1", fake::sjis("新しいアイテム - 1"), "", "", "", "", "1", ""}));
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_TRUE(told(backupPath));
    EXPECT_TRUE(told(L"同じ名前のフォルダー"));
    EXPECT_FALSE(fake::files.count(dataPath + L".tmp2"));
}

TEST_F(DataFileTest, FailedSaveTriesQuietlyThenAsksWithTheFileAndTheCause) {
    fake::modulePath = L"C:\\Müller-Ωフォルダ\\keyloom.exe";
    std::wstring path = L"C:\\Müller-Ωフォルダ\\PASSWORD.TXT";
    fake::files[path] = "old bytes";
    fake::failing[path] = platform::FileError::Other;
    fake::answers = {platform::mb::answerYes, platform::mb::answerYes};
    int questions = 0;
    std::function<void()> freeOnSecond = [&] {
        if (++questions == 2)
            fake::failing.clear();
        else
            fake::duringMessageBox = freeOnSecond;
    };
    fake::duringMessageBox = freeOnSecond;

    EXPECT_TRUE(save());
    EXPECT_EQ(fake::writes, 3);
    EXPECT_EQ(fake::slept, 0); // no cause a moment's wait would mend
    ASSERT_EQ(fake::messageBoxes.size(), 2u);
    EXPECT_EQ(fake::messageBoxes[0].text,
              L"以下のデータファイルを書き込むことができませんでした。\nC:\\Müller-"
              L"Ωフォルダ\\PASSWORD.TXT\n"
              L"ファイルの属性やディスクの状態を確認してください。再試行しますか？");
    EXPECT_EQ(fake::messageBoxes[0].style, platform::mb::yesNo | platform::mb::iconError);
    EXPECT_EQ(fake::files[path], "KEYLOOM1\r\n0\r\n");

    // Held by another program (in use, or denied while it is held): about a
    // second of quiet attempts, then the question names the cause. No gives
    // up, and the file keeps its bytes.
    appendEntry();
    for (platform::FileError held : {platform::FileError::InUse, platform::FileError::Denied}) {
        fake::messageBoxes.clear();
        fake::slept = 0;
        fake::failing[path] = held;
        fake::duringMessageBox = [] { EXPECT_EQ(fake::slept, 1000); };
        EXPECT_FALSE(save());
        EXPECT_EQ(fake::slept, 1000);
        ASSERT_EQ(fake::messageBoxes.size(), 1u);
        EXPECT_TRUE(
            told(held == platform::FileError::InUse ? L"ほかのプログラム" : L"権限がありません"));
        EXPECT_EQ(fake::files[path], "KEYLOOM1\r\n0\r\n");
        EXPECT_FALSE(fake::files.count(path + L".tmp"));
    }
}

TEST_F(DataFileTest, ProgramDirectoryIsTheFolderOfAnyName) {
    fake::modulePath = L"C:\\ソフト\\Müller-Ωフォルダ\\keyloom.exe";
    EXPECT_EQ(programDirectory(), L"C:\\ソフト\\Müller-Ωフォルダ");
    // Any length.
    std::wstring deep = L"C:";
    while (deep.size() < 2000)
        deep += L"\\表";
    fake::modulePath = deep + L"\\keyloom.exe";
    EXPECT_EQ(dataFilePath(), deep + L"\\PASSWORD.TXT");
}

} // namespace

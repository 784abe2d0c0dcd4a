// The entry list and field editor over the fake main window: after every
// command the list shows the records' titles, the selection is editedIndex,
// and no typed text lands in the wrong record.
#include "support/keyloom_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using fake::record;
using fake::view;

class EditorTest : public KeyloomTest {
  protected:
    void type(int id, const std::string& text) { fake::edit(id, platform::sjisToWide(text)); }

    std::vector<std::string> titles() {
        std::vector<std::string> t;
        for (const EntryRecord& r : entryList.records)
            t.emplace_back(r.title());
        return t;
    }

    // What must hold after every command.
    void expectConsistent() {
        EXPECT_EQ(view.items, titles());
        EXPECT_EQ(editedIndex, view.selection);
        const bool selected = view.selection >= 0;
        EXPECT_EQ(view.grayed[IDM_DELETE], !selected);
        for (int id = IDC_TITLE; id <= IDC_MEMO; ++id) {
            EXPECT_EQ(view.enabled[id], selected) << id;
            EXPECT_TRUE(selected || fake::shown(id).empty()) << id;
        }
    }
    // The fields show record index exactly.
    void expectShown(int index) {
        const EntryRecord& r = entryList.records[index];
        EXPECT_EQ(fake::shown(IDC_TITLE), r.title());
        EXPECT_EQ(fake::shown(IDC_USER_ID), r.userId());
        EXPECT_EQ(fake::shown(IDC_PASSWORD), r.password());
        EXPECT_EQ(fake::shown(IDC_ADDRESS), r.address());
        EXPECT_EQ(fake::shown(IDC_MAIL), r.mail());
        EXPECT_EQ(fake::shown(IDC_MEMO), r.memo());
    }
};

TEST_F(EditorTest, OpensOnEntryZeroWithIconsForTheScreensDpi) {
    view.dpi = 144;
    open({record("Bank", "u1", "p1", "https://b.example/", "m1", "x\r\ny"), record("Mail"),
          record("Shop")});
    EXPECT_EQ(view.selection, 0);
    expectShown(0);
    expectConsistent();
    EXPECT_EQ(view.extent, 4 * fake::charWidth + fake::charWidth - 1);
    EXPECT_FALSE(view.moved); // -999: centred by the template
    std::map<int, std::string> names = view.buttonIcons;
    auto expectDrawnFor = [&](int dpi) {
        EXPECT_EQ(view.windowIcon, "KEYLOOM");
        EXPECT_EQ(view.windowIconDpi, dpi);
        EXPECT_EQ(view.buttonIcons, names);
        ASSERT_EQ(view.buttonIconDpi.size(), 9u);
        for (auto [id, drawnFor] : view.buttonIconDpi)
            EXPECT_EQ(drawnFor, dpi) << id;
    };
    expectDrawnFor(144);

    // Moved to a 200 % screen: the system's rectangle, and icons for 192 DPI.
    fake::changeDpi(192, {-1800, 40, -900, 660});
    platform::Rect r = platform::mainWindowRect();
    EXPECT_EQ((std::vector<int>{r.left, r.top, r.right, r.bottom}),
              (std::vector<int>{-1800, 40, -900, 660}));
    expectDrawnFor(192);
}

TEST_F(EditorTest, SavedPositionAndMaskingApplyAtSetUp) {
    settings.windowLeft = 0;
    settings.windowTop = 0;
    settings.showPassword = 0;
    open({record("a", "user", "secret")});
    EXPECT_TRUE(view.moved);
    EXPECT_EQ(view.movedTo.x, 0);
    EXPECT_TRUE(view.masked[IDC_PASSWORD]);
    EXPECT_FALSE(view.masked[IDC_USER_ID]);
    EXPECT_TRUE(view.checked[IDM_HIDE_PASSWORD]);
    EXPECT_FALSE(view.checked[IDM_HIDE_USER_ID]);

    // Masking changes only the look: the field holds the clear text.
    EXPECT_EQ(fake::shown(IDC_PASSWORD), "secret");
    dispatchCommand(IDM_HIDE_PASSWORD, 0);
    EXPECT_EQ(settings.showPassword, 1);
    EXPECT_FALSE(view.masked[IDC_PASSWORD]);
    EXPECT_FALSE(view.checked[IDM_HIDE_PASSWORD]);
    dispatchCommand(IDM_HIDE_USER_ID, 0);
    EXPECT_EQ(settings.showUserId, 0);
    EXPECT_TRUE(view.masked[IDC_USER_ID]);
    EXPECT_TRUE(view.checked[IDM_HIDE_USER_ID]);
}

TEST_F(EditorTest, TitleFollowsEachKeystrokeIntoRecordAndList) {
    open({record("A"), record("Bank")});
    type(IDC_TITLE, "B");
    EXPECT_EQ(view.items[0], "B");
    type(IDC_TITLE, "Bo");
    EXPECT_EQ(view.items[0], "Bo");
    EXPECT_EQ(entryList.records[0].title(), "Bo");
    EXPECT_EQ(view.selection, 0);
    EXPECT_TRUE(view.redraw);
    EXPECT_EQ(view.extent, 4 * fake::charWidth + fake::charWidth - 1);
    type(IDC_TITLE, "A much longer title");
    EXPECT_EQ(view.extent, 19 * fake::charWidth + fake::charWidth - 1);
    type(IDC_TITLE, "x"); // the widest shrinks: the next widest counts
    EXPECT_EQ(view.extent, 4 * fake::charWidth + fake::charWidth - 1);
    expectConsistent();
}

TEST_F(EditorTest, PastedTextIsStoredByTheFileRules) {
    open({record("A")});
    type(IDC_TITLE, "Ti\rtle");
    type(IDC_USER_ID, "us\rer");
    type(IDC_MEMO, "one\rtwo\r\nthree\r");
    EXPECT_EQ(fake::shown(IDC_MEMO), "one\r\ntwo\r\nthree\r\n"); // mended as it came in
    storeFields(0);
    EXPECT_EQ(entryList.records[0].title(), "Title");
    EXPECT_EQ(view.items[0], "Title");
    EXPECT_EQ(entryList.records[0].userId(), "user");
    EXPECT_EQ(entryList.records[0].memo(), "one\r\ntwo\r\nthree\r\n");

    // Lines ended by CR alone, pasted into the middle near the limit: the
    // limit applies to the mended text, and takes the paste's end, never
    // the text after it.
    std::wstring pasted;
    for (int i = 0; i < 2100; ++i)
        pasted += L"ab\r";
    fake::edit(IDC_MEMO, L"start" + pasted + L"end", 5 + pasted.size());
    EXPECT_EQ(view.beeps, 1);
    std::string shown = fake::shown(IDC_MEMO);
    EXPECT_EQ(shown.size(), 8190u); // 8191 would split a CR LF
    EXPECT_EQ(shown.substr(shown.size() - 5), "abend");
    storeFields(0);
    EXPECT_EQ(entryList.records[0].memo(), shown);
}

TEST_F(EditorTest, ViewingEveryEntryLeavesTheFileByteIdentical) {
    // Text other programs wrote: a lead byte without its trail byte, and the
    // NEC and IBM codes that Windows reads as the same characters as others
    // (0x8790 as 0x81E0, 0xED40 as 0xFA5C). Shown and read back, none of it
    // would come back as it was.
    const std::string odd = "\x81 a\x87\x90\xED\x40";
    ASSERT_NE(platform::wideToSjis(platform::sjisToWide(odd)), odd);
    open({record(odd, odd, odd, odd, odd, odd + "\r\n" + odd), record(fake::sjis("銀行") + odd)});
    const std::string file = fake::files[dataPath];
    select(1);
    dispatchCommand(IDM_MOVE_UP, 0);
    dispatchCommand(IDM_MOVE_DOWN, 0);
    select(0);
    dispatchCommand(IDM_COPY_PASSWORD, 0);
    exitProgram();
    EXPECT_EQ(fake::files[dataPath], file);
}

TEST_F(EditorTest, InputPastAFieldsLimitIsRefusedAtOnce) {
    open({record("A")});
    // Typed or pasted at the end: ASCII and Japanese, a byte or two each.
    fake::edit(IDC_TITLE, std::wstring(1024, L'a'));
    EXPECT_EQ(fake::shown(IDC_TITLE), std::string(1023, 'a'));
    EXPECT_EQ(view.beeps, 1);
    EXPECT_EQ(entryList.records[0].title(), std::string(1023, 'a'));
    EXPECT_EQ(view.items[0], std::string(1023, 'a'));
    fake::edit(IDC_MEMO, std::wstring(5000, L'あ'));
    EXPECT_EQ(view.fields[IDC_MEMO], std::wstring(4095, L'あ')); // 8190 bytes
    EXPECT_EQ(view.beeps, 2);

    // Composed in the middle: what goes is the end of the input, never the
    // text after the caret.
    std::wstring before(10, L'x'), after(1010, L'y');
    fake::edit(IDC_USER_ID, before + after);
    fake::edit(IDC_USER_ID, before + L"日本" + after, before.size() + 2);
    EXPECT_EQ(view.fields[IDC_USER_ID], before + L"日" + after); // 1022 bytes
    EXPECT_EQ(view.carets[IDC_USER_ID], before.size() + 1);
    EXPECT_EQ(view.beeps, 3);

    // A keystroke at the very start of a full field is refused, and the
    // field's end stays; so is Enter one byte below the memo's limit.
    fake::edit(IDC_TITLE, L"b" + std::wstring(1023, L'a'), 1);
    EXPECT_EQ(view.fields[IDC_TITLE], std::wstring(1023, L'a'));
    fake::edit(IDC_MEMO, std::wstring(8190, L'm'));
    fake::edit(IDC_MEMO, std::wstring(8190, L'm') + L"\r\n");
    EXPECT_EQ(view.fields[IDC_MEMO], std::wstring(8190, L'm'));
    EXPECT_EQ(view.beeps, 5);

    // Nothing is cut later: what was accepted is what is stored.
    select(0);
    EXPECT_EQ(entryList.records[0].userId(), fake::shown(IDC_USER_ID));
    EXPECT_EQ(entryList.records[0].memo(), fake::shown(IDC_MEMO));
}

TEST_F(EditorTest, CharactersTheFileCannotHoldAreToldAndStoredAsQuestionMarks) {
    open({record("A"), record("B")});
    fake::edit(IDC_PASSWORD, L"pässwörd😀ä");
    fake::edit(IDC_MAIL, L"café@example.jp");
    select(1);
    EXPECT_EQ(entryList.records[0].password(), "p?ssw?rd??");
    EXPECT_EQ(entryList.records[0].mail(), "caf?@example.jp");
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_NE(fake::messageBoxes[0].text.find(L"パスワード: äö😀\nメール: é\n"), std::wstring::npos)
        << fake::messageBoxes[0].text.size();

    // The title is stored as it is typed: the user hears of it at once, and
    // the field shows what was kept.
    fake::edit(IDC_TITLE, L"Café");
    EXPECT_EQ(entryList.records[1].title(), "Caf?");
    EXPECT_EQ(view.items[1], "Caf?");
    EXPECT_EQ(view.fields[IDC_TITLE], L"Caf?");
    ASSERT_EQ(fake::messageBoxes.size(), 2u);
    EXPECT_NE(fake::messageBoxes[1].text.find(L"タイトル: é\n"), std::wstring::npos);

    // Not at the end of the session: it is stored without a word.
    fake::edit(IDC_MEMO, L"naïve");
    fake::endSession();
    EXPECT_EQ(fake::messageBoxes.size(), 2u);
    EXPECT_NE(fake::files[dataPath].find("na?ve"), std::string::npos);
}

TEST_F(EditorTest, NewEntryIsShownWithItsTitleReadyToType) {
    open({record("A", "ua")});
    int extent = view.extent;
    type(IDC_USER_ID, "edited");
    dispatchCommand(IDM_NEW, 0);
    EXPECT_EQ(entryList.records[0].userId(), "edited");
    ASSERT_EQ(entryList.count(), 2);
    EXPECT_EQ(view.items[1], fake::sjis("新しいアイテム - 2"));
    EXPECT_EQ(view.selection, 1);
    expectShown(1);
    EXPECT_EQ(view.focus, IDC_TITLE);
    EXPECT_TRUE(view.focusSelectsAll);
    EXPECT_EQ(view.extent, extent); // until the title first changes
    expectConsistent();
    type(IDC_TITLE, "Named");
    EXPECT_EQ(view.items[1], "Named");
    expectConsistent();
}

TEST_F(EditorTest, DeleteAsksWithTheWholeTitleAndSelectsTheNeighbour) {
    const std::string title = fake::sjis("銀") + std::string(1021, 'x'); // 1023 bytes
    open({record("A"), record(title), record("C")});
    select(1);
    type(IDC_USER_ID, "unsaved");
    dispatchCommand(IDM_DELETE, 0); // the default answer: No, and nothing changes
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_EQ(fake::messageBoxes[0].text,
              L"銀" + std::wstring(1021, L'x') + L"を削除してもよろしいですか？");
    EXPECT_EQ(fake::messageBoxes[0].style,
              platform::mb::yesNo | platform::mb::iconWarning | platform::mb::defaultSecond);
    EXPECT_EQ(entryList.count(), 3);
    EXPECT_EQ(fake::shown(IDC_USER_ID), "unsaved");
    EXPECT_EQ(entryList.records[1].userId(), "");
    expectConsistent();

    fake::answers = {platform::mb::answerYes};
    dispatchCommand(IDM_DELETE, 0);
    EXPECT_EQ(titles(), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(view.selection, 1);
    expectShown(1);
    expectConsistent();

    // The last entry: the new last one is selected.
    fake::answers = {platform::mb::answerYes};
    dispatchCommand(IDM_DELETE, 0);
    EXPECT_EQ(view.selection, 0);
    expectShown(0);
    expectConsistent();

    // The only one: nothing is left selected or shown.
    type(IDC_PASSWORD, "typed into the deleted entry");
    fake::answers = {platform::mb::answerYes};
    dispatchCommand(IDM_DELETE, 0);
    EXPECT_EQ(entryList.count(), 0);
    expectConsistent();
    EXPECT_EQ(view.extent, fake::charWidth - 1);
}

TEST_F(EditorTest, MovesCarryUnsavedEditsAndStopAtTheEnds) {
    open({record("A"), record("B"), record("C")});
    select(1);
    type(IDC_PASSWORD, "pw of B");
    dispatchCommand(IDM_MOVE_UP, 0);
    EXPECT_EQ(titles(), (std::vector<std::string>{"B", "A", "C"}));
    EXPECT_EQ(entryList.records[0].password(), "pw of B");
    EXPECT_EQ(view.selection, 0);
    EXPECT_EQ(fake::shown(IDC_TITLE), "B");
    expectConsistent();

    type(IDC_PASSWORD, "newer");
    dispatchCommand(IDM_MOVE_UP, 0); // first: nothing at all, not even a store
    EXPECT_EQ(entryList.records[0].password(), "pw of B");
    EXPECT_EQ(titles(), (std::vector<std::string>{"B", "A", "C"}));

    dispatchCommand(IDM_MOVE_DOWN, 0);
    dispatchCommand(IDM_MOVE_DOWN, 0);
    EXPECT_EQ(titles(), (std::vector<std::string>{"A", "C", "B"}));
    EXPECT_EQ(entryList.records[2].password(), "newer");
    EXPECT_EQ(view.selection, 2);
    type(IDC_PASSWORD, "newest");
    dispatchCommand(IDM_MOVE_DOWN, 0); // last: nothing
    EXPECT_EQ(entryList.records[2].password(), "newer");
    expectConsistent();
}

TEST_F(EditorTest, RevertRestoresTheFileAndDropsTheEditor) {
    open({record("A", "ua"), record("B", "ub")});
    select(1);
    type(IDC_USER_ID, "typed");
    dispatchCommand(IDM_NEW, 0);
    select(0);
    fake::answers = {platform::mb::answerYes};
    dispatchCommand(IDM_DELETE, 0);
    select(0);
    type(IDC_TITLE, "renamed");

    dispatchCommand(IDM_REVERT, 0);
    EXPECT_TRUE(fake::messageBoxes.size() == 1); // only the delete asked
    EXPECT_EQ(titles(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(entryList.records[1].userId(), "ub");
    EXPECT_EQ(view.selection, 0);
    expectShown(0);
    expectConsistent();

    // A selection beyond the reloaded list leaves none.
    dispatchCommand(IDM_NEW, 0);
    dispatchCommand(IDM_NEW, 0);
    dispatchCommand(IDM_REVERT, 0);
    EXPECT_EQ(view.selection, -1);
    expectConsistent();
}

TEST_F(EditorTest, RevertAsksBeforeTakingAFileItCannotReadWhole) {
    open({record("A"), record("B")});
    type(IDC_USER_ID, "unsaved");
    // Held by another program, then cut short by it (two entries announced,
    // one there): each asks, and No (the default) changes nothing at all.
    fake::failing[dataPath] = platform::FileError::InUse;
    dispatchCommand(IDM_REVERT, 0);
    fake::failing.clear();
    fake::files[dataPath] = fake::dataFile({record("A"), record("B")}).substr(0, 29);
    dispatchCommand(IDM_REVERT, 0);
    ASSERT_EQ(fake::messageBoxes.size(), 2u);
    EXPECT_NE(fake::messageBoxes[0].text.find(L"読み込むことができませんでした"),
              std::wstring::npos);
    EXPECT_NE(fake::messageBoxes[1].text.find(L"1 件"), std::wstring::npos);
    EXPECT_EQ(fake::messageBoxes[1].style,
              platform::mb::yesNo | platform::mb::iconWarning | platform::mb::defaultSecond);
    EXPECT_EQ(view.items, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(fake::shown(IDC_USER_ID), "unsaved");
    select(1);
    EXPECT_EQ(entryList.records[0].userId(), "unsaved");

    // Yes tries the held file again, then takes what it holds.
    fake::failing[dataPath] = platform::FileError::InUse;
    fake::answers = {platform::mb::answerYes, platform::mb::answerYes};
    fake::duringMessageBox = [] { fake::failing.clear(); };
    dispatchCommand(IDM_REVERT, 0);
    EXPECT_EQ(fake::messageBoxes.size(), 4u);
    EXPECT_EQ(view.items, std::vector<std::string>{"A"});
    expectConsistent();

    // An entry after the count is told of, and taken with the rest.
    fake::files[dataPath] = "KEYLOOM1\r\n1" + fake::dataFile({record("A"), record("C")}).substr(11);
    fake::answers = {platform::mb::answerYes};
    dispatchCommand(IDM_REVERT, 0);
    EXPECT_NE(fake::messageBoxes.back().text.find(L"件数より 1 件多い"), std::wstring::npos);
    EXPECT_EQ(view.items, (std::vector<std::string>{"A", "C"}));

    // Removed by another program since the start: asked before the list goes.
    fake::files.clear();
    dispatchCommand(IDM_REVERT, 0); // No, the default
    EXPECT_EQ(view.items, (std::vector<std::string>{"A", "C"}));
    EXPECT_NE(fake::messageBoxes.back().text.find(L"ありません"), std::wstring::npos);
}

TEST_F(EditorTest, ANewEntryWithoutMemoryLeavesTheListAndSaysSo) {
    open({record("A")});
    fake::allocationsBeforeFailure = 0;
    dispatchCommand(IDM_NEW, 0);
    EXPECT_EQ(entryList.count(), 1);
    EXPECT_EQ(view.selection, 0);
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_NE(fake::messageBoxes[0].text.find(L"メモリが足りない"), std::wstring::npos);
    expectConsistent();
}

TEST_F(EditorTest, ListKeysBecomeCommands) {
    open({record("A"), record("B")});
    using namespace platform::key;
    EXPECT_TRUE(fake::listKey(enter));
    EXPECT_TRUE(fake::listKey(space, true));
    EXPECT_TRUE(fake::listKey(del)); // asks, answered No
    EXPECT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_TRUE(fake::listKey(f2));
    EXPECT_EQ(view.focus, IDC_TITLE);

    EXPECT_FALSE(fake::listKey(down));      // the list moves its selection
    EXPECT_TRUE(fake::listKey(down, true)); // Ctrl+Down moves the entry
    EXPECT_EQ(titles(), (std::vector<std::string>{"B", "A"}));
    EXPECT_TRUE(fake::listKey(up, true));
    EXPECT_EQ(titles(), (std::vector<std::string>{"A", "B"}));
    EXPECT_FALSE(fake::listKey(up));
    // Each through the command table, where the guards are.
    EXPECT_EQ(view.sentCommands, (std::vector<std::pair<int, int>>{{IDM_OPEN_ADDRESS, 0},
                                                                   {IDM_OPEN_ADDRESS, 0},
                                                                   {IDM_DELETE, 0},
                                                                   {IDM_RENAME, 0},
                                                                   {IDM_MOVE_DOWN, 0},
                                                                   {IDM_MOVE_UP, 0}}));

    EXPECT_FALSE(fake::listKey(n)); // the list's type-ahead
    EXPECT_TRUE(fake::listKey(n, true));
    EXPECT_EQ(entryList.count(), 3);
    EXPECT_TRUE(fake::listKey(z, true)); // Ctrl+Z reverts without asking
    EXPECT_EQ(entryList.count(), 2);
    EXPECT_FALSE(fake::listKey(z));
    EXPECT_FALSE(fake::listKey('A', true));
    expectConsistent();

    EXPECT_TRUE(fake::listKey(apps)); // pop-up at the list's corner
    ASSERT_EQ(view.popups.size(), 1u);
    EXPECT_EQ(view.popups[0].x, 8);
    EXPECT_EQ(view.popups[0].y, 58);
}

TEST_F(EditorTest, RightButtonSelectsThenOpensThePopupMenu) {
    open({record("A", "ua"), record("B", "ub"), record("C")});
    type(IDC_USER_ID, "typed");
    EXPECT_TRUE(fake::rightButton(5, 2 * fake::itemHeight + 3, true));
    EXPECT_EQ(view.selection, 2);
    EXPECT_EQ(view.sentCommands.back(), std::make_pair(IDC_LIST, 1));
    expectShown(2);
    EXPECT_EQ(entryList.records[0].userId(), "typed");
    expectConsistent();

    // Outside the items: passed on, the selection stays.
    EXPECT_FALSE(fake::rightButton(5, 10 * fake::itemHeight, true));
    EXPECT_EQ(view.selection, 2);

    view.popupChoices = {IDM_MOVE_UP};
    EXPECT_TRUE(fake::rightButton(5, 40, false));
    ASSERT_EQ(view.popups.size(), 1u);
    EXPECT_EQ(view.popups[0].x, 15);
    EXPECT_EQ(view.popups[0].y, 100);
    EXPECT_EQ(titles(), (std::vector<std::string>{"A", "C", "B"}));
    expectConsistent();
}

// A key or click typed ahead reaches the list while a notice is open in the
// middle of a selection change (the notice's own message loop hands it on):
// it must neither move entries nor the selection under the editor.
TEST_F(EditorTest, TheListTakesNoInputWhileANoticeIsOpen) {
    open({record("A"), record("B"), record("C")});
    fake::edit(IDC_PASSWORD, L"pä");
    fake::duringMessageBox = [] {
        for (int key : {platform::key::down, platform::key::up, platform::key::f2,
                        platform::key::apps, platform::key::del})
            for (bool ctrl : {true, false})
                EXPECT_TRUE(fake::listKey(key, ctrl)) << key;
        EXPECT_TRUE(fake::rightButton(5, 2 * fake::itemHeight + 3, true));
        EXPECT_TRUE(fake::rightButton(5, 40, false));
    };
    select(1);
    EXPECT_EQ(titles(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(entryList.records[0].password(), "p?");
    EXPECT_EQ(entryList.records[1].password(), "");
    EXPECT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_TRUE(view.popups.empty());
    EXPECT_NE(view.focus, IDC_TITLE);
    expectShown(1);
    expectConsistent();
}

} // namespace

// Finding an entry over the fake platform: what matches (the same cases
// run under Wine), and the find dialog, F3 and Ctrl+F as the user works them.
#include "support/keyloom_fixture.h"
#include "support/search_cases.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using fake::record;
using fake::view;
using platform::Dialog;

TEST(SearchPlatform, FindsWhateverTheCaseWidthOrKindOfKana) { search::expectFinds(); }

class FindTest : public KeyloomTest {
  protected:
    // Types text into the find dialog and presses "次を検索" presses times,
    // noting the selection after each; the dialog is then closed.
    std::vector<int> find(const std::string& text, int presses = 1) {
        std::vector<int> selections;
        fake::whileDialogOpen = [&] {
            platform::setDialogItemText(fake::dialogWindow, IDC_FIND_TEXT, text);
            for (int i = 0; i < presses; ++i) {
                fake::dialogCommand(platform::notify::ok);
                selections.push_back(view.selection);
            }
            EXPECT_EQ(fake::dialog.endedWith, -1); // it stays for the next press
            fake::dialogCommand(platform::notify::cancel);
        };
        dispatchCommand(IDM_FIND, 0);
        return selections;
    }
};

TEST_F(FindTest, EachPressSelectsTheNextMatchAsAClickWould) {
    open({record("Bank", "", "", "", "", "old memo"), record("Shop", "", "bank pass"),
          record("Bankers"), record("Cafe")});
    // Unstored text in the editor goes with its entry, and counts.
    fake::edit(IDC_MEMO, L"new memo");
    EXPECT_EQ(find("BANK", 3), (std::vector<int>{2, 0, 2}));
    EXPECT_EQ(entryList.records[0].memo(), "new memo");
    EXPECT_EQ(view.sentCommands.back(), std::make_pair(IDC_LIST, 1));

    select(3);
    fake::edit(IDC_MEMO, L"only here");
    EXPECT_EQ(find("only"), std::vector<int>{3});
    EXPECT_EQ(find("nowhere"), std::vector<int>{3}); // stays, with a beep
    EXPECT_EQ(view.beeps, 1);
    EXPECT_EQ(entryList.records[3].memo(), "only here");
}

TEST_F(FindTest, ACharacterBeyondCodePage932FindsNoQuestionMark) {
    open({record("A"), record("a?b")});
    fake::whileDialogOpen = [] {
        std::wstring& lost = fake::dialog.lost[IDC_FIND_TEXT];
        platform::setDialogItemText(fake::dialogWindow, IDC_FIND_TEXT,
                                    platform::wideToSjis(L"a\x20AC"
                                                         L"b",
                                                         &lost));
        fake::dialogCommand(platform::notify::ok);
    };
    dispatchCommand(IDM_FIND, 0);
    EXPECT_TRUE(fake::listKey(platform::key::f3));
    EXPECT_EQ(view.selection, 0);
    EXPECT_EQ(view.beeps, 2);
}

TEST_F(FindTest, TheDialogShowsTheLastTextAndF3FindsOnWithIt) {
    open({record("A1"), record("B"), record("A2")});
    // Nothing looked for yet: F3 opens the dialog, as Ctrl+F does; "次を
    // 検索" waits for some text.
    fake::whileDialogOpen = [] {
        EXPECT_TRUE(fake::dialog.disabled[platform::notify::ok]);
        fake::dialogCommand(platform::notify::ok);
        fake::dialogCommand(platform::notify::cancel);
    };
    EXPECT_TRUE(fake::listKey(platform::key::f3));
    EXPECT_FALSE(fake::listKey(platform::key::f)); // F alone: the list's own type-ahead
    EXPECT_TRUE(fake::listKey(platform::key::f, true));
    EXPECT_EQ(fake::dialogsRun, (std::vector<Dialog>{Dialog::Find, Dialog::Find}));
    EXPECT_EQ(view.beeps, 0);

    find("a");
    EXPECT_EQ(view.selection, 2);
    fake::dialogsRun.clear();
    EXPECT_TRUE(fake::listKey(platform::key::f3));
    EXPECT_EQ(view.selection, 0);
    EXPECT_TRUE(fake::dialogsRun.empty());

    fake::whileDialogOpen = [] { EXPECT_EQ(fake::dialog.texts[IDC_FIND_TEXT], "a"); };
    dispatchCommand(IDM_FIND, 0);
}

} // namespace

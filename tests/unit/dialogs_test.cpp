// The options and about dialogs over the fake platform: where they open,
// what the options dialog shows and stores, and which clicks open a link.
#include "editor/dialog_placement.h"
#include "editor/options_dialog.h"
#include "support/keyloom_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::Dialog;
namespace notify = platform::notify;

class DialogsTest : public KeyloomTest {
  protected:
    void SetUp() override {
        KeyloomTest::SetUp();
        fake::openMainWindow(mainWindowHandlers());
    }

    // Opens the options dialog through its command, with the user's doings.
    int options(std::function<void()> user = [] {}) {
        fake::whileDialogOpen = std::move(user);
        dispatchCommand(IDM_OPTIONS, 0);
        EXPECT_EQ(fake::dialogsRun, std::vector<Dialog>{Dialog::Options});
        fake::dialogsRun.clear();
        return fake::dialog.endedWith;
    }
    static std::string shownLength() { return fake::dialog.texts[IDC_LENGTH]; }
    static void type(const std::string& text) {
        platform::setDialogItemText(fake::dialogWindow, IDC_LENGTH, text.c_str());
    }
};

TEST(Placement, CentredAcrossAndAThirdDown) {
    platform::Rect main{0, 0, 640, 480};
    platform::Point p = placementOverMainWindow(main, {0, 0, 300, 190});
    EXPECT_EQ(p.x, 170);
    EXPECT_EQ(p.y, 96); // 290 / 3, not rounded up
    // Wider or taller than the main window: truncated toward zero.
    p = placementOverMainWindow(main, {0, 0, 741, 580});
    EXPECT_EQ(p.x, -50);
    EXPECT_EQ(p.y, -33);
    // Only the sizes count, not where the rectangles are.
    p = placementOverMainWindow({-2000, 300, -1360, 780}, {5, 5, 305, 195});
    EXPECT_EQ(p.x, 170);
    EXPECT_EQ(p.y, 96);
}

TEST_F(DialogsTest, BothDialogsOpenOverTheMainWindowsClientArea) {
    // Main window 640 x 480 with its client area at (110, 150), a dialog of
    // 300 x 190.
    options([] { fake::dialogCommand(notify::cancel); });
    EXPECT_TRUE(fake::dialog.moved);
    EXPECT_EQ(fake::dialog.movedTo.x, 280);
    EXPECT_EQ(fake::dialog.movedTo.y, 246);

    fake::dialogRect = {0, 0, 741, 190};
    dispatchCommand(IDM_ABOUT, 0);
    EXPECT_EQ(fake::dialogsRun, std::vector<Dialog>{Dialog::About});
    EXPECT_EQ(fake::dialog.movedTo.x, 110 - 50);
}

TEST(LengthField, ReadsAndCorrections) {
    struct Case {
        const char* text;
        int value;
        bool inRange;
    } cases[] = {
        {"1", 1, true},
        {"1000", 1000, true},
        {"0008", 8, true},
        {"", 1, false},
        {"0", 1, false},
        {"1001", 1000, false},
        // Numbers that wrap round in 32 bits are still too large.
        {"3000000000", 1000, false},
        {"4294967297", 1000, false},
        {"99999999999999999999", 1000, false},
        {"-5", 1, false},
        {"12a", 1, false},
        {"abc", 1, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(numberFieldValue(c.text, 1, 1000), c.value) << '"' << c.text << '"';
        EXPECT_EQ(isNumberFieldInRange(c.text, 1, 1000), c.inRange) << '"' << c.text << '"';
    }
    // The clipboard's seconds: too few stand for the fewest.
    EXPECT_EQ(numberFieldValue("3", 5, 600), 5);
    EXPECT_FALSE(isNumberFieldInRange("3", 5, 600));
    EXPECT_EQ(numberFieldValue("601", 5, 600), 600);
}

TEST_F(DialogsTest, OptionsShowTheSettings) {
    settings.useUppercase = 7; // any non-zero value is on
    settings.useLowercase = 0;
    EXPECT_EQ(options([] { fake::dialogCommand(notify::cancel); }), 0);
    EXPECT_EQ(shownLength(), "8");
    EXPECT_TRUE(fake::dialog.checked[IDC_USE_DIGITS]);
    EXPECT_FALSE(fake::dialog.checked[IDC_USE_LOWERCASE]);
    EXPECT_TRUE(fake::dialog.checked[IDC_USE_UPPERCASE]);
    EXPECT_EQ(fake::dialog.arrowRanges,
              (std::map<int, std::pair<int, int>>{{IDC_LENGTH_ARROWS, {1, 1000}},
                                                  {IDC_FORGET_ARROWS, {5, 600}},
                                                  {IDC_LOCK_ARROWS, {1, 1440}}}));
    // Copied text stays on the clipboard unless the user says otherwise.
    EXPECT_FALSE(fake::dialog.checked[IDC_FORGET]);
    EXPECT_EQ(fake::dialog.texts[IDC_FORGET_SECONDS], "30");
    EXPECT_TRUE(fake::dialog.disabled[IDC_FORGET_SECONDS]);
    EXPECT_TRUE(fake::dialog.disabled[IDC_FORGET_ARROWS]);
    // Windows' lock locks Keyloom, idle time does not; without a master
    // password nothing locks it, and the group is grayed.
    EXPECT_TRUE(fake::dialog.checked[IDC_LOCK_ON_SESSION]);
    EXPECT_FALSE(fake::dialog.checked[IDC_LOCK_IDLE]);
    EXPECT_EQ(fake::dialog.texts[IDC_LOCK_MINUTES], "10");
    for (int id :
         {IDC_LOCK_GROUP, IDC_LOCK_ON_SESSION, IDC_LOCK_IDLE, IDC_LOCK_MINUTES, IDC_LOCK_IDLE_TEXT})
        EXPECT_TRUE(fake::dialog.disabled[id]) << id;
    EXPECT_EQ(settings.useUppercase, 7); // Cancel stores nothing
}

// With a master password the group is there; the minutes count while their
// box is checked, corrected as the seconds are.
TEST_F(DialogsTest, TheLockGroupStoresItsBoxesAndMinutes) {
    heldKey = fake::masterKey("pw");
    options([] {
        EXPECT_FALSE(fake::dialog.disabled[IDC_LOCK_ON_SESSION]);
        EXPECT_TRUE(fake::dialog.disabled[IDC_LOCK_MINUTES]);
        fake::dialog.checked[IDC_LOCK_IDLE] = true; // the box checks itself
        fake::dialogCommand(IDC_LOCK_IDLE, notify::buttonClicked);
        EXPECT_FALSE(fake::dialog.disabled[IDC_LOCK_MINUTES]);
        EXPECT_FALSE(fake::dialog.disabled[IDC_LOCK_ARROWS]);
        platform::setDialogItemText(fake::dialogWindow, IDC_LOCK_MINUTES, "99999");
        EXPECT_EQ(fake::dialog.texts[IDC_LOCK_MINUTES], "1440");
        fake::dialog.checked[IDC_LOCK_ON_SESSION] = false;
        fake::dialogCommand(notify::ok);
    });
    EXPECT_EQ(settings.lockIdleMinutes, 1440);
    EXPECT_EQ(settings.lockOnSessionLock, 0);
    options([] {
        EXPECT_EQ(fake::dialog.texts[IDC_LOCK_MINUTES], "1440");
        platform::setDialogItemText(fake::dialogWindow, IDC_LOCK_MINUTES, "0");
        fake::dialogCommand(IDC_LOCK_MINUTES, notify::editLostFocus);
        EXPECT_EQ(fake::dialog.texts[IDC_LOCK_MINUTES], "1");
        fake::dialogCommand(notify::ok);
    });
    EXPECT_EQ(settings.lockIdleMinutes, 1);
}

TEST_F(DialogsTest, ClipboardSecondsCountOnlyWhileTheirBoxIsChecked) {
    auto typeSeconds = [](const std::string& text) {
        platform::setDialogItemText(fake::dialogWindow, IDC_FORGET_SECONDS, text);
    };
    auto check = [](bool on) {
        fake::dialog.checked[IDC_FORGET] = on; // the box checks itself
        fake::dialogCommand(IDC_FORGET, platform::notify::buttonClicked);
    };
    options([&] {
        check(true);
        EXPECT_FALSE(fake::dialog.disabled[IDC_FORGET_SECONDS]);
        EXPECT_FALSE(fake::dialog.disabled[IDC_FORGET_ARROWS]);
        // Too many are corrected at once, too few when the field is left.
        typeSeconds("6000");
        EXPECT_EQ(fake::dialog.texts[IDC_FORGET_SECONDS], "600");
        typeSeconds("3");
        EXPECT_EQ(fake::dialog.texts[IDC_FORGET_SECONDS], "3");
        fake::dialogCommand(IDC_FORGET_SECONDS, platform::notify::editLostFocus);
        EXPECT_EQ(fake::dialog.texts[IDC_FORGET_SECONDS], "5");
        typeSeconds("2");
        fake::dialogCommand(notify::ok);
    });
    EXPECT_EQ(settings.clipboardSeconds, 5);

    // Shown again as stored; unchecked, it is off whatever they say.
    options([&] {
        EXPECT_EQ(fake::dialog.texts[IDC_FORGET_SECONDS], "5");
        check(false);
        EXPECT_TRUE(fake::dialog.disabled[IDC_FORGET_SECONDS]);
        fake::dialogCommand(notify::ok);
    });
    EXPECT_EQ(settings.clipboardSeconds, 0);
}

TEST_F(DialogsTest, StoredLengthsOutOfRangeShowCorrected) {
    for (auto [stored, shown] : {std::pair{5000, "1000"}, {0, "1"}, {-3, "1"}, {1000, "1000"}}) {
        settings.passwordLength = stored;
        options([] { fake::dialogCommand(notify::cancel); });
        EXPECT_EQ(shownLength(), shown) << stored;
        EXPECT_EQ(settings.passwordLength, stored);
    }
    settings.passwordLength = 5000;
    EXPECT_EQ(options([] { fake::dialogCommand(notify::ok); }), 1);
    EXPECT_EQ(settings.passwordLength, 1000);
}

TEST_F(DialogsTest, TypedLengthsAreCorrectedAtOnce) {
    options([] {
        type("5000");
        EXPECT_EQ(shownLength(), "1000");
        type("");
        EXPECT_EQ(shownLength(), "1");
        type("42");
        EXPECT_EQ(shownLength(), "42");
        fake::dialogCommand(notify::ok);
    });
    EXPECT_EQ(settings.passwordLength, 42);
}

TEST_F(DialogsTest, OkStoresEveryControlAndCancelNone) {
    settings.useDigits = 7;
    auto changeAll = [](int button) {
        return [button] {
            type("16");
            fake::dialog.checked[IDC_USE_DIGITS] = false; // the boxes check themselves
            fake::dialog.checked[IDC_USE_LOWERCASE] = false;
            fake::dialog.checked[IDC_USE_UPPERCASE] = true;
            fake::dialogCommand(button);
        };
    };
    const Settings before = settings;
    EXPECT_EQ(options(changeAll(notify::cancel)), 0);
    EXPECT_EQ(settings.passwordLength, before.passwordLength);
    EXPECT_EQ(settings.useDigits, 7);
    EXPECT_EQ(settings.useUppercase, before.useUppercase);

    // OK with nothing touched: flags come back as 0 or 1, in range as they were.
    EXPECT_EQ(options([] { fake::dialogCommand(notify::ok); }), 1);
    EXPECT_EQ(settings.passwordLength, 8);
    EXPECT_EQ(settings.useDigits, 1);
    EXPECT_EQ(settings.useLowercase, 1);
    EXPECT_EQ(settings.useUppercase, 0);

    options(changeAll(notify::ok));
    EXPECT_EQ(settings.passwordLength, 16);
    EXPECT_EQ(settings.useDigits, 0);
    EXPECT_EQ(settings.useLowercase, 0);
    EXPECT_EQ(settings.useUppercase, 1);

    // No kind at all is accepted too.
    options([] {
        fake::dialog.checked[IDC_USE_UPPERCASE] = false;
        fake::dialogCommand(notify::ok);
    });
    EXPECT_EQ(settings.useUppercase, 0);
    EXPECT_EQ(settings.windowLeft, -999); // the others are not the dialog's
}

TEST_F(DialogsTest, AboutCaptionAndLinksOnADoubleClickOnly) {
    fake::whileDialogOpen = [] {
        EXPECT_EQ(fake::dialog.caption, L"Keyloom のバージョン情報");
        // A single click on either line does nothing.
        EXPECT_FALSE(fake::dialogCommand(IDC_HOME_PAGE_LINE, 0));
        EXPECT_FALSE(fake::dialogCommand(IDC_SUPPORT_MAIL_LINE, 0));
        EXPECT_TRUE(fake::transferLog.empty());
        // A double click opens, and the dialog stays.
        EXPECT_TRUE(fake::dialogCommand(IDC_HOME_PAGE_LINE, notify::staticDoubleClick));
        EXPECT_TRUE(fake::dialogCommand(IDC_SUPPORT_MAIL_LINE, notify::staticDoubleClick));
        EXPECT_EQ(fake::transferLog,
                  (std::vector<std::string>{"shell https://www.keyloom.example/",
                                            "shell mailto:support@keyloom.example"}));
        EXPECT_EQ(fake::dialog.endedWith, -1);
        fake::dialogCommand(notify::cancel); // Esc and the close box end it like OK
    };
    dispatchCommand(IDM_ABOUT, 0);
    EXPECT_EQ(fake::dialog.endedWith, 1);
}

} // namespace

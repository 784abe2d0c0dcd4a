// Two PCs, one folder: Keyloom on each, both on the same PASSWORD.TXT, each
// adds an entry, the first exits, then the second, which must take in what
// the first saved and say so. support/two-pcs.sh runs this executable as
// "first FOLDER" and "second FOLDER" in two Wine prefixes at once; the halves
// pace each other through marker files in the shared folder.
#include "support/keyloom_driver.h"

#include "resource.h"

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

using e2e::Keyloom;

namespace {

std::string shared; // the folder both PCs run Keyloom from

const std::vector<e2e::Entry> before{
    {"銀行", "1234-5678", "pw1"}, {"Mail", "user", "pw2"}, {"Shop", "buyer", "pw3"}};
const std::string firstPcTitle = "一台目で追加";
const std::string secondPcTitle = "二台目で追加";

std::string inShared(const std::string& name) { return shared + "\\" + name; }

// Tells the other half that this one ("first" or "second") has got this far.
void reached(const std::string& half, const std::string& step) {
    e2e::writeFile(inShared(half + "." + step), "");
}

// Waits for the other half to get as far as step; false, with a message that
// names the step, when its process ends first or it takes over a minute.
bool otherReached(const std::string& half, const std::string& step) {
    const std::string marker = inShared(half + "." + step), ended = inShared(half + ".ended");
    e2e::waitFor([&] { return e2e::fileExists(marker) || e2e::fileExists(ended); }, 60000);
    if (e2e::fileExists(marker))
        return true;
    ADD_FAILURE() << "the " << half << " PC did not reach step \"" << step << "\" "
                  << (e2e::fileExists(ended) ? "before it ended with " + e2e::readFile(ended)
                                             : std::string("in 60 s"));
    return false;
}

// A new entry from the file menu, its title typed over the one it gets.
void addEntry(Keyloom& k, const std::string& title) {
    k.command(IDM_NEW);
    k.type(IDC_TITLE, title);
    std::vector<std::string> items = k.items();
    ASSERT_TRUE(!items.empty() && items.back() == e2e::sjis(title))
        << "no entry titled " << title << " at the end of the list";
}

TEST(TwoPcs, FirstPc) {
    Keyloom k(shared, e2e::dataFile(before));
    ASSERT_TRUE(k.start()) << "the first PC's Keyloom did not start";
    ASSERT_NO_FATAL_FAILURE(addEntry(k, firstPcTitle));
    reached("first", "added");

    ASSERT_TRUE(otherReached("second", "added"));
    ASSERT_EQ(k.exitByMenu(), 1u) << "the first PC's Keyloom did not exit";
    reached("first", "exited");

    ASSERT_TRUE(otherReached("second", "exited"));
    // Both entries, added at one point on both sides: no conflict, the last
    // to save first.
    std::vector<e2e::Entry> merged = before;
    merged.push_back({secondPcTitle});
    merged.push_back({firstPcTitle});
    EXPECT_EQ(e2e::fromSjis(e2e::readFile(k.dataFile())), e2e::fromSjis(e2e::dataFile(merged)));
}

TEST(TwoPcs, SecondPc) {
    ASSERT_TRUE(otherReached("first", "added"));
    Keyloom k(shared, e2e::Program{nullptr}); // the first PC's copy and file
    ASSERT_TRUE(k.start()) << "the second PC's Keyloom did not start";
    ASSERT_NO_FATAL_FAILURE(addEntry(k, secondPcTitle));
    reached("second", "added");

    ASSERT_TRUE(otherReached("first", "exited"));
    k.command(IDM_EXIT, false);
    HWND box = nullptr;
    e2e::waitFor([&] { return (box = k.messageBox(0)) != nullptr || !k.running(); }, 30000);
    ASSERT_TRUE(box) << "the second PC's Keyloom "
                     << (k.running() ? "neither ended nor showed a message in 30 s"
                                     : "ended without a word of what it took from PASSWORD.TXT");
    std::string text = e2e::fromSjis(k.messageText(box));
    std::cout << "The second PC's Keyloom said at its exit:\n" << text << "\n";
    EXPECT_EQ(GetWindow(box, GW_OWNER), k.window) << "a message not owned by the main window";
    EXPECT_NE(text.find("PASSWORD.TXT"), std::string::npos) << text;
    EXPECT_NE(text.find("取り込みました"), std::string::npos) << text;
    k.answer(box, IDOK);
    EXPECT_EQ(k.waitForExit(), 1u) << "the second PC's Keyloom did not exit";
    reached("second", "exited");
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const std::string half = argc == 3 ? argv[1] : "";
    if (half != "first" && half != "second") {
        std::cerr << "usage: two_pcs_test first|second FOLDER\n"
                     "support/two-pcs.sh runs both halves, each in a Wine prefix of its own\n";
        return 2;
    }
    shared = argv[2];
    GTEST_FLAG_SET(filter, half == "first" ? "TwoPcs.FirstPc" : "TwoPcs.SecondPc");
    return RUN_ALL_TESTS();
}

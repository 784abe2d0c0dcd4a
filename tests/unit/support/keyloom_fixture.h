// The fixture of the tests that run the program's logic over the fake
// platform: every case starts from a fresh program (no entries, default
// settings, no exit under way) and can open the main window over records of
// its own.
#pragma once

#include "app/commands.h"
#include "app/handlers.h"
#include "app/program.h"
#include "editor/editor.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "store/data_file.h"
#include "store/entry_list.h"
#include "support/records.h"
#include "support/test_platform.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

// The fake's keyloom.exe lies in folder, its files beside it.
inline const std::wstring folder = L"C:\\Keyloom";
inline const std::wstring dataPath = folder + L"\\PASSWORD.TXT";
inline const std::wstring backupPath = folder + L"\\PASSWORD.BAK";

// Whether message box i was shown and says part; if not, what it said.
inline ::testing::AssertionResult told(const std::wstring& part, std::size_t i = 0) {
    if (i >= fake::messageBoxes.size())
        return ::testing::AssertionFailure() << "no message box " << i;
    const std::wstring& text = fake::messageBoxes[i].text;
    if (text.find(part) != std::wstring::npos)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "message box " << i << " said: " << text;
}

class KeyloomTest : public ::testing::Test {
  protected:
    // Also called inside a case to start it over.
    void SetUp() override {
        fake::reset();
        resetProgram();
    }
    void TearDown() override { releaseEntries(entryList); }

    // The window as it opens over these records.
    void open(std::initializer_list<EntryRecord> records) {
        fake::files[dataPath] = fake::dataFile(records);
        loadDataFile();
        fake::openMainWindow(mainWindowHandlers());
    }
    // The same behind password, its key held.
    void openProtected(std::initializer_list<EntryRecord> records,
                       const std::string& password = "pw") {
        fake::files[dataPath] = fake::protectedFile(records, password);
        heldKey = fake::masterKey(password);
        loadDataFile();
        fake::openMainWindow(mainWindowHandlers());
    }
    // Another PC saves PASSWORD.TXT, later than anything before.
    static void otherPcWrites(const std::string& bytes) {
        fake::files[dataPath] = bytes;
        fake::fileTimes[dataPath] = fake::nextFileTime();
    }
    // The window becomes active, and its message loop takes its next turn.
    static void activate() {
        fake::activate();
        fake::handlePosted();
    }

    // Selects list item index as a click does.
    void select(int index) {
        platform::selectItem(index);
        dispatchCommand(IDC_LIST, 1); // LBN_SELCHANGE
    }
};

#include "app/program.h"

#include "app/main_window.h"
#include "editor/editor.h"
#include "settings/settings.h"
#include "store/data_file.h"
#include "store/text.h"
#include "transfer/clipboard.h"

#include <string>

bool exitStarted = false;
bool sessionEnding = false;

namespace {

// The exit steps after the editor is written back: PASSWORD.TXT, INITIAL.TXT,
// then the rest. The next one to run; a step counts as begun before it runs,
// so that one waiting in a retry question is never run a second time.
int nextExitStep = 0;

void runExitSteps() {
    while (nextExitStep < 3) {
        switch (nextExitStep++) {
        case 0: saveDataFile(); break;
        case 1: saveSettings(); break;
        case 2:
            releaseEntries(entryList);
            // Waits a moment for a clipboard that another program holds open, so
            // that no password is left behind.
            clearClipboard();
            platform::endMainWindow(1);
            break;
        }
    }
}

// Builds entryList before the window opens. A file that cannot be read, or
// only in part, is never silently replaced: the user decides first, and
// declining ends the program without writing anything.
bool loadEntriesAtStartUp() {
    for (;;) {
        switch (loadDataFile()) {
        case DataFileState::Unreadable:
            if (askToRetryReading(nullptr) != platform::mb::answerYes)
                return false;
            break;
        case DataFileState::Damaged: {
            std::wstring text =
                formatMessage(L"以下のデータファイルの一部が壊れています。\n%s\n"
                              L"読み込めた %d 件のアイテムで続けますか？\n"
                              L"「いいえ」を選ぶと、ファイルを変更せずに終了します。",
                              {dataFilePath(), std::to_wstring(entryList.count())});
            // Going on replaces the file at exit (the damaged one is kept as
            // PASSWORD.BAK), so No is the default.
            return platform::messageBox(nullptr, text,
                                        platform::mb::yesNo | platform::mb::iconWarning |
                                            platform::mb::defaultSecond) == platform::mb::answerYes;
        }
        case DataFileState::Missing:
        case DataFileState::Read: return true;
        }
    }
}

} // namespace

int askToRetryReading(WindowHandle owner) {
    std::wstring text =
        formatMessage(L"以下のデータファイルを読み込むことができませんでした。\n%s\n"
                      L"ファイルの属性やディスクの状態を確認してください。再試行しますか？",
                      {dataFilePath()});
    return platform::messageBox(owner, text, platform::mb::yesNo | platform::mb::iconError);
}

int startUp() {
    switch (platform::createSingleInstanceMutex()) {
    case platform::MutexState::Failed: return -1;
    case platform::MutexState::AlreadyExists: platform::bringBackRunningInstance(); return 0;
    case platform::MutexState::Created: break;
    }
    if (!loadEntriesAtStartUp()) {
        releaseEntries(entryList);
        return 0;
    }
    loadSettings();
    return platform::runMainWindow();
}

void exitProgram() {
    if (exitStarted)
        return;
    exitStarted = true;
    nextExitStep = 0;
    int sel = platform::selectedIndex();
    if (sel >= 0)
        storeFields(sel);
    runExitSteps();
}

void sessionEnded() {
    sessionEnding = true;
    if (!exitStarted) {
        exitProgram();
        return;
    }
    // The sequence waits below in a retry question that will never be
    // answered: it counts as declined, and the steps after it run now.
    runExitSteps();
}

#include "app/program.h"

#include "app/handlers.h"
#include "app/sync.h"
#include "editor/editor.h"
#include "editor/find.h"
#include "editor/messages.h"
#include "editor/password_dialog.h"
#include "settings/settings.h"
#include "store/data_file.h"
#include "store/sync.h"
#include "transfer/clipboard.h"
#include "transfer/paste.h"

#include <string>
#include <vector>

namespace {

bool exiting = false;
bool ending = false;
// Set once the session ends for good: a file that cannot be put in place
// then stays as a complete temporary file for the next start to offer.
bool endConfirmed = false;

// The exit steps after the editor is written back: PASSWORD.TXT, INITIAL.TXT,
// then the rest. The next one to run, and the one running (-1 between
// steps): a step counts as begun before it runs, so that one waiting in a
// retry question is never run a second time by a later exit request.
int nextExitStep = 0;
int runningExitStep = -1;

void tellBackupLost(const std::wstring& backupPath, platform::FileError error) {
    platform::messageBox(
        formatMessage(L"以下のバックアップファイルを作ることができませんでした。\n%s\n",
                      {backupPath}) +
            fileProblem(error) +
            L"\nデータファイルは保存しましたが、前回の内容はバックアップに残っていません。",
        platform::mb::ok | platform::mb::iconWarning);
}

platform::FileError saveSettingsAsking() {
    return saveWithRetry([](bool keep) { return saveSettings(keep); }, L"").error;
}

void runExitSteps() {
    while (nextExitStep < 3) {
        runningExitStep = nextExitStep++;
        switch (runningExitStep) {
        case 0: saveEntries(); break;
        case 1: saveSettingsAsking(); break;
        case 2:
            releaseEntryList();
            // Waits a moment for a clipboard that another program holds open, so
            // that no password is left behind.
            clearClipboard();
            platform::endMainWindow(1);
            break;
        }
        runningExitStep = -1;
    }
}

int askYesNo(const std::wstring& text) {
    // Going on may replace the file at exit, so No is the default.
    return platform::messageBox(text, platform::mb::yesNo | platform::mb::iconWarning |
                                          platform::mb::defaultSecond);
}

// The program's folder must take new files, or nothing of the session can be
// saved at its end: the user hears of it now, not then.
bool folderWritableOrAccepted() {
    std::wstring folder = programDirectory();
    platform::FileError error = platform::checkFolderWritable(folder);
    if (error == platform::FileError::None)
        return true;
    std::wstring text =
        formatMessage(L"以下のフォルダーにファイルを書き込むことができません。\n%s\n", {folder}) +
        fileProblem(error) +
        L"\nこのままでは、終了するときに変更を保存できません。Keyloom "
        L"と PASSWORD.TXT "
        L"を自分のフォルダー（ドキュメントなど）に移してから起動し直してください。\n\n"
        L"このまま続けますか？";
    return askYesNo(text) == platform::mb::answerYes;
}

// The files that might hold the list but cannot be read now, each with why:
// the user tries again or goes on without them (they stay where they are).
// Going on would start empty past them when PASSWORD.TXT is missing and
// nothing else is there: then declining ends the program. False: declined so.
bool unreadableAccepted(Recovery& found, const std::vector<std::wstring>& passedOver) {
    while (!found.unreadable.empty()) {
        bool emptyStart = found.missing && found.path.empty();
        std::wstring text = L"前回の保存で残った以下のファイルを、今は読み込めません。\n";
        for (const auto& [path, why] : found.unreadable)
            text += L"\n" + path + L"\n" + fileProblem(why) + L"\n";
        text +=
            emptyStart
                ? L"\n再試行しますか？\n「いいえ」を選ぶと、ファイルを変更せずに終了します。"
                : L"\n再試行しますか？\n「いいえ」を選ぶと、これらのファイルを使わずに続けます。"
                  L"ファイルはそのまま残り、次の起動でもう一度確かめます。";
        if (askYesNo(text) != platform::mb::answerYes)
            return !emptyStart;
        found = findRecovery(passedOver);
    }
    return true;
}

// PASSWORD.TXT is protected and damaged where nothing can be read: the user
// ends the program, or goes on from PASSWORD.BAK (asked for its own
// password when the held key does not open it), which the first save then
// puts in PASSWORD.TXT's place. False: ended so, nothing written.
bool startFromBackup(const FileSeen& damaged, bool& entriesRead) {
    const std::wstring backup = dataBackupPath();
    const std::wstring problem = damagedProtectionProblem(dataFilePath(), damaged);
    if (!platform::fileExists(backup)) {
        platform::messageBox(problem +
                                 L"バックアップ（PASSWORD.BAK）もないため、ファイルを変更せずに"
                                 L"終了します。",
                             platform::mb::ok | platform::mb::iconError);
        return false;
    }
    if (askYesNo(problem + formatMessage(L"バックアップ %s から読み込みますか？\n"
                                         L"「いいえ」を選ぶと、ファイルを変更せずに終了します。",
                                         {backup})) != platform::mb::answerYes)
        return false;
    MasterKey key = heldKey, upgrade;
    FileSeen seen;
    for (;;) {
        int beyond = 0;
        DataFileState state = readDataFile(backup, entryList, nullptr, &beyond, &seen, key);
        if (state == DataFileState::NeedsPassword) {
            Unlock unlocked = askForPassword(
                {backup,
                 formatMessage(
                     L"バックアップの以下のファイルは、マスターパスワードで保護されています。"
                     L"\n%s",
                     {backup}),
                 false},
                seen, key, &upgrade);
            if (unlocked == Unlock::Opened)
                continue;
            if (unlocked != Unlock::Damaged)
                return false;
            state = DataFileState::ProtectionDamaged;
        }
        if (state == DataFileState::ProtectionDamaged) {
            platform::messageBox(damagedProtectionProblem(backup, seen) +
                                     L"ファイルを変更せずに終了します。",
                                 platform::mb::ok | platform::mb::iconError);
            return false;
        }
        if (state == DataFileState::Damaged &&
            askYesNo(damagedFileProblem(backup, beyond) +
                     formatMessage(L"読み込めた %d 件のアイテムで続けますか？\n"
                                   L"「いいえ」を選ぶと、ファイルを変更せずに終了します。",
                                   {std::to_wstring(entryList.count())})) !=
                platform::mb::answerYes)
            return false;
        if (state != DataFileState::Read && state != DataFileState::Damaged) {
            platform::messageBox(
                formatMessage(L"以下のバックアップを読み込むことができませんでした。\n%s\n"
                              L"ファイルを変更せずに終了します。",
                              {backup}),
                platform::mb::ok | platform::mb::iconError);
            return false;
        }
        break;
    }
    forgetKeys();
    if (seen.isProtected) {
        heldKey = key;
        upgradeKey = upgrade;
    } else {
        platform::messageBox(L"このバックアップは、マスターパスワードで保護されていません。"
                             L"保護するには、ファイル メニューの「マスターパスワードの設定」で"
                             L"設定し直してください。",
                             platform::mb::ok | platform::mb::iconWarning);
    }
    // PASSWORD.TXT as it is now marks what the first save writes over.
    setDataFileBase(entryList, seeDataFile());
    entriesRead = true;
    return true;
}

// Before anything else reads it, a protected PASSWORD.TXT asks for its
// master password: a wrong one is told and asked again, キャンセル ends the
// program with nothing written. The key is held from then on, and so is
// the key for today's iterations when the file has fewer. A file damaged
// where nothing can be read is told, and PASSWORD.BAK offered. False: the
// program ends.
bool unlockAtStartUp(bool& entriesRead) {
    entriesRead = false;
    FileSeen seen;
    DataFileState state = peekDataFile(dataFilePath(), seen);
    if (state == DataFileState::NeedsPassword) {
        MasterKey key, upgrade;
        switch (askForPassword(
            {dataFilePath(),
             formatMessage(L"以下のデータファイルは、マスターパスワードで保護されています。\n%s",
                           {dataFilePath()}),
             false},
            seen, key, &upgrade)) {
        case Unlock::Opened:
            forgetKeys();
            heldKey = key;
            upgradeKey = upgrade;
            return true;
        case Unlock::Declined: return false;
        case Unlock::Failed:
            platform::messageBox(
                formatMessage(L"以下のデータファイルを開くことができませんでした。\n%s\n"
                              L"ファイルを変更せずに終了します。",
                              {dataFilePath()}),
                platform::mb::ok | platform::mb::iconError);
            return false;
        case Unlock::Damaged: state = DataFileState::ProtectionDamaged; break;
        }
    }
    if (state == DataFileState::ProtectionDamaged)
        return startFromBackup(seen, entriesRead);
    return true;
}

// A recovery writes under the lock, as a save does; its questions come
// with the lock released.
template <class Write> SaveResult underLock(Write write) {
    const bool locked = lockDataFile();
    SaveResult result = write();
    if (locked)
        unlockDataFile();
    return result;
}

// Puts a file that findRecovery found in place as PASSWORD.TXT (a present one
// is kept as PASSWORD.BAK); false when that failed and the user gave up.
bool restoreDataFile(const std::wstring& path) {
    // A temporary file is renamed into place, as the save it was part of
    // would have done: never written again, so never lost half-way. Gone
    // once the lock is held, it was another PC's save, which has finished.
    if (path != dataBackupPath())
        return saveWithRetry(
                   [&](bool) {
                       return underLock([&] {
                           return platform::fileExists(path)
                                      ? swapIn(path, dataFilePath(), dataBackupPath())
                                      : SaveResult();
                       });
                   },
                   dataBackupPath())
                   .error == platform::FileError::None;
    // The backup stays what it is: what can be read of it is saved, with
    // its key. PASSWORD.TXT is missing, so there is nothing to keep as the
    // backup.
    EntryList list;
    DataFileState state = readDataFile(path, list);
    if (state != DataFileState::Read && state != DataFileState::Damaged)
        return false;
    SecureString bytes = formatDataFile(list);
    if (!sealBytes(bytes, heldKey))
        return false;
    return saveWithRetry(
               [&](bool keep) {
                   return underLock([&] { return saveDataFile(bytes, false, true, keep); });
               },
               L"")
               .error == platform::FileError::None;
}

// A recovery candidate protected with a key not held, opened with its own
// password: its count and completeness are known then, and key is its key.
// False: the user declined, or it is damaged (told); it stays as it is.
bool openWithItsPassword(Recovery& found, MasterKey& key) {
    Unlock unlocked = askForPassword(
        {found.path,
         formatMessage(L"前回の保存で残った以下のファイルは、マスターパスワードで保護されています。"
                       L"中身を確かめるには、マスターパスワードを入力してください。キャンセルを"
                       L"選ぶと、このファイルはそのまま残します。\n%s",
                       {found.path}),
         false},
        found.seen, key);
    EntryList list;
    DataFileState state = unlocked == Unlock::Opened
                              ? readDataFile(found.path, list, nullptr, nullptr, nullptr, key)
                              : DataFileState::NeedsPassword;
    if (unlocked == Unlock::Damaged)
        platform::messageBox(damagedProtectionProblem(found.path, found.seen) +
                                 L"このファイルはそのまま残します。",
                             platform::mb::ok | platform::mb::iconWarning);
    if (state != DataFileState::Read && state != DataFileState::Damaged)
        return false;
    found.count = list.count();
    found.complete = state == DataFileState::Read;
    return true;
}

// After a save that did not finish, PASSWORD.TXT is missing or a complete
// temporary file is left beside it: the user decides whether that file takes
// its place, or (a temporary file) is discarded. Nothing is touched before;
// declining (false) ends the program. entriesRead: entryList holds the
// entries already.
bool recoverAtStartUp(bool& entriesRead) {
    entriesRead = false;
    std::vector<std::wstring> passedOver; // their password declined: left as they are
    Recovery found = findRecovery();
    if (!unreadableAccepted(found, passedOver))
        return false;
    while (!found.path.empty()) {
        bool temporary = found.path != dataBackupPath();
        // Protected with a key not held: opened with its own password first.
        MasterKey key = heldKey;
        if (found.locked && !openWithItsPassword(found, key)) {
            passedOver.push_back(found.path);
            found = findRecovery(passedOver);
            // Never an empty start past a file that may hold the list.
            if (found.path.empty() && found.missing) {
                platform::messageBox(L"データファイル PASSWORD.TXT がなく、ほかに戻せるファイル"
                                     L"もないため、ファイルを変更せずに終了します。",
                                     platform::mb::ok | platform::mb::iconWarning);
                return false;
            }
            continue;
        }
        std::wstring text =
            std::wstring(found.missing
                             ? L"データファイル PASSWORD.TXT がありません。前回の保存が"
                               L"途中で終わったようです。\n"
                             : L"データファイル PASSWORD.TXT より新しい保存途中のファイルが"
                               L"あります。前回の終了時に保存しきれなかった変更です。\n") +
            formatMessage(L"以下のファイルに %d 件のアイテムがあります。\n%s\n",
                          {std::to_wstring(found.count), found.path}) +
            (found.complete ? L""
                            : L"このファイルは一部が壊れていて、読み込めた分だけを戻せます。\n") +
            L"このファイルから元に戻しますか？\n" +
            (temporary ? L"「いいえ」を選ぶと、このファイルを削除します。「キャンセル」を選ぶと、"
                         L"ファイルを変更せずに終了します。"
                       : L"「いいえ」を選ぶと、ファイルを変更せずに終了します。");
        int answer = temporary ? platform::messageBox(text, platform::mb::yesNoCancel |
                                                                platform::mb::iconWarning |
                                                                platform::mb::defaultThird)
                               : askYesNo(text);
        if (answer != platform::mb::answerYes && !(answer == platform::mb::answerNo && temporary))
            return false;
        // Put in place, it is PASSWORD.TXT, and its key the session's.
        if (answer == platform::mb::answerYes)
            adoptKey(key);
        if (answer == platform::mb::answerNo) {
            underLock([&] {
                platform::deleteFile(found.path);
                return SaveResult();
            });
        } else if (!restoreDataFile(found.path)) {
            // When it cannot be put in place, the session runs on what it
            // holds and the file stays where it is.
            DataFileState state = readDataFile(found.path, entryList);
            if (state != DataFileState::Read && state != DataFileState::Damaged)
                return false;
            // PASSWORD.TXT as it is now marks what a save may write over.
            setDataFileBase(entryList, seeDataFile());
            entriesRead = true;
            return true;
        }
        // Another kept file, or without PASSWORD.TXT the backup, comes next;
        // never an empty start past one that cannot be read.
        found = findRecovery(passedOver);
        if (found.path.empty() && found.missing && !unreadableAccepted(found, passedOver))
            return false;
    }
    return true;
}

// Builds entryList before the window opens. A file that cannot be read, or
// only in part, is never silently replaced: the user decides first, and
// declining ends the program without writing anything.
bool loadEntriesAtStartUp() {
    for (;;) {
        platform::FileError why;
        int beyond;
        switch (loadDataFile(&why, &beyond)) {
        // Protected (again) since the password was asked: asked once more.
        case DataFileState::NeedsPassword:
        case DataFileState::ProtectionDamaged: {
            bool fromBackup;
            if (!unlockAtStartUp(fromBackup))
                return false;
            if (fromBackup)
                return true;
            break;
        }
        case DataFileState::Unreadable:
            if (askToRetryReading(dataFilePath(), why) != platform::mb::answerYes)
                return false;
            break;
        case DataFileState::TooLarge: tellTooLarge(dataFilePath()); return false;
        case DataFileState::Damaged:
            return askYesNo(damagedFileProblem(dataFilePath(), beyond) +
                            formatMessage(L"読み込めた %d 件のアイテムで続けますか？\n"
                                          L"「いいえ」を選ぶと、ファイルを変更せずに終了します。",
                                          {std::to_wstring(entryList.count())})) ==
                   platform::mb::answerYes;
        case DataFileState::Read:
            if (dataFileBase.seen.opened == OpenResult::OpenedCheckDamaged)
                tellCheckLineDamaged(dataFilePath());
            return true;
        case DataFileState::Missing: return true;
        }
    }
}

} // namespace

bool exitStarted() { return exiting; }
bool sessionEnding() { return ending; }

SaveResult saveWithRetry(const std::function<SaveResult(bool keepTemporary)>& attempt,
                         const std::wstring& backupPath) {
    for (;;) {
        SaveResult saved = attempt(endConfirmed);
        if (ending || saved.error == platform::FileError::Protection)
            return saved;
        if (saved.error == platform::FileError::None) {
            if (saved.backupError != platform::FileError::None)
                tellBackupLost(backupPath, saved.backupError);
            return saved;
        }
        if (askToRetry(L"以下のデータファイルを書き込むことができませんでした。\n%s\n",
                       saved.failed, saved.error) != platform::mb::answerYes)
            return saved;
    }
}

void resetProgram() {
    exiting = ending = endConfirmed = false;
    nextExitStep = 0;
    runningExitStep = -1;
    resetSync();
    releaseEntries(entryList);
    settings = defaultSettings;
    resetFind();
}

int startUp() {
    resetProgram();
    switch (platform::createSingleInstanceMutex()) {
    case platform::MutexState::Failed: return -1;
    case platform::MutexState::AlreadyExists: platform::bringBackRunningInstance(); return 0;
    case platform::MutexState::Created: break;
    }
    if (!folderWritableOrAccepted())
        return 0;
    // The password first: recovery candidates and copies protected with the
    // same key open with it, without asking again.
    bool entriesRead;
    bool going = unlockAtStartUp(entriesRead);
    going = going && (entriesRead || recoverAtStartUp(entriesRead)) &&
            (entriesRead || loadEntriesAtStartUp());
    if (!going) {
        releaseEntries(entryList);
        forgetKeys();
        return 0;
    }
    offerStrayFiles();
    loadSettings();
    return platform::runMainWindow(mainWindowHandlers());
}

void exitProgram() {
    if (exiting)
        return;
    exiting = true;
    nextExitStep = 0;
    // The record the editor holds: while a notice about lost characters is
    // open in the middle of a selection change, the list already shows the
    // next one.
    storeFields(editedIndex);
    runExitSteps();
}

bool sessionEndQueried(bool critical) {
    ending = true;
    stopPaste();
    if (exiting && nextExitStep > 2)
        return true; // the entries are released: saved as far as they could be
    if (!exiting)
        storeFields(editedIndex);
    const wchar_t* failed = L"PASSWORD.TXT";
    platform::FileError error = saveEntries();
    if (error == platform::FileError::None) {
        failed = L"INITIAL.TXT";
        error = saveSettingsAsking();
    }
    if (error == platform::FileError::None || critical)
        return true;
    // Refused: the shutdown screen tells why, and the user can cancel, mend
    // the cause and end Keyloom as usual.
    platform::blockShutdown(formatMessage(L"Keyloom は %s を保存できませんでした。", {failed}) +
                            fileProblem(error));
    return false;
}

void sessionEndCancelled() {
    ending = false;
    platform::unblockShutdown();
    tellHeldBack();
}

void sessionEnded() {
    ending = true;
    endConfirmed = true;
    // Windows is asked to wait while the files are written; it ends the
    // program as soon as this returns.
    platform::blockShutdown(L"Keyloom がデータファイルを保存しています。");
    if (!exiting) {
        exitProgram();
    } else {
        // The sequence waits below in a question that will never be
        // answered: that step runs again, the session's quiet way (no
        // question, a file that cannot be replaced left as a complete
        // temporary file), and the steps after it follow.
        if (runningExitStep >= 0)
            nextExitStep = runningExitStep;
        runExitSteps();
    }
    platform::unblockShutdown();
}

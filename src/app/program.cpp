#include "app/program.h"

#include "app/commands.h"
#include "app/handlers.h"
#include "app/lock.h"
#include "app/sync.h"
#include "editor/editor.h"
#include "editor/find.h"
#include "editor/messages.h"
#include "editor/password_dialog.h"
#include "settings/settings.h"
#include "store/data_file.h"
#include "store/kept_base.h"
#include "store/sync.h"
#include "transfer/clipboard.h"
#include "transfer/paste.h"

#include <string>
#include <vector>

namespace {

// See the table in base/life_cycle.h. Changed only by the transitions below.
Life lifeState = Life::Starting;
// What the program was doing when Windows asked whether the session may end:
// where it goes back to when the end is refused or cancelled.
Life beforeQuery = Life::Running;
// The entries are in memory: from the start's reading until the exit or a
// lock gives them up, and again from an unlock.
bool listHeld = false;
// A lock asked when Windows locks the session or the PC is about to sleep:
// its save asks nothing.
bool lockQuietly = false;
// What a lock leaves the unlock: the selected entry's place; the held key's
// salt and iterations, a file with others having been protected again
// elsewhere; and the temporary file the list went to when PASSWORD.TXT
// could not take it.
int selectedAtLock = -1;
ProtectionSalt saltAtLock{};
unsigned iterationsAtLock = 0;
std::wstring keptAtLock;

void enter(Life next) { lifeState = next; }

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

// The exit sequence, in Exiting or SessionEnded: the editor into its entry,
// PASSWORD.TXT, INITIAL.TXT, then the entries released, the clipboard
// emptied and the window ended. The end of the session can arrive in one of
// its questions and run it to the end itself: then the rest is not run again.
void finish() {
    if (listHeld) {
        // The record the editor holds: while a notice about lost characters
        // is open in the middle of a selection change, the list already
        // shows the next one.
        storeFields(editedIndex);
        saveEntries();
    }
    if (lifeState != Life::Released)
        saveSettingsAsking();
    if (lifeState == Life::Released)
        return;
    releaseEntryList();
    listHeld = false;
    enter(Life::Released);
    platform::unblockShutdown();
    // Waits a moment for a clipboard that another program holds open, so
    // that no password is left behind.
    clearClipboard();
    platform::endMainWindow(1);
}

// The lock, in Locking: the editor into its entry and the list saved, to a
// kept temporary file when PASSWORD.TXT cannot take it; then everything of
// it forgotten. When the exit or the end of the session comes in one of the
// save's questions, it saves instead, and nothing is forgotten here. A list
// that reaches no file at all is not forgotten either: the window shows it
// again, and the user hears why.
void lock() {
    CommandUnderWay locking;
    storeFields(editedIndex);
    bool kept = false;
    MergingSave saved;
    const platform::FileError error = lifeState == Life::Locking
                                          ? saveEntries(&kept, nullptr, &saved)
                                          : platform::FileError::None;
    if (lifeState != Life::Locking)
        return;
    std::wstring keptPath = kept ? saved.kept : L"";
    if (error != platform::FileError::None && !kept) {
        const SaveResult result = keepEntries(entryList, keptPath);
        if (result.error != platform::FileError::None) {
            enter(Life::Running);
            showUnlocked(platform::selectedIndex());
            tellLater(formatMessage(L"一覧を保存できなかったため、Keyloom をロックしませんでした。"
                                    L"\n%s\n",
                                    {result.failed}) +
                      fileProblem(result.error));
            return;
        }
    }
    keptAtLock = keptPath;
    selectedAtLock = platform::selectedIndex();
    saltAtLock = heldKey.key.salt;
    iterationsAtLock = heldKey.key.iterations;
    forgetView();
    releaseEntryList();
    listHeld = false;
    enter(Life::Locked);
}

int askYesNo(const std::wstring& text) {
    // Going on may replace the file at exit, so No is the default.
    return platform::messageBox(text, platform::mb::yesNo | platform::mb::iconWarning |
                                          platform::mb::defaultSecond);
}

// The list is read at start-up and again at an unlock, asking the same
// questions. Declining one ends the program at start-up, and at an unlock
// leaves it locked; either way no file is changed.
std::wstring leftAsItIs() {
    return lifeState == Life::Locked ? L"ファイルを変更せず、ロックしたままにします。"
                                     : L"ファイルを変更せずに終了します。";
}

// The prompt for PASSWORD.TXT's master password. At an unlock, a file
// protected with another salt than the one the lock forgot was protected
// again elsewhere, with a password this PC may not know.
std::wstring passwordPrompt(const FileSeen& seen) {
    const bool elsewhere = lifeState == Life::Locked &&
                           (seen.salt != saltAtLock || seen.iterations != iterationsAtLock);
    return formatMessage(
        elsewhere ? L"以下のデータファイルは、ロックしているあいだに、ほかのパソコンなど"
                    L"で別のマスターパスワードで保護されました。そのマスターパスワードを"
                    L"入力してください。\n%s"
                  : L"以下のデータファイルは、マスターパスワードで保護されています。\n%s",
        {dataFilePath()});
}

// Going on with what could be read of a damaged data file.
bool goOnWithDamaged(const std::wstring& path, int beyond) {
    return askYesNo(damagedFileProblem(path, beyond) +
                    formatMessage(L"読み込めた %d 件のアイテムで続けますか？\n「いいえ」を選ぶと、",
                                  {std::to_wstring(entryList.count())}) +
                    leftAsItIs()) == platform::mb::answerYes &&
           stillReading();
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
        text += L"\n再試行しますか？\n「いいえ」を選ぶと、";
        text += emptyStart ? leftAsItIs()
                           : L"これらのファイルを使わずに続けます。ファイルはそのまま残り、次の"
                             L"起動でもう一度確かめます。";
        if (askYesNo(text) != platform::mb::answerYes || !stillReading())
            return !emptyStart && stillReading();
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
        platform::messageBox(problem + L"バックアップ（PASSWORD.BAK）もないため、" + leftAsItIs(),
                             platform::mb::ok | platform::mb::iconError);
        return false;
    }
    // Going on from a plain backup, the list is no longer protected: the user
    // hears it before deciding.
    FileSeen peeked;
    const bool plain = peekDataFile(backup, peeked) == DataFileState::Read && !peeked.isProtected;
    if (askYesNo(
            problem +
            (plain ? L"バックアップ（PASSWORD.BAK）は、マスターパスワードで保護されていません"
                     L"（だれでも読める形です）。\n"
                   : L"") +
            formatMessage(L"バックアップ %s から読み込みますか？\n「いいえ」を選ぶと、", {backup}) +
            leftAsItIs()) != platform::mb::answerYes ||
        !stillReading())
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
                 lifeState != Life::Starting},
                seen, key, &upgrade);
            if (!stillReading())
                return false;
            if (unlocked == Unlock::Opened)
                continue;
            if (unlocked != Unlock::Damaged)
                return false;
            state = DataFileState::ProtectionDamaged;
        }
        if (state == DataFileState::ProtectionDamaged) {
            platform::messageBox(damagedProtectionProblem(backup, seen) + leftAsItIs(),
                                 platform::mb::ok | platform::mb::iconError);
            return false;
        }
        if (state == DataFileState::Damaged && !goOnWithDamaged(backup, beyond))
            return false;
        if (state != DataFileState::Read && state != DataFileState::Damaged) {
            platform::messageBox(
                formatMessage(L"以下のバックアップを読み込むことができませんでした。\n%s\n",
                              {backup}) +
                    leftAsItIs(),
                platform::mb::ok | platform::mb::iconError);
            return false;
        }
        break;
    }
    // A plain one: the save asks before it writes clear text over the
    // protected file.
    forgetKeys();
    if (seen.isProtected) {
        heldKey = key;
        upgradeKey = upgrade;
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
        const Unlock unlocked =
            askForPassword({dataFilePath(), passwordPrompt(seen), lifeState != Life::Starting},
                           seen, key, &upgrade);
        if (!stillReading())
            return false;
        switch (unlocked) {
        case Unlock::Opened:
            forgetKeys();
            heldKey = key;
            upgradeKey = upgrade;
            return true;
        case Unlock::Declined: return false;
        case Unlock::Failed:
            platform::messageBox(
                formatMessage(L"以下のデータファイルを開くことができませんでした。\n%s\n",
                              {dataFilePath()}) +
                    leftAsItIs(),
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

// A list kept aside (see store/kept_base.h) goes back over a PASSWORD.TXT
// that changed since its base only by a merge; else it is swapped in whole,
// as is a save that did not finish (which leaves no base).
bool changedSinceKept(const std::wstring& path, const MasterKey& key, KeptBase& base, bool& known) {
    if (!platform::fileExists(keptBasePath(path)) || !platform::fileExists(dataFilePath()))
        return false;
    known = readKeptBase(path, key, base);
    const FileSeen now = seeDataFile();
    return !(known && base.fileHashed && now.hashed && base.file == now.hash);
}

// The kept list at path (opened with key) merged into PASSWORD.TXT as the
// save that kept it would have: three-way with its base when known, else
// only the entries PASSWORD.TXT lacks added. It is written with
// PASSWORD.TXT's own protection, and clear text over a protected list only
// when the user agrees, as a save asks. False when it could not be read:
// it stays where it is, for a later start.
bool mergeKeptList(const std::wstring& path, const MasterKey& key, const KeptBase* base) {
    EntryList kept, theirs;
    DataFileState state = readDataFile(path, kept, nullptr, nullptr, nullptr, key);
    FileSeen now;
    DataFileState there = readDataFile(dataFilePath(), theirs, nullptr, nullptr, &now);
    if ((state != DataFileState::Read && state != DataFileState::Damaged) ||
        (!base && there != DataFileState::Read))
        return false;
    if (base) {
        releaseEntries(entryList);
        entryList.records.swap(kept.records);
        dataFileBase.entries = unkeyedBase(*base, key, entryList, theirs);
        dataFileBase.seen = FileSeen();
        dataFileBase.seen.hashed = base->fileHashed;
        dataFileBase.seen.hash = base->file;
    } else {
        EntryList lacking;
        entriesLacking(path, theirs, lacking, nullptr, key);
        setDataFileBase(theirs, now);
        for (EntryRecord& record : lacking.records)
            theirs.records.push_back(std::move(record));
        releaseEntries(entryList);
        entryList.records.swap(theirs.records);
    }
    // A protected list asks before it goes into a plain PASSWORD.TXT.
    if (!heldKey.set && key.set)
        heldKey = key;
    bool keptAgain = false;
    MergingSave saved;
    saveEntries(&keptAgain, nullptr, &saved);
    releaseEntries(entryList);
    releaseDataFileBase();
    const bool safe = saved.outcome == Saved::Written || saved.outcome == Saved::AlreadyThere ||
                      (keptAgain && !saved.kept.empty() && saved.kept != path);
    if (!safe || !stillReading())
        return safe;
    // Its entries are in PASSWORD.TXT, or kept again with the base of now.
    underLock([&] {
        if (heldKey.set && !key.set)
            platform::wipeFile(path);
        else
            platform::deleteFile(path);
        removeKeptBase(path);
        return SaveResult();
    });
    return true;
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
                           if (!platform::fileExists(path))
                               return SaveResult();
                           SaveResult swapped = swapIn(path, dataFilePath(), dataBackupPath());
                           if (swapped.error == platform::FileError::None)
                               removeKeptBase(path);
                           return swapped;
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
         lifeState != Life::Starting},
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
            if (!stillReading())
                return false;
            passedOver.push_back(found.path);
            found = findRecovery(passedOver);
            // Never an empty start past a file that may hold the list.
            if (found.path.empty() && found.missing) {
                platform::messageBox(L"データファイル PASSWORD.TXT がなく、ほかに戻せるファイル"
                                     L"もないため、" +
                                         leftAsItIs(),
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
                       : L"「いいえ」を選ぶと、") +
            leftAsItIs();
        int answer = temporary ? platform::messageBox(text, platform::mb::yesNoCancel |
                                                                platform::mb::iconWarning |
                                                                platform::mb::defaultThird)
                               : askYesNo(text);
        if (!stillReading() ||
            (answer != platform::mb::answerYes && !(answer == platform::mb::answerNo && temporary)))
            return false;
        KeptBase base;
        bool baseKnown = false;
        // What the candidate is protected with: nothing for a plain one.
        const MasterKey own = found.seen.isProtected ? key : MasterKey();
        if (answer == platform::mb::answerNo) {
            underLock([&] {
                platform::deleteFile(found.path);
                removeKeptBase(found.path);
                return SaveResult();
            });
        } else if (temporary && changedSinceKept(found.path, own, base, baseKnown)) {
            if (!mergeKeptList(found.path, own, baseKnown ? &base : nullptr))
                passedOver.push_back(found.path);
            if (!stillReading())
                return false;
        } else {
            // Put in place, it is PASSWORD.TXT, and its key the session's.
            adoptKey(key);
            if (!restoreDataFile(found.path)) {
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
            if (askToRetryReading(dataFilePath(), why) != platform::mb::answerYes ||
                !stillReading())
                return false;
            break;
        case DataFileState::TooLarge: tellTooLarge(dataFilePath()); return false;
        case DataFileState::Damaged: return goOnWithDamaged(dataFilePath(), beyond);
        case DataFileState::Read:
            if (dataFileBase.seen.opened == OpenResult::OpenedCheckDamaged)
                tellCheckLineDamaged(dataFilePath());
            return true;
        // Gone since the lock (another program removed it): the list is not
        // started empty without a word.
        case DataFileState::Missing:
            return lifeState == Life::Starting ||
                   (askYesNo(formatMessage(L"データファイル PASSWORD.TXT がありません。\n%s\n"
                                           L"空の一覧で始めますか？\n「いいえ」を選ぶと、",
                                           {dataFilePath()}) +
                             leftAsItIs()) == platform::mb::answerYes &&
                    stillReading());
        }
    }
}

// Reads the list as the start does: the password first (recovery
// candidates and copies protected with the same key then open with it,
// without asking again), an unfinished save, the file, the copies beside
// it. False: the user declined, or (at an unlock) the program's state
// changed in a question; nothing is held then.
bool readEntries() {
    bool entriesRead;
    bool going = unlockAtStartUp(entriesRead) && stillReading();
    // Where the lock's save put the list, before it is offered.
    if (going && lifeState == Life::Locked && !keptAtLock.empty())
        platform::messageBox(
            formatMessage(L"ロックするときに PASSWORD.TXT に保存できなかったため、一覧を以下の"
                          L"ファイルに保存してあります。\n%s",
                          {keptAtLock}),
            platform::mb::ok | platform::mb::iconWarning);
    going = going && stillReading() && (entriesRead || recoverAtStartUp(entriesRead)) &&
            (entriesRead || loadEntriesAtStartUp()) && stillReading();
    if (going) {
        offerStrayFiles();
        going = stillReading();
    }
    if (!going) {
        releaseEntries(entryList);
        forgetKeys();
    }
    return going;
}

} // namespace

Life life() { return lifeState; }

bool mayAsk() {
    switch (lifeState) {
    case Life::Starting:
    case Life::Running:
    case Life::Exiting:
    case Life::Locked: return true;
    case Life::Locking: return !lockQuietly;
    default: return false;
    }
}

SaveResult saveWithRetry(const std::function<SaveResult(bool keepTemporary)>& attempt,
                         const std::wstring& backupPath) {
    const Life started = lifeState;
    for (;;) {
        SaveResult saved = attempt(lifeState == Life::SessionEnded);
        if (!mayAsk() || saved.error == platform::FileError::Protection)
            return saved;
        if (saved.error == platform::FileError::None) {
            if (saved.backupError != platform::FileError::None)
                tellBackupLost(backupPath, saved.backupError);
            return saved;
        }
        if (askToRetry(L"以下のデータファイルを書き込むことができませんでした。\n%s\n",
                       saved.failed, saved.error) != platform::mb::answerYes ||
            lifeState != started)
            return saved;
    }
}

void resetProgram() {
    enter(Life::Starting);
    beforeQuery = Life::Running;
    listHeld = lockQuietly = false;
    selectedAtLock = -1;
    saltAtLock = {};
    iterationsAtLock = 0;
    keptAtLock.clear();
    resetSync();
    resetLockWatch();
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
    if (!folderWritableOrAccepted() || !readEntries())
        return 0;
    loadSettings();
    return platform::runMainWindow(mainWindowHandlers());
}

void windowOpened() {
    // It opens on the list read before.
    listHeld = true;
    enter(Life::Running);
}

void exitProgram() {
    // The exit goes before a lock that waits or saves, and from a locked
    // window saves the settings alone.
    if (lifeState != Life::Running && lifeState != Life::LockAsked && lifeState != Life::Locking &&
        lifeState != Life::Locked)
        return;
    // A question open now would go on over what the exit saves and releases:
    // it is closed first, and the exit runs once nothing is under way.
    enter(Life::ExitAsked);
    platform::cancelOpenQuestions();
    runPendingTransition();
}

void runPendingTransition() {
    if (commandUnderWay())
        return;
    if (lifeState == Life::ExitAsked) {
        enter(Life::Exiting);
        finish();
    } else if (lifeState == Life::LockAsked) {
        enter(Life::Locking);
        lock();
    }
}

void lockProgram(bool quietly) {
    if (lifeState == Life::LockAsked) {
        lockQuietly = lockQuietly || quietly;
        return;
    }
    // Once: nothing while ending or locked, nor without a master password.
    if (lifeState != Life::Running || !heldKey.set)
        return;
    lockQuietly = quietly;
    enter(Life::LockAsked);
    // No entry stays on screen while a question waits for its answer; what
    // a dialog holds is lost nothing by closing it.
    showLocked();
    platform::cancelOpenDialogs();
    runPendingTransition();
}

void unlockProgram() {
    if (lifeState != Life::Locked)
        return;
    const bool wasProtected = iterationsAtLock != 0;
    if (!readEntries())
        return;
    listHeld = true;
    keptAtLock.clear();
    enter(Life::Running);
    showUnlocked(selectedAtLock);
    if (wasProtected && !heldKey.set)
        platform::messageBox(formatMessage(L"以下のデータファイルは、ほかのパソコンなどでマスター"
                                           L"パスワードによる保護をやめたため、パスワードを聞かずに"
                                           L"開きました。この一覧は保護されていません。\n%s",
                                           {dataFilePath()}),
                             platform::mb::ok | platform::mb::iconWarning);
}

bool sessionEndQueried(bool critical) {
    if (lifeState == Life::SessionEnded || lifeState == Life::Released)
        return true; // saved as far as it could be
    // A reason left by an earlier refusal is for that query only.
    platform::unblockShutdown();
    if (lifeState != Life::SessionEnding)
        beforeQuery = lifeState;
    enter(Life::SessionEnding);
    stopPaste();
    // The exit has stored the editor already, and may wait in a notice.
    if (listHeld && beforeQuery != Life::Exiting)
        storeFields(editedIndex);
    const wchar_t* failed = L"PASSWORD.TXT";
    platform::FileError error = listHeld ? saveEntries() : platform::FileError::None;
    if (error == platform::FileError::None) {
        failed = L"INITIAL.TXT";
        error = saveSettingsAsking();
    }
    if (error == platform::FileError::None || critical)
        return true;
    // Refused: the session does not end for Keyloom, which goes on as before.
    // Windows may never say so (it promises WM_ENDSESSION only to those that
    // agreed). The shutdown screen tells why, so the user can mend the cause
    // and end Keyloom as usual.
    platform::blockShutdown(formatMessage(L"Keyloom は %s を保存できませんでした。", {failed}) +
                            fileProblem(error));
    enter(beforeQuery);
    tellHeldBack();
    return false;
}

void sessionEndCancelled() {
    platform::unblockShutdown();
    if (lifeState != Life::SessionEnding)
        return; // refused by Keyloom itself, and back already
    enter(beforeQuery);
    tellHeldBack();
    runPendingTransition();
}

void sessionEnded() {
    if (lifeState == Life::Released)
        return;
    // The process ends as soon as this returns: whatever waits in a question
    // below (a command, the exit's own retry) never goes on, so the sequence
    // runs here, without a question, writing only what changed since.
    enter(Life::SessionEnded);
    platform::blockShutdown(L"Keyloom がデータファイルを保存しています。");
    finish();
    platform::unblockShutdown();
}

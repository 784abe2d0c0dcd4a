#include "app/sync.h"

#include "app/commands.h"
#include "app/program.h"
#include "base/life_cycle.h"
#include "editor/editor.h"
#include "editor/messages.h"
#include "editor/password_dialog.h"
#include "store/sync.h"
#include "transfer/paste.h"

#include <string>

namespace {

using platform::FileError;

// Only the run's first save of PASSWORD.TXT replaces the backup, which so
// keeps the list as it was before the run.
bool entriesSaved = false;
// What saves at the end of the session took in, told if the end is cancelled.
std::wstring heldBack;
// The held key came with entries from a protected copy while PASSWORD.TXT
// was plain: the next save writes with it over the plain file.
bool keyChosenHere = false;
// PASSWORD.TXT as it was when the user declined its master password at an
// activation: not asked again at activations until it changes.
platform::FileStamp declinedAt;

void tellNews(const std::wstring& news) {
    if (news.empty())
        return;
    if (!mayAsk()) {
        heldBack += (heldBack.empty() ? L"" : L"\n") + news;
        return;
    }
    CommandUnderWay telling; // closing the box activates the window again
    platform::messageBox(news, platform::mb::ok | platform::mb::iconInformation);
}

// Shown where the window shows the list: not before it opens, nor locked.
void takeIn(EntryList& list) {
    const Life now = life();
    if (now != Life::Starting && now != Life::LockAsked && now != Life::Locking &&
        now != Life::Locked) {
        replaceEntries(list);
    } else {
        releaseEntries(entryList);
        entryList.records.swap(list.records);
    }
}

bool askToApplyTheirDeletions(const MergeReport& report) {
    return platform::messageBox(
               formatMessage(
                   L"PASSWORD.TXT では、ほかのパソコンなどで %d 件のアイテムが削除されています"
                   L"（前に読み込んだ %d 件のうち）。\n"
                   L"この一覧からも削除しますか？\n"
                   L"「いいえ」を選ぶと、これらのアイテムを残して保存します。",
                   {std::to_wstring(report.theirDeletions),
                    std::to_wstring(dataFileBase.entries.size())}),
               platform::mb::yesNo | platform::mb::iconWarning | platform::mb::defaultSecond) ==
           platform::mb::answerYes;
}

void tellKept(const MergingSave& saved) {
    platform::messageBox(
        keptReason(saved) +
            formatMessage(
                heldKey.set ? L"PASSWORD.TXT は上書きせず、この一覧をマスターパスワードで保護して"
                              L"以下のファイルに保存しました。次に起動したときに、このファイルを"
                              L"どうするか確かめます。\n%s"
                            : L"PASSWORD.TXT は上書きせず、この一覧を以下のファイルに保存しました。"
                              L"次に起動したときに、このファイルをどうするか確かめます。\n%s",
                {saved.kept}),
        platform::mb::ok | platform::mb::iconWarning);
}

std::wstring protectedElsewhere(const std::wstring& then) {
    return formatMessage(L"以下のデータファイルは、ほかのパソコンなどで別のマスターパスワードで"
                         L"保護されています。\n%s\n",
                         {dataFilePath()}) +
           then;
}

// A plain PASSWORD.TXT while the session holds a key, or a protected one
// while it holds none (it went on from a plain backup): clear text only with
// the user's word.
bool askToWriteClearText(const FileSeen& there) {
    const std::wstring text =
        there.isProtected
            ? formatMessage(
                  L"以下のデータファイルは、マスターパスワードで保護されています。"
                  L"この一覧は、保護されていないバックアップから読み込んだものです。\n%s\n"
                  L"この一覧を保護せずに（だれでも読める形で）保存しますか？\n"
                  L"「いいえ」を選ぶと、PASSWORD.TXT は上書きせず、この一覧を別の"
                  L"ファイルに保存します。保護して保存するには、ファイル メニューの"
                  L"「マスターパスワードの設定」で設定してください。",
                  {dataFilePath()})
            : formatMessage(L"以下のデータファイルは、マスターパスワードで保護されていません。"
                            L"ほかのパソコンなどで保護をやめたか、保護しない Keyloom で保存された"
                            L"ようです。\n%s\n"
                            L"この一覧も保護せずに（だれでも読める形で）保存しますか？\n"
                            L"「いいえ」を選ぶと、PASSWORD.TXT は上書きせず、この一覧をマスター"
                            L"パスワードで保護したファイルに保存します。",
                            {dataFilePath()});
    return platform::messageBox(text, platform::mb::yesNo | platform::mb::iconWarning |
                                          platform::mb::defaultSecond) == platform::mb::answerYes;
}

// A command, question, notice or paste is under way.
bool listInUse() { return commandUnderWay() || commandsHeld() || pasteRunning(); }

bool sameList(const EntryList& a, const EntryList& b) {
    if (a.count() != b.count())
        return false;
    for (int i = 0; i < a.count(); ++i)
        if (!sameEntry(a.records[i], b.records[i]))
            return false;
    return true;
}

bool isTemporaryOfDataFile(const std::wstring& path) {
    const std::wstring prefix = dataFilePath() + L".tmp";
    return path.compare(0, prefix.size(), prefix) == 0;
}

// A copy whose entries PASSWORD.TXT holds now is renamed ".merged", and
// never offered again; while the list is protected, a clear one is wiped
// instead.
void setAsideMerged(const std::wstring& path, const FileSeen& seen) {
    if (heldKey.set && !seen.isProtected)
        platform::wipeFile(path);
    else
        setAside(path, L".merged");
}

int askToAddStray(const std::wstring& path, int lacking, bool wiped, bool damaged) {
    std::wstring text =
        isTemporaryOfDataFile(path)
            ? L"前に保存しきれなかった変更のファイルが残っています。その後、PASSWORD.TXT "
              L"はほかの保存で新しくなっています。\n"
            : L"PASSWORD.TXT と同じフォルダーに、以下のデータファイルがあります。同期ソフトが、"
              L"ほかのパソコンなどでの変更を別の名前で残したもののようです。\n";
    text += formatMessage(L"%s\nこのファイルには、PASSWORD.TXT にないアイテムが %d 件あります。"
                          L"ここで編集または削除したアイテムの古い版であることもあります。\n"
                          L"これらのアイテムを一覧の最後に追加しますか？\n",
                          {path, std::to_wstring(lacking)});
    if (damaged)
        text += L"このファイルは一部が壊れているため、読み込めたところまでで確かめました。\n";
    text += wiped
                ? L"「はい」を選ぶと、追加して保存し、保護されていないこのファイルは消去します。\n"
                : L"「はい」を選ぶと、追加して保存し、このファイルの名前の最後に「.merged」を"
                  L"付けます。\n";
    text +=
        L"「いいえ」を選ぶと、このファイルはそのまま残し、次に起動したときにもう一度確かめます。\n"
        L"「キャンセル」を選ぶと、このファイルの名前の最後に「.ignored」を付け、今後は確かめ"
        L"ません。";
    return platform::messageBox(text, platform::mb::yesNoCancel | platform::mb::iconWarning |
                                          platform::mb::defaultSecond);
}

} // namespace

std::wstring keptReason(const MergingSave& saved) {
    switch (saved.because) {
    case KeptBecause::Unreadable:
        return formatMessage(L"以下のデータファイルを読み込むことができませんでした。\n%s\n",
                             {dataFilePath()}) +
               fileProblem(saved.why) + L"\n";
    case KeptBecause::Damaged:
        return (saved.theirs.isProtected ? damagedProtectionProblem(dataFilePath(), saved.theirs)
                                         : damagedFileProblem(dataFilePath(), 0)) +
               L"ほかのパソコンなどで書き換えられたようです。\n";
    case KeptBecause::Changing:
        return formatMessage(L"以下のデータファイルは、保存するあいだにもほかのパソコンなどで"
                             L"何度も書き換えられました。\n%s\n",
                             {dataFilePath()});
    case KeptBecause::Locked: return protectedElsewhere(L"");
    case KeptBecause::Unprotected:
        return formatMessage(
            saved.theirs.isProtected
                ? L"以下のデータファイルはマスターパスワードで保護されていますが、"
                  L"この一覧は保護されていません。\n%s\n"
                : L"以下のデータファイルは、マスターパスワードで保護されていません。"
                  L"\n%s\n",
            {dataFilePath()});
    }
    return L"";
}

FileError saveEntries(bool* kept, const MasterKey* chosen, MergingSave* last) {
    if (kept)
        *kept = false;
    // Each question runs a message loop: when the program's state changed in
    // it (the exit was asked, the session ends), whoever changed it saves.
    const Life started = life();
    auto interrupted = [started] { return life() != started; };
    MergingRules rules;
    rules.chosen = chosen ? chosen : keyChosenHere ? &heldKey : nullptr;
    rules.mayKeep = !chosen;
    MasterKey theirKey; // typed for a PASSWORD.TXT protected elsewhere
    MergingSave saved;
    for (;;) {
        if (life() == Life::Released)
            return FileError::None;
        // Turning protection on, the clear file goes to the backup, where it
        // is written over with zeros afterwards (wipeClearLeftovers).
        rules.keepBackup = !entriesSaved || (chosen && chosen->set && !heldKey.set);
        // The end of the session can come while a command waits in a
        // question about an entry it holds by its place in the list.
        rules.takeIn = life() == Life::Exiting || life() == Life::SessionEnded || !listInUse();
        SaveResult result = saveWithRetry(
            [&](bool keepTemporary) {
                rules.keepTemporary = keepTemporary;
                saved = saveMerging(entryList, rules);
                return saved.result;
            },
            dataBackupPath());
        if (last)
            *last = saved;
        if (interrupted())
            return FileError::None;
        switch (saved.outcome) {
        case Saved::ManyDeletions:
            rules.deletionsDecided = true;
            rules.applyTheirDeletions = mayAsk() && askToApplyTheirDeletions(saved.report);
            break;
        // Nothing is asked while the session ends: the list is kept instead.
        case Saved::NeedsPassword:
            rules.declined = true;
            if (mayAsk()) {
                Unlock unlocked = askForPassword(
                    {dataFilePath(),
                     protectedElsewhere(L"この一覧を保存するには、そのマスターパスワードを入力して"
                                        L"ください。キャンセルを選ぶと、PASSWORD.TXT は上書きせず、"
                                        L"この一覧を別のファイルに保存します。"),
                     life() != Life::Starting},
                    saved.theirs, theirKey);
                if (unlocked == Unlock::Opened || unlocked == Unlock::Damaged) {
                    rules.theirs = &theirKey;
                    rules.declined = false;
                }
            }
            break;
        case Saved::Unprotected:
            rules.clearTextAgreed = mayAsk() && askToWriteClearText(saved.theirs);
            rules.declined = !rules.clearTextAgreed;
            break;
        case Saved::Kept:
            if (kept)
                *kept = true;
            if (mayAsk() && !saved.kept.empty())
                tellKept(saved);
            return FileError::None;
        case Saved::Failed: {
            if (result.error != FileError::Protection || !mayAsk())
                return result.error;
            int answer = platform::messageBox(
                formatMessage(L"以下のデータファイルを書き込むことができませんでした。\n%s\n",
                              {dataFilePath()}) +
                    fileProblem(result.error) +
                    L"\nもう一度試しますか？\n"
                    L"「いいえ」を選ぶと、この保護なしで（フォルダーと同じアクセス許可で、"
                    L"暗号化せずに）保存します。\n"
                    L"「キャンセル」を選ぶと、保存しません。",
                platform::mb::yesNoCancel | platform::mb::iconWarning);
            if (answer == platform::mb::answerNo)
                rules.protect = false;
            else if (answer != platform::mb::answerYes)
                return result.error;
            break;
        }
        case Saved::Written: entriesSaved = true; [[fallthrough]];
        case Saved::AlreadyThere: {
            std::wstring news;
            if (saved.merged && rules.takeIn) {
                takeIn(saved.list);
                news = mergeNews(saved.report, entryList, !rules.applyTheirDeletions);
            }
            if (saved.protectionOverridden)
                news += std::wstring(news.empty() ? L"" : L"\n\n") +
                        L"PASSWORD.TXT のマスターパスワードは、ほかのパソコンなどでも変えられて"
                        L"いましたが、ここで設定したとおりに保存しました。";
            if (keyChosenHere && !chosen)
                news += std::wstring(news.empty() ? L"" : L"\n\n") +
                        L"追加したアイテムのファイルと同じマスターパスワードで、PASSWORD.TXT "
                        L"を保護しました。";
            keyChosenHere = false;
            tellNews(news);
            return FileError::None;
        }
        }
        if (interrupted())
            return FileError::None;
    }
}

void mainWindowActivated() {
    // Nothing is done inside the activation itself, which a message box
    // closing gives in the middle of a command: at the loop's next turn.
    platform::postToMainWindow();
}

void tellHeldBack() {
    if (!heldBack.empty())
        platform::postToMainWindow();
}

void tellLater(const std::wstring& news) {
    heldBack += (heldBack.empty() ? L"" : L"\n\n") + news;
    platform::postToMainWindow();
}

void mainWindowPosted() {
    if (listInUse() || life() != Life::Running)
        return;
    CommandUnderWay running;
    std::wstring news;
    news.swap(heldBack);
    tellNews(news);
    // A file that did not change costs one look at its size and time. After
    // each question: unless the program still runs, the exit or the end of
    // the session takes the other PC's changes in.
    if (life() != Life::Running || !dataFileTouched() || !storeFields(editedIndex))
        return;
    EntryList merged;
    MergeReport report;
    FileSeen seen;
    TakeIn took = takeInDataFile(entryList, merged, report, seen);
    if (took == TakeIn::Locked && seen.stamp != declinedAt) {
        // Protected elsewhere since: its password is asked once for these
        // bytes; declined, the list is kept aside with the held key.
        MasterKey key;
        Unlock unlocked = askForPassword(
            {dataFilePath(),
             protectedElsewhere(
                 L"ほかのパソコンなどでの変更を取り込むには、そのマスターパスワードを"
                 L"入力してください。キャンセルを選ぶと、この一覧を別のファイルに"
                 L"保存します。"),
             true},
            seen, key);
        if (life() != Life::Running)
            return;
        if (unlocked == Unlock::Opened) {
            took = takeInDataFile(entryList, merged, report, seen, key);
        } else if (unlocked == Unlock::Declined) {
            declinedAt = seen.stamp;
            MergingRules rules;
            rules.declined = true;
            rules.keepBackup = !entriesSaved;
            MergingSave saved = saveMerging(entryList, rules);
            if (saved.outcome == Saved::Kept)
                tellKept(saved);
        }
    }
    if (took != TakeIn::Merged)
        return;
    enableLockCommand(); // the key may be another PC's now
    if (!sameList(merged, entryList))
        replaceEntries(merged);
    tellNews(mergeNews(report, entryList, false));
}

void offerStrayFiles() {
    // Also at an unlock: no answer is acted on once the reading stops.
    std::wstring unread; // named at the end, and left as they are
    for (const std::wstring& path : strayDataFiles()) {
        EntryList lacking;
        FileSeen seen;
        MasterKey key = heldKey;
        FileError why = FileError::None;
        DataFileState state = entriesLacking(path, entryList, lacking, &seen, key, &why);
        if (state == DataFileState::NeedsPassword) {
            // Left as it is when the user declines.
            if (askForPassword(
                    {path,
                     formatMessage(L"PASSWORD.TXT と同じフォルダーにある以下のデータファイル"
                                   L"は、別のマスターパスワードで保護されています。"
                                   L"そのアイテムを確かめるには、マスターパスワードを入力"
                                   L"してください。キャンセルを選ぶと、このファイルはその"
                                   L"まま残します。\n%s",
                                   {path}),
                     life() != Life::Starting},
                    seen, key) != Unlock::Opened ||
                !stillReading())
                continue;
            state = entriesLacking(path, entryList, lacking, &seen, key, &why);
        }
        const bool damaged = state == DataFileState::Damaged;
        if (state == DataFileState::ProtectionDamaged) {
            unread += damagedProtectionProblem(path, seen) + L"\n";
            continue;
        }
        if (state == DataFileState::Unreadable || state == DataFileState::TooLarge) {
            unread += path + L"\n" + fileProblem(why) + L"\n\n";
            continue;
        }
        if (state != DataFileState::Read && !damaged)
            continue;
        if (lacking.count() == 0) {
            // A save's leftover with nothing of its own: put aside, so that
            // its name serves saves again. Another program's copy is its own;
            // cut short, it may have held more than could be read.
            if (isTemporaryOfDataFile(path))
                setAsideMerged(path, seen);
            else if (damaged)
                unread += damagedFileProblem(path, 0) +
                          L"読み込めたアイテムは、すべて PASSWORD.TXT にあります。\n\n";
            continue;
        }
        int answer =
            askToAddStray(path, lacking.count(), heldKey.set && !seen.isProtected, damaged);
        if (!stillReading())
            return;
        if (answer == platform::mb::answerCancel) {
            setAside(path, L".ignored");
        } else if (answer == platform::mb::answerYes) {
            for (EntryRecord& record : lacking.records)
                entryList.records.push_back(std::move(record));
            // Its entries were protected: PASSWORD.TXT is too from now on.
            if (seen.isProtected && !heldKey.set) {
                heldKey = key;
                keyChosenHere = true;
            }
            bool kept;
            // Set aside only once its entries are in PASSWORD.TXT.
            if (saveEntries(&kept) == FileError::None && !kept && stillReading())
                setAsideMerged(path, seen);
        }
    }
    if (!unread.empty() && stillReading())
        platform::messageBox(L"PASSWORD.TXT と同じフォルダーにある以下のファイルは、読み込めないか"
                             L"壊れているため、そのアイテムを確かめられませんでした。ファイルは"
                             L"そのまま残してあります。\n\n" +
                                 unread.substr(0, unread.size() - 1),
                             platform::mb::ok | platform::mb::iconWarning);
}

std::wstring wipeClearLeftovers() {
    std::wstring failed;
    for (const std::wstring& path : clearLeftovers())
        if (platform::wipeFile(path) != FileError::None)
            failed += path + L"\n";
    QuietAttempts retried;
    copyAsBackup(dataFilePath(), dataBackupPath(), retried);
    return failed;
}

void offerClearCopies(std::wstring readable) {
    auto wipe = [&](const std::wstring& path) {
        if (platform::wipeFile(path) != FileError::None)
            readable += path + L"\n";
    };
    for (const std::wstring& path : strayDataFiles()) {
        EntryList lacking;
        FileSeen seen;
        DataFileState state = entriesLacking(path, entryList, lacking, &seen);
        if (life() != Life::Running)
            return;
        if (seen.isProtected || state == DataFileState::Missing)
            continue;
        const bool ours = isTemporaryOfDataFile(path);
        if (state == DataFileState::Unreadable || state == DataFileState::TooLarge) {
            readable += path + L"\n";
            continue;
        }
        // A save's leftover that adds nothing, or was cut short: wiped.
        // Another program's damaged copy is not Keyloom's to wipe: named.
        if (ours && (state == DataFileState::Damaged || lacking.count() == 0)) {
            wipe(path);
            continue;
        }
        if (state != DataFileState::Read) {
            readable += path + L"\n";
            continue;
        }
        int answer = platform::messageBox(
            formatMessage(L"PASSWORD.TXT と同じフォルダーに、マスターパスワードで保護されていない"
                          L"以下のデータファイルがあります。\n%s\n"
                          L"このファイルには、PASSWORD.TXT にないアイテムが %d 件あります。\n"
                          L"「はい」を選ぶと、これらのアイテムを一覧の最後に追加して保存し、この"
                          L"ファイルは消去します。\n"
                          L"「いいえ」を選ぶと、このファイルを同じマスターパスワードで保護します"
                          L"（アイテムはこのファイルに残ります）。\n"
                          L"「キャンセル」を選ぶと、このファイルをそのまま残します。保護されず、"
                          L"だれでも読めるままです。",
                          {path, std::to_wstring(lacking.count())}),
            platform::mb::yesNoCancel | platform::mb::iconWarning);
        if (life() != Life::Running) // the exit or the session's end saves it
            return;
        if (answer == platform::mb::answerYes) {
            EntryList grown = entryList;
            for (EntryRecord& record : lacking.records)
                grown.records.push_back(std::move(record));
            replaceEntries(grown);
            bool kept;
            FileError error = saveEntries(&kept);
            // Wiped only once its entries are in PASSWORD.TXT.
            if (life() != Life::Running)
                return;
            if (error == FileError::None && !kept)
                wipe(path);
            else
                readable += path + L"\n";
        } else if (answer == platform::mb::answerNo) {
            if (protectInPlace(path) != FileError::None)
                readable += path + L"\n";
        } else {
            readable += path + L"\n";
        }
    }
    if (!readable.empty())
        platform::messageBox(L"以下のファイルは保護されていないまま残っています。"
                             L"だれでも読むことができます。\n" +
                                 readable,
                             platform::mb::ok | platform::mb::iconWarning);
}

void releaseEntryList() {
    releaseEntries(entryList);
    releaseDataFileBase();
    forgetKeys();
}

void resetSync() {
    entriesSaved = keyChosenHere = false;
    declinedAt = {};
    forgetKeys();
    heldBack.clear();
    forgetKeptFile();
    releaseDataFileBase();
    dataFileBase.seen = {};
}

#include "app/sync.h"

#include "app/commands.h"
#include "app/program.h"
#include "base/life_cycle.h"
#include "editor/editor.h"
#include "editor/messages.h"
#include "store/sync.h"
#include "transfer/paste.h"

#include <string>

namespace {

using platform::FileError;

// Only the run's first save of PASSWORD.TXT replaces the backup, which so
// keeps the list as it was before the run.
bool entriesSaved = false;
bool released = false;
bool windowShown = false;
// What saves at the end of the session took in, told if the end is cancelled.
std::wstring heldBack;

void tellNews(const std::wstring& news) {
    if (news.empty())
        return;
    if (sessionEnding()) {
        heldBack += (heldBack.empty() ? L"" : L"\n") + news;
        return;
    }
    CommandUnderWay telling; // closing the box activates the window again
    platform::messageBox(news, platform::mb::ok | platform::mb::iconInformation);
}

void takeIn(EntryList& list) {
    if (windowShown) {
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
                    std::to_wstring(dataFileBase.list.count())}),
               platform::mb::yesNo | platform::mb::iconWarning | platform::mb::defaultSecond) ==
           platform::mb::answerYes;
}

void tellKept(const MergingSave& saved) {
    std::wstring text;
    switch (saved.because) {
    case KeptBecause::Unreadable:
        text = formatMessage(L"以下のデータファイルを読み込むことができませんでした。\n%s\n",
                             {dataFilePath()}) +
               fileProblem(saved.why) + L"\n";
        break;
    case KeptBecause::Damaged:
        text = damagedFileProblem(dataFilePath(), 0) +
               L"ほかのパソコンなどで書き換えられたようです。\n";
        break;
    case KeptBecause::Changing:
        text = formatMessage(L"以下のデータファイルは、保存するあいだにもほかのパソコンなどで"
                             L"何度も書き換えられました。\n%s\n",
                             {dataFilePath()});
        break;
    }
    platform::messageBox(
        text + formatMessage(L"PASSWORD.TXT は上書きせず、この一覧を以下のファイルに保存しました。"
                             L"次に起動したときに、このファイルをどうするか確かめます。\n%s",
                             {saved.kept}),
        platform::mb::ok | platform::mb::iconWarning);
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

int askToAddStray(const std::wstring& path, int lacking) {
    std::wstring text =
        isTemporaryOfDataFile(path)
            ? L"前に保存しきれなかった変更のファイルが残っています。その後、PASSWORD.TXT "
              L"はほかの保存で新しくなっています。\n"
            : L"PASSWORD.TXT と同じフォルダーに、以下のデータファイルがあります。同期ソフトが、"
              L"ほかのパソコンなどでの変更を別の名前で残したもののようです。\n";
    text += formatMessage(
        L"%s\nこのファイルには、PASSWORD.TXT にないアイテムが %d 件あります。"
        L"ここで編集または削除したアイテムの古い版であることもあります。\n"
        L"これらのアイテムを一覧の最後に追加しますか？\n"
        L"「はい」を選ぶと、追加して保存し、このファイルの名前の最後に「.merged」を付けます。\n"
        L"「いいえ」を選ぶと、このファイルはそのまま残し、次に起動したときにもう一度確かめます。\n"
        L"「キャンセル」を選ぶと、このファイルの名前の最後に「.ignored」を付け、今後は確かめ"
        L"ません。",
        {path, std::to_wstring(lacking)});
    return platform::messageBox(text, platform::mb::yesNoCancel | platform::mb::iconWarning |
                                          platform::mb::defaultSecond);
}

} // namespace

FileError saveEntries(bool* kept) {
    if (kept)
        *kept = false;
    MergingRules rules;
    for (;;) {
        if (released)
            return FileError::None;
        rules.sessionEnd = sessionEnding();
        rules.keepBackup = !entriesSaved;
        // The end of the session can come while a command waits in a
        // question about an entry it holds by its place in the list.
        rules.takeIn = exitStarted() || !listInUse();
        MergingSave saved;
        SaveResult result = saveWithRetry(
            [&](bool keepTemporary) {
                if (released) // the session ended meanwhile, and the exit with it
                    return SaveResult();
                rules.keepTemporary = keepTemporary;
                saved = saveMerging(entryList, rules);
                return saved.result;
            },
            dataBackupPath());
        if (released)
            return FileError::None;
        switch (saved.outcome) {
        case Saved::ManyDeletions:
            rules.deletionsDecided = true;
            rules.applyTheirDeletions = !sessionEnding() && askToApplyTheirDeletions(saved.report);
            continue;
        case Saved::Kept:
            if (kept)
                *kept = true;
            if (!sessionEnding())
                tellKept(saved);
            return FileError::None;
        case Saved::Failed: {
            if (result.error != FileError::Protection || sessionEnding())
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
            continue;
        }
        case Saved::Written: entriesSaved = true; [[fallthrough]];
        case Saved::AlreadyThere:
            if (saved.merged && rules.takeIn) {
                takeIn(saved.list);
                tellNews(mergeNews(saved.report, entryList, !rules.applyTheirDeletions));
            }
            return FileError::None;
        }
    }
}

void setWindowShown() { windowShown = true; }

void mainWindowActivated() {
    // Nothing is done inside the activation itself, which a message box
    // closing gives in the middle of a command: at the loop's next turn.
    platform::postToMainWindow();
}

void tellHeldBack() {
    if (!heldBack.empty())
        platform::postToMainWindow();
}

void mainWindowPosted() {
    if (listInUse() || exitStarted() || sessionEnding())
        return;
    CommandUnderWay running;
    std::wstring news;
    news.swap(heldBack);
    tellNews(news);
    // A file that did not change costs one look at its size and time.
    if (!dataFileTouched() || !storeFields(editedIndex))
        return;
    EntryList merged;
    MergeReport report;
    if (takeInDataFile(entryList, merged, report) != TakeIn::Merged)
        return;
    if (!sameList(merged, entryList))
        replaceEntries(merged);
    tellNews(mergeNews(report, entryList, false));
}

void offerStrayFiles() {
    for (const std::wstring& path : strayDataFiles()) {
        EntryList lacking;
        if (!entriesLacking(path, entryList, lacking))
            continue;
        if (lacking.count() == 0) {
            // A save's leftover with nothing of its own: put aside, so that
            // its name serves saves again. Another program's copy is its own.
            if (isTemporaryOfDataFile(path))
                setAside(path, L".merged");
            continue;
        }
        int answer = askToAddStray(path, lacking.count());
        if (answer == platform::mb::answerCancel) {
            setAside(path, L".ignored");
        } else if (answer == platform::mb::answerYes) {
            for (EntryRecord& record : lacking.records)
                entryList.records.push_back(std::move(record));
            bool kept;
            // Set aside only once its entries are in PASSWORD.TXT.
            if (saveEntries(&kept) == FileError::None && !kept)
                setAside(path, L".merged");
        }
    }
}

void releaseEntryList() {
    released = true;
    releaseEntries(entryList);
    releaseEntries(dataFileBase.list);
}

void resetSync() {
    entriesSaved = released = windowShown = false;
    heldBack.clear();
    forgetKeptFile();
    releaseEntries(dataFileBase.list);
    dataFileBase.seen = {};
}

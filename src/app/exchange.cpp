#include "app/exchange.h"

#include "app/sync.h"
#include "base/life_cycle.h"
#include "editor/dialog_placement.h"
#include "editor/editor.h"
#include "editor/messages.h"
#include "resources/resource.h"
#include "store/import_export.h"

#include <new>
#include <optional>
#include <string>
#include <utility>

namespace {

using platform::FileError;

const wchar_t* encodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8WithMark: return L"UTF-8（BOM 付き）";
    case TextEncoding::Utf16Le: return L"UTF-16（リトル エンディアン）";
    case TextEncoding::Utf16Be: return L"UTF-16（ビッグ エンディアン）";
    case TextEncoding::Utf8: return L"UTF-8";
    case TextEncoding::ShiftJis: return L"Shift-JIS";
    }
    return L"";
}

const wchar_t* formatName(CsvFormat format) {
    switch (format) {
    case CsvFormat::Chrome: return L"Chrome・Edge のエクスポート";
    case CsvFormat::Firefox: return L"Firefox のエクスポート";
    case CsvFormat::Bitwarden: return L"Bitwarden のエクスポート";
    case CsvFormat::KeePass: return L"KeePass 2 のエクスポート";
    case CsvFormat::KeePassXC: return L"KeePassXC のエクスポート";
    case CsvFormat::Keyloom: return L"Keyloom のエクスポート";
    case CsvFormat::Other: return L"そのほかの CSV（列の名前から読み取りました）";
    }
    return L"";
}

std::wstring count(int n) { return std::to_wstring(n) + L" 件"; }

// Why a row is refused, or how its entry is stored changed.
std::wstring noteText(const FieldNote& note, bool refused) {
    const std::wstring field = fieldName(note.field);
    const std::wstring limit = std::to_wstring(fieldLimit(note.field));
    switch (note.issue) {
    case FieldIssue::CharactersLacking:
        return formatMessage(refused ? L"%sに保存できない文字（%s）があります。"
                                     : L"%sの保存できない文字（%s）を「?」に置き換えます。",
                             {field, note.characters});
    case FieldIssue::TooLong:
        return formatMessage(refused ? L"%sが長すぎます（%d バイトまで）。"
                                     : L"%sが長すぎるため、%d バイトまでで切ります。",
                             {field, limit});
    case FieldIssue::LineBreak:
        return formatMessage(refused ? L"%sに改行があります。" : L"%sの改行を空白に置き換えます。",
                             {field});
    }
    return L"";
}

// One line a row: where it is in the file, its title, and why.
std::wstring listedRows(const ImportResult& result) {
    std::wstring text;
    for (const ListedRow& row : result.listed) {
        text += formatMessage(L"%d 行目「%s」: ",
                              {std::to_wstring(row.line), platform::sjisToWide(row.title)});
        if (row.refused)
            text += L"インポートできません。";
        for (const FieldNote& note : row.notes)
            text += noteText(note, row.refused);
        text += L"\r\n";
    }
    return text.empty() ? L"（ありません）" : text;
}

// ---- The import dialog ----

// One asking: the dialog's handlers get it as their context.
struct ImportQuestion {
    const std::wstring& path;
    const ImportResult& result;
    bool accepted = false;
};

void setUpImport(WindowHandle dialog, void* context) {
    const ImportQuestion& question = *static_cast<ImportQuestion*>(context);
    const ImportResult& result = question.result;
    placeOverMainWindow(dialog);
    const std::pair<int, std::wstring> labels[] = {
        {IDC_IMPORT_FILE, question.path},
        {IDC_IMPORT_ENCODING, encodingName(result.encoding)},
        {IDC_IMPORT_FORMAT, formatName(result.format)},
        {IDC_IMPORT_ADDED, count(result.entries.count())},
        {IDC_IMPORT_DUPLICATES, count(result.duplicates)},
        {IDC_IMPORT_REFUSED, count(result.refused)},
        {IDC_IMPORT_CHANGED, count(result.changed)},
        {IDC_IMPORT_ROWS, listedRows(result)},
    };
    for (const auto& [id, text] : labels)
        platform::setDialogItemLabel(dialog, id, text);
    platform::showDialogItem(dialog, IDC_IMPORT_GROUPS, result.groupsDropped);
    // A row refused: Enter leaves, and the user reads the list first. With
    // nothing to add, キャンセル is all there is.
    const bool nothing = result.entries.count() == 0;
    platform::enableDialogItem(dialog, platform::notify::ok, !nothing);
    if (nothing || result.refused > 0)
        platform::setDefaultButton(dialog, platform::notify::cancel);
}

bool importDialogCommand(WindowHandle dialog, int id, int, void* context) {
    ImportQuestion& question = *static_cast<ImportQuestion*>(context);
    switch (id) {
    case platform::notify::ok:
        question.accepted = true;
        platform::endDialog(dialog, 1);
        return true;
    case platform::notify::cancel: platform::endDialog(dialog, 0); return true;
    }
    return false;
}

bool askToImport(const std::wstring& path, const ImportResult& result) {
    ImportQuestion question{path, result};
    platform::runDialog(platform::Dialog::Import, {setUpImport, importDialogCommand, &question});
    return question.accepted;
}

// ---- Messages ----

// Why the file to import or export cannot be used. Another program that
// holds such a file is most often the spreadsheet it was opened in.
std::wstring exchangeFileProblem(FileError error) {
    if (error == FileError::InUse)
        return L"ほかのプログラム（表計算ソフトなど）がこのファイルを開いています。そのプログラムで"
               L"ファイルを閉じてから、もう一度試してください。";
    return fileProblem(error);
}

// Megabytes with one decimal, rounded up: a file just over the limit does
// not read as the limit itself.
std::wstring megabytes(long long size) {
    const long long tenths = (size * 10 + (1 << 20) - 1) >> 20;
    return std::to_wstring(tenths / 10) + L"." + std::to_wstring(tenths % 10) + L" MB";
}

void tellImportProblem(const std::wstring& path, const ImportResult& result) {
    std::wstring text;
    switch (result.problem) {
    case ImportProblem::None: return;
    case ImportProblem::Unreadable:
        text = formatMessage(L"以下のファイルを読み込むことができませんでした。\n%s\n", {path}) +
               exchangeFileProblem(result.error);
        break;
    case ImportProblem::TooLarge:
        text = formatMessage(L"以下のファイルは大きすぎるため（%s）、インポートできません。"
                             L"インポートできるのは 64 MB までです。\n%s",
                             {megabytes(result.size), path});
        break;
    case ImportProblem::Empty: text = formatMessage(L"以下のファイルは空です。\n%s", {path}); break;
    case ImportProblem::Binary:
        text = formatMessage(L"以下のファイルはテキストファイルではありません。ブラウザーや"
                             L"パスワード管理ソフトが書き出した CSV ファイルを選んでください。\n%s",
                             {path});
        break;
    case ImportProblem::UnclosedQuote:
        text = formatMessage(L"以下のファイルの %d 行目で「\"」で始まる値が、ファイルの最後まで"
                             L"閉じられていません。ファイルが途中で切れているか、CSV ファイル"
                             L"として壊れています。\n%s",
                             {std::to_wstring(result.line), path});
        break;
    case ImportProblem::UnknownHeader: {
        std::wstring columns;
        for (const std::wstring& column : result.columns)
            columns += (columns.empty() ? L"" : L", ") + column;
        text = formatMessage(L"以下のファイルの 1 行目（見出し）に、タイトル、ユーザID、"
                             L"パスワード、アドレスにあたる列がありません。CSV ファイルでないか、"
                             L"見出しの行がないようです。\n%s\n見つかった列: %s",
                             {path, columns});
        break;
    }
    case ImportProblem::HeaderOnly:
        text = formatMessage(L"以下のファイルには見出しの行しかなく、アイテムがありません。\n%s",
                             {path});
        break;
    }
    platform::messageBox(text + L"\n\n何もインポートしていません。",
                         platform::mb::ok | platform::mb::iconError);
}

// The new entries at the end of the list, in the file's order; the list
// drawn once, on the first of them. False, with the list as it was, when
// memory runs out.
bool appendEntries(EntryList& imported) {
    const int first = entryList.count();
    try {
        // Room first: afterwards nothing may fail half-way.
        entryList.records.reserve(entryList.records.size() + imported.records.size());
    } catch (const std::bad_alloc&) {
        platform::messageBox(L"メモリが足りないため、インポートできませんでした。",
                             platform::mb::ok | platform::mb::iconError);
        return false;
    }
    for (EntryRecord& record : imported.records)
        entryList.records.push_back(std::move(record));
    platform::setListRedraw(false);
    fillList();
    platform::selectItem(first);
    platform::setListRedraw(true);
    showSelection();
    return true;
}

const wchar_t exportWarning[] =
    L"エクスポートするファイルには、すべてのアイテムのパスワードが暗号化されずに（だれでも読める"
    L"形で）入ります。マスターパスワードを設定していても同じです。\n\n"
    L"ほかのソフトに取り込んだら、すぐにこのファイルを削除してください。クラウドサービスが同期"
    L"するフォルダー（Windows 10 や 11 では「ドキュメント」がそうなっていることがよくあります）"
    L"に保存すると、ファイルはインターネット上にもアップロードされます。\n\n"
    L"エクスポートしますか？";

} // namespace

void importCommand() {
    // The edits go into their entry first: the import compares the file
    // with the list as the user sees it.
    if (!storeFields(editedIndex))
        return;
    const std::optional<std::wstring> path = platform::chooseFileToOpen();
    // Every dialog runs a message loop: the exit, a lock or the end of the
    // session may have come meanwhile, and takes the list as it was.
    if (!path || life() != Life::Running)
        return;
    platform::showWaitCursor(true);
    ImportResult result = importCsvFile(*path, entryList);
    platform::showWaitCursor(false);
    if (result.problem != ImportProblem::None) {
        tellImportProblem(*path, result);
        return;
    }
    if (!askToImport(*path, result) || life() != Life::Running)
        return;
    const int added = result.entries.count();
    if (!appendEntries(result.entries))
        return;
    bool kept = false;
    const bool saved = saveEntries(&kept) == FileError::None && !kept;
    if (life() != Life::Running)
        return;
    platform::messageBox(
        formatMessage(saved ? L"%d 件のアイテムを一覧の最後に追加して、保存しました。\n\n"
                            : L"%d 件のアイテムを一覧の最後に追加しましたが、PASSWORD.TXT には"
                              L"まだ保存できていません。Keyloom を終了するときに、もう一度保存"
                              L"します。\n\n",
                      {std::to_wstring(added)}) +
            formatMessage(L"インポートした以下のファイルには、パスワードが暗号化されずに入って"
                          L"います。もう使わないなら、削除してごみ箱も空にしてください。\n%s",
                          {*path}),
        platform::mb::ok | (saved ? platform::mb::iconInformation : platform::mb::iconWarning));
}

void exportCommand() {
    // The file holds what the screen shows, the edits included.
    if (!storeFields(editedIndex))
        return;
    const int answer =
        platform::messageBox(exportWarning, platform::mb::yesNo | platform::mb::iconWarning |
                                                platform::mb::defaultSecond);
    if (answer != platform::mb::answerYes || life() != Life::Running)
        return;
    const std::optional<std::wstring> path = platform::chooseFileToSave(L"keyloom-export.csv");
    if (!path || life() != Life::Running)
        return;
    for (;;) {
        const SaveResult saved = saveExportFile(*path, entryList);
        if (saved.error == FileError::None)
            break;
        // Nothing of the file is left: the user may mend the cause and try
        // again, or leave it.
        const int again = platform::messageBox(
            formatMessage(L"以下のファイルにエクスポートできませんでした。\n%s\n", {*path}) +
                exchangeFileProblem(saved.error) + L"\n再試行しますか？",
            platform::mb::yesNo | platform::mb::iconError);
        if (again != platform::mb::answerYes || life() != Life::Running)
            return;
    }
    platform::messageBox(
        formatMessage(L"%d 件のアイテムを以下のファイルにエクスポートしました。\n%s\n\n"
                      L"ほかのソフトに取り込んだら、このファイルを削除して、ごみ箱も空にして"
                      L"ください。",
                      {std::to_wstring(entryList.count()), *path}),
        platform::mb::ok | platform::mb::iconInformation);
}

#include "editor/editor.h"

#include "base/life_cycle.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "editor/messages.h"
#include "editor/password_dialog.h"
#include "store/data_file.h"
#include "store/merge.h"
#include "store/text.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

int editedIndex = -1;

namespace {

// The six fields, in the order they are stored and shown.
const int editorFields[] = {IDC_TITLE, IDC_USER_ID, IDC_PASSWORD, IDC_ADDRESS, IDC_MAIL, IDC_MEMO};

// The commands on the selected entry: their menu items, and the buttons
// beside the fields that carry the same commands.
const int entryCommands[] = {
    IDM_DELETE,          IDM_RENAME,        IDM_MOVE_UP,       IDM_MOVE_DOWN,
    IDM_COPY_USER_ID,    IDM_COPY_PASSWORD, IDM_COPY_MAIL,     IDM_PASTE_USER_ID,
    IDM_PASTE_PASSWORD,  IDM_PASTE_MAIL,    IDM_OPEN_ADDRESS,  IDM_PASTE_USER_ID_AND_PASSWORD,
    IDM_CREATE_PASSWORD, IDM_HIDE_USER_ID,  IDM_HIDE_PASSWORD,
};

// The record field an editor field shows.
Field fieldOf(int id) { return Field(id - IDC_TITLE); }
static_assert(IDC_MEMO - IDC_TITLE == static_cast<int>(Field::memo), "fields in record order");

// The most a field takes, in Shift-JIS bytes: what its record field holds.
std::size_t fieldLimit(int id) { return fieldLimit(fieldOf(id)); }

const wchar_t* fieldName(int id) { return fieldName(fieldOf(id)); }

// Keyloom's own question or notice is open: only the exit may run meanwhile,
// since the operation that asked is half done.
bool noticeOpen = false;

// Tells the user which characters of which fields could not be kept. The
// fields show what was stored by now. Nothing is shown once the session is
// ending: the system would end the program under the box.
void tellLostCharacters(const std::wstring& fields) {
    if (!mayAsk())
        return;
    bool outer = noticeOpen;
    noticeOpen = true;
    platform::messageBox(
        formatMessage(L"次の文字はデータファイルに保存できないため、「?」に置き換えて"
                      L"保存しました。\n\n%s\n必要であれば、保存できる文字で入力し直してください。",
                      {fields}),
        platform::mb::ok | platform::mb::iconWarning);
    noticeOpen = outer;
}

// The field's text mended to the file's line rules: pasted text may break
// them.
SecureString mended(int id, SecureString text) {
    if (id == IDC_MEMO)
        keepMemoLineBreaks(text, fieldLimit(id));
    else
        dropCarriageReturns(text);
    return text;
}

// Pasted text may end the memo's lines with CR alone, which the file cannot
// keep: every lone CR gets its LF in the field itself, as an edit of the
// stretch from the first one to the caret (or to the last one, if it lies
// beyond), so that the caret stays after the input. False when there is none.
bool mendMemoLineBreaks(const SecureString& text) {
    auto lone = [&](std::size_t i) {
        return text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n');
    };
    std::size_t first = 0;
    while (first < text.size() && !lone(first))
        ++first;
    if (first == text.size())
        return false;
    std::size_t to = std::max(platform::fieldCaret(IDC_MEMO), first + 1);
    for (std::size_t i = to; i < text.size(); ++i)
        if (lone(i))
            to = i + 1;
    SecureString mended;
    for (std::size_t i = first; i < to; ++i) {
        mended += text[i];
        if (lone(i))
            mended += '\n';
    }
    platform::replaceFieldBytes(IDC_MEMO, first, to, mended);
    return true;
}

// The pixel width of every title, in list order, so that a keystroke in the
// title measures one title rather than all of them.
std::vector<int> titleWidths;
int averageCharWidth = 0;

int measureTitle(std::string_view title) {
    int width = 0;
    averageCharWidth = platform::measureListTexts(&title, 1, &width);
    return width;
}

bool hasRecord(int index) { return index >= 0 && index < entryList.count(); }

// The list item of record index shows its title again.
void replaceItem(int index) {
    platform::deleteItem(index);
    platform::insertItem(index, entryList.records[index].title());
}

} // namespace

bool storeFields(int index) {
    const Life before = life();
    if (!hasRecord(index))
        return true;
    EntryRecord& record = entryList.records[index];
    std::wstring lostFields;
    for (int id : editorFields) {
        // A field the user did not change keeps its bytes: shown and read
        // back, text that other programs wrote would not come back the same.
        if (!platform::isFieldModified(id))
            continue;
        std::wstring lost;
        record.set(fieldOf(id), mended(id, platform::fieldText(id, &lost)));
        if (!lost.empty()) {
            lostFields += std::wstring(fieldName(id)) + L": " + lost + L"\n";
            platform::setFieldText(id, record.get(fieldOf(id)));
        }
    }
    if (!lostFields.empty())
        tellLostCharacters(lostFields);
    return life() == before;
}

bool commandsHeld() { return noticeOpen; }

void reserveFieldRoom() {
    // Each character code page 932 holds is one UTF-16 unit and one or two
    // bytes: every text a field keeps fits in as many units as its limit has
    // bytes. Input beyond it is there only until onFieldChanged cuts it.
    for (int id : editorFields)
        platform::reserveField(id, static_cast<int>(fieldLimit(id)));
}

void enableLockCommand() { platform::enableCommand(IDM_LOCK, heldKey.set); }

void enableEditing(bool enable) {
    for (int id : editorFields)
        platform::enableControl(id, enable);
    for (int id : entryCommands)
        platform::enableCommand(id, enable);
}

void showSelection() {
    int sel = platform::selectedIndex();
    if (sel < 0) {
        for (int id : editorFields)
            platform::setFieldText(id, "");
        enableEditing(false);
        return;
    }
    enableEditing(true);
    // Store before load: the edits belong to the record shown so far.
    if (hasRecord(editedIndex) && !storeFields(editedIndex))
        return;
    for (int id : editorFields)
        platform::setFieldText(id, entryList.records[sel].get(fieldOf(id)));
    editedIndex = sel;
}

void onFieldChanged(int id) {
    // Text that Keyloom itself put there is neither input nor a change.
    if (!platform::isFieldModified(id))
        return;
    SecureString text = platform::fieldText(id);
    // Mended as part of the input, so that the limit below applies to what
    // the field shows and is stored. The mend raises this again.
    if (id == IDC_MEMO && mendMemoLineBreaks(text))
        return;
    if (text.size() > fieldLimit(id)) {
        // Refused at once, as an edit control refuses input at its limit:
        // nothing is cut later without a word. The cut raises this again.
        TextStretch cut = overflowingInput(text, platform::fieldCaret(id), fieldLimit(id));
        platform::replaceFieldBytes(id, cut.from, cut.to);
        platform::beep();
        return;
    }
    if (id == IDC_TITLE)
        onTitleChanged();
}

void onTitleChanged() {
    int sel = platform::selectedIndex();
    if (!hasRecord(sel))
        return;
    EntryRecord& record = entryList.records[sel];
    std::wstring lost;
    SecureString title = mended(IDC_TITLE, platform::fieldText(IDC_TITLE, &lost));
    if (std::string_view(title.data(), fittingLength(title.data(), title.size(),
                                                     fieldLimit(IDC_TITLE))) == record.title())
        return;
    record.set(Field::title, title);

    platform::setListRedraw(false);
    replaceItem(sel);
    titleWidths[sel] = measureTitle(record.title());
    updateHorizontalExtent();
    platform::selectItem(sel);
    platform::setListRedraw(true);
    if (!lost.empty()) {
        platform::setFieldText(IDC_TITLE, record.title());
        tellLostCharacters(std::wstring(fieldName(IDC_TITLE)) + L": " + lost + L"\n");
    }
}

void fillList() {
    platform::removeAllItems();
    std::vector<std::string_view> titles;
    for (const EntryRecord& record : entryList.records) {
        platform::appendItem(record.title());
        titles.push_back(record.title());
    }
    titleWidths.assign(titles.size(), 0);
    averageCharWidth = platform::measureListTexts(titles.data(), static_cast<int>(titles.size()),
                                                  titleWidths.data());
    updateHorizontalExtent();
}

void replaceEntries(EntryList& list) {
    const int sel = platform::selectedIndex();
    int at = sel;
    bool found = false;
    // Of equal entries, the one nearest the old place.
    for (int i = 0; hasRecord(sel) && i < list.count(); ++i)
        if (sameEntry(list.records[i], entryList.records[sel]) &&
            (!found || std::abs(i - sel) < std::abs(at - sel))) {
            at = i;
            found = true;
        }
    releaseEntries(entryList);
    entryList.records.swap(list.records);
    editedIndex = -1;
    fillList();
    platform::selectItem(sel < 0 ? -1 : std::min(at, entryList.count() - 1));
    showSelection();
}

void updateHorizontalExtent() {
    int widest =
        titleWidths.empty() ? 0 : *std::max_element(titleWidths.begin(), titleWidths.end());
    platform::setHorizontalExtent(widest + averageCharWidth);
}

void newEntryCommand() {
    int index;
    try {
        // Room for its width first: afterwards nothing may fail half-way.
        titleWidths.reserve(titleWidths.size() + 1);
        index = appendEntry();
    } catch (const std::bad_alloc&) {
        // The list stays as it was.
        platform::messageBox(L"メモリが足りないため、新しいアイテムを作成できませんでした。",
                             platform::mb::ok | platform::mb::iconError);
        return;
    }
    platform::appendItem(entryList.records[index].title());
    // The extent waits for the first change of the new title.
    titleWidths.push_back(measureTitle(entryList.records[index].title()));
    platform::selectItem(index);
    showSelection();
    renameCommand();
}

void deleteEntryCommand() {
    int sel = platform::selectedIndex();
    if (!hasRecord(sel))
        return;
    std::wstring question =
        platform::sjisToWide(entryList.records[sel].title()) + L"を削除してもよろしいですか？";
    int answer = platform::messageBox(question, platform::mb::yesNo | platform::mb::iconWarning |
                                                    platform::mb::defaultSecond);
    // The session may have ended while the question was open.
    if (answer != platform::mb::answerYes || life() != Life::Running)
        return;

    removeEntry(sel);
    platform::deleteItem(sel);
    titleWidths.erase(titleWidths.begin() + sel);
    int count = entryList.count();
    platform::selectItem(sel == count ? std::max(sel - 1, 0) : sel);
    // The editor's texts belong to the removed record: store them nowhere.
    editedIndex = -1;
    updateHorizontalExtent();
    showSelection();
}

void moveUpCommand() {
    int sel = platform::selectedIndex();
    if (!hasRecord(sel) || sel == 0 || !storeFields(sel))
        return;
    moveEntryUp(sel);
    std::swap(titleWidths[sel - 1], titleWidths[sel]);
    platform::setListRedraw(false);
    platform::deleteItem(sel - 1);
    platform::insertItem(sel, entryList.records[sel].title());
    platform::selectItem(sel - 1);
    platform::setListRedraw(true);
    editedIndex = sel - 1;
}

void moveDownCommand() {
    int sel = platform::selectedIndex();
    if (!hasRecord(sel) || sel == entryList.count() - 1 || !storeFields(sel))
        return;
    moveEntryDown(sel);
    std::swap(titleWidths[sel], titleWidths[sel + 1]);
    platform::setListRedraw(false);
    platform::deleteItem(sel + 1);
    platform::insertItem(sel, entryList.records[sel].title());
    platform::selectItem(sel + 1);
    platform::setListRedraw(true);
    editedIndex = sel + 1;
}

void renameCommand() { platform::focusAndSelectAll(IDC_TITLE); }

void revertCommand() {
    int sel = platform::selectedIndex();
    // Read first: a file that cannot be read, or that the user does not
    // want as it is, changes nothing at all, the editor's texts included.
    EntryList readAgain;
    FileSeen seen;
    MasterKey key = heldKey;
    for (;;) {
        platform::FileError why;
        int beyond;
        DataFileState state = readDataFile(dataFilePath(), readAgain, &why, &beyond, &seen, key);
        // Protected elsewhere since with another master password: its own
        // opens it, and is the session's from then on.
        if (state == DataFileState::NeedsPassword) {
            Unlock unlocked = askForPassword(
                {dataFilePath(),
                 formatMessage(
                     L"以下のデータファイルは、ほかのパソコンなどで別のマスターパスワードで"
                     L"保護されています。元に戻すには、そのマスターパスワードを入力して"
                     L"ください。\n%s",
                     {dataFilePath()})},
                seen, key);
            if (unlocked == Unlock::Damaged)
                state = DataFileState::ProtectionDamaged;
            else if (unlocked != Unlock::Opened || life() != Life::Running)
                return;
            else
                continue;
        }
        if (state == DataFileState::ProtectionDamaged) {
            platform::messageBox(damagedProtectionProblem(dataFilePath(), seen) +
                                     L"今の一覧をそのまま残します。",
                                 platform::mb::ok | platform::mb::iconError);
            return;
        }
        if (state == DataFileState::Unreadable) {
            if (askToRetryReading(dataFilePath(), why) != platform::mb::answerYes ||
                life() != Life::Running)
                return;
            continue;
        }
        if (state == DataFileState::TooLarge) {
            tellTooLarge(dataFilePath());
            return;
        }
        // Gone since the start (another program removed it): the list is not
        // dropped without a word.
        if (state == DataFileState::Missing && entryList.count() > 0 &&
            (platform::messageBox(formatMessage(L"以下のデータファイルがありません。\n%s\n"
                                                L"空の一覧に戻しますか？",
                                                {dataFilePath()}),
                                  platform::mb::yesNo | platform::mb::iconWarning |
                                      platform::mb::defaultSecond) != platform::mb::answerYes ||
             life() != Life::Running))
            return;
        if (state == DataFileState::Damaged &&
            (platform::messageBox(
                 damagedFileProblem(dataFilePath(), beyond) +
                     formatMessage(L"読み込めた %d 件のアイテムに戻しますか？\n"
                                   L"「いいえ」を選ぶと、今の一覧をそのまま残します。",
                                   {std::to_wstring(readAgain.count())}),
                 platform::mb::yesNo | platform::mb::iconWarning | platform::mb::defaultSecond) !=
                 platform::mb::answerYes ||
             life() != Life::Running))
            return;
        break;
    }
    editedIndex = -1; // the editor's texts are dropped
    revertEntries(readAgain, seen);
    // A plain file keeps the session's key: the save asks before it writes
    // clear text.
    if (seen.isProtected)
        adoptKey(key);
    enableLockCommand();
    fillList();
    platform::selectItem(sel);
    showSelection();
}

void toggleMasking(int id) {
    std::int32_t& show = id == IDM_HIDE_USER_ID ? settings.showUserId : settings.showPassword;
    show = show == 0 ? 1 : 0;
    platform::checkCommand(id, show == 0);
    applyMasking();
}

void applyMasking() {
    platform::setMasked(IDC_USER_ID, settings.showUserId == 0);
    platform::setMasked(IDC_PASSWORD, settings.showPassword == 0);
}

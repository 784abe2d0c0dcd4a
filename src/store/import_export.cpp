#include "store/import_export.h"

#include "platform/platform.h"
#include "store/merge.h"
#include "store/text.h"

#include <unordered_set>
#include <utility>

namespace {

// ---- The header ----

enum class Role { Title, UserId, Password, Address, Mail, Memo, Extra, Dropped, Group, Type };

// Columns by their key (see columnKey); any other is Extra: it may hold
// what a user needs (a one-time password's secret, custom fields).
struct KnownColumn {
    const wchar_t* key;
    Role role;
};
const KnownColumn knownColumns[] = {
    {L"name", Role::Title},
    {L"title", Role::Title},
    {L"username", Role::UserId},
    {L"login_username", Role::UserId},
    {L"password", Role::Password},
    {L"login_password", Role::Password},
    {L"url", Role::Address},
    {L"login_uri", Role::Address},
    {L"email", Role::Mail},
    {L"e-mail", Role::Mail},
    {L"note", Role::Memo},
    {L"notes", Role::Memo},
    {L"type", Role::Type},
    {L"group", Role::Group},
    {L"folder", Role::Group},
    {L"icon", Role::Dropped},
    {L"lastmodified", Role::Dropped},
    {L"created", Role::Dropped},
    {L"timecreated", Role::Dropped},
    {L"timelastused", Role::Dropped},
    {L"timepasswordchanged", Role::Dropped},
    {L"guid", Role::Dropped},
    {L"favorite", Role::Dropped},
    {L"reprompt", Role::Dropped},
    {L"formactionorigin", Role::Dropped},
    {L"httprealm", Role::Dropped},
};

const std::pair<CsvFormat, const wchar_t*> knownHeaders[] = {
    {CsvFormat::Chrome, L"name,url,username,password,note"},
    {CsvFormat::Keyloom, L"name,url,username,password,note,email"},
    {CsvFormat::Firefox, L"url,username,password,httprealm,formactionorigin,guid,timecreated,"
                         L"timelastused,timepasswordchanged"},
    {CsvFormat::Bitwarden, L"folder,favorite,type,name,notes,fields,reprompt,login_uri,"
                           L"login_username,login_password,login_totp"},
    {CsvFormat::KeePass, L"group,title,username,password,url,notes"},
    {CsvFormat::KeePassXC,
     L"group,title,username,password,url,notes,totp,icon,lastmodified,created"},
};

bool isSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == 0xA0 || c == 0x3000; }
// What a byte order mark leaves in a name: itself, or its bytes read as
// Latin-1 or as nothing ("ï»¿", U+FFFD).
bool isMarkRemnant(wchar_t c) {
    return c == 0xFEFF || c == 0xFFFE || c == 0xFFFD || c == 0xEF || c == 0xBB || c == 0xBF;
}

// A column's name as it is matched: lower case, without spaces and marks.
std::wstring columnKey(std::wstring_view name) {
    std::wstring key;
    for (wchar_t c : name)
        if (!isSpace(c) && !isMarkRemnant(c))
            key += c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c;
    return key;
}

// A column's name as the user reads it: without spaces and marks around it.
std::wstring columnLabel(std::wstring_view name) {
    auto junk = [](wchar_t c) { return isSpace(c) || isMarkRemnant(c); };
    while (!name.empty() && junk(name.front()))
        name.remove_prefix(1);
    while (!name.empty() && junk(name.back()))
        name.remove_suffix(1);
    return std::wstring(name);
}

struct Column {
    Role role;
    std::wstring label; // for the memo's "label: value"
};

// What each column of the file goes to.
struct ColumnPlan {
    std::vector<Column> columns;
    bool has[fieldCount] = {};
    int type = -1; // Bitwarden's type column, if any
    CsvFormat format = CsvFormat::Other;
};

Field fieldOf(Role role) { return Field(static_cast<int>(role)); }
bool isField(Role role) { return role <= Role::Memo; }

std::wstring otherColumnLabel(std::size_t index) { return L"列" + std::to_wstring(index + 1); }

ColumnPlan planColumns(const std::vector<std::wstring_view>& header) {
    ColumnPlan plan;
    std::wstring keys;
    for (std::size_t i = 0; i < header.size(); ++i) {
        std::wstring key = columnKey(header[i]);
        keys += (i ? L"," : L"") + key;
        Column column{Role::Extra, columnLabel(header[i])};
        if (column.label.empty())
            column.label = otherColumnLabel(i);
        for (const KnownColumn& known : knownColumns)
            if (key == known.key)
                column.role = known.role;
        // The first column of a field takes it; another goes to the memo.
        if (isField(column.role) && plan.has[int(fieldOf(column.role))])
            column.role = Role::Extra;
        if (isField(column.role))
            plan.has[int(fieldOf(column.role))] = true;
        if (column.role == Role::Type && plan.type < 0)
            plan.type = static_cast<int>(i);
        plan.columns.push_back(std::move(column));
    }
    // A type column is Bitwarden's, with its login_ columns, only: in
    // another file it may be anything, and goes into the memo.
    if (plan.type >= 0 && keys.find(L"login_") == std::wstring::npos) {
        plan.columns[plan.type].role = Role::Extra;
        plan.type = -1;
    }
    for (const auto& [format, known] : knownHeaders)
        if (keys == known)
            plan.format = format;
    return plan;
}

bool namesAnEntry(const ColumnPlan& plan) {
    return plan.has[int(Field::title)] || plan.has[int(Field::userId)] ||
           plan.has[int(Field::password)] || plan.has[int(Field::address)];
}

// ---- A row's text ----

// The host name of an address: between "//" and the path, without a user
// name and port; the whole address when it has none.
std::wstring_view hostOf(std::wstring_view address) {
    std::wstring_view host = address;
    if (std::size_t scheme = host.find(L"://"); scheme != std::wstring_view::npos)
        host.remove_prefix(scheme + 3);
    host = host.substr(0, host.find_first_of(L"/?#"));
    if (std::size_t user = host.rfind(L'@'); user != std::wstring_view::npos)
        host.remove_prefix(user + 1);
    std::size_t port = host.find(L':', host.empty() || host[0] != L'[' ? 0 : host.find(L']'));
    host = host.substr(0, port);
    return host.empty() ? address : host;
}

bool isLoginRow(std::wstring_view type) {
    std::wstring key = columnKey(type);
    return key.empty() || key == L"login";
}

// The six fields' text of a row, by the plan; true when it holds a group.
bool rowText(const ColumnPlan& plan, const std::vector<std::wstring_view>& cells,
             std::wstring (&text)[fieldCount]) {
    for (std::wstring& field : text) {
        wipeText(field);
        field.clear();
    }
    bool login = plan.type < 0 || plan.type >= int(cells.size()) || isLoginRow(cells[plan.type]);
    bool grouped = false;
    std::wstring extras;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        Role role = i < plan.columns.size() ? plan.columns[i].role : Role::Extra;
        grouped = grouped || (role == Role::Group && !cells[i].empty());
        if (!login && role != Role::Title && role != Role::Memo)
            continue;
        if (isField(role)) {
            text[int(fieldOf(role))] = cells[i];
        } else if (role == Role::Extra && !cells[i].empty()) {
            extras += L"\r\n";
            extras += i < plan.columns.size() ? plan.columns[i].label : otherColumnLabel(i);
            extras += L": ";
            extras += cells[i];
        }
    }
    if (!plan.has[int(Field::title)])
        text[int(Field::title)] = hostOf(text[int(Field::address)]);
    std::wstring& memo = text[int(Field::memo)];
    if (memo.empty() && !extras.empty())
        extras.erase(0, 2); // no line break before the first line
    memo += extras;
    wipeText(extras);
    return grouped;
}

// ---- A field as stored ----

void wipeBytes(std::string& bytes) { secureWipe(bytes.data(), bytes.size()); }

// Line breaks (CR LF, LF or CR) as CR LF in the memo, else as a space.
void mendLineBreaks(std::wstring& text, bool memo) {
    std::wstring mended;
    mended.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')
            ++i;
        if (text[i] == L'\r' || text[i] == L'\n')
            mended += memo ? L"\r\n" : L" ";
        else
            mended += text[i];
    }
    wipeText(text);
    text.swap(mended);
}

// The field's text as Shift-JIS bytes by the import's rules, with notes of
// what cannot be stored exactly; false when the row cannot be stored.
bool storeField(Field field, std::wstring& text, std::string& bytes,
                std::vector<FieldNote>& notes) {
    const bool exact = field == Field::userId || field == Field::password;
    bool stored = true;
    auto note = [&](FieldIssue issue, std::wstring characters = {}) {
        notes.push_back({field, issue, std::move(characters)});
        stored = stored && !exact;
    };
    if (text.find_first_of(L"\r\n") != std::wstring::npos) {
        if (field != Field::memo)
            note(FieldIssue::LineBreak);
        mendLineBreaks(text, field == Field::memo);
    }
    std::wstring lost;
    wipeBytes(bytes);
    bytes = platform::wideToSjis(text, &lost);
    if (!lost.empty())
        note(FieldIssue::CharactersLacking, std::move(lost));
    if (bytes.size() > fieldLimit(field)) {
        note(FieldIssue::TooLong);
        std::size_t keep = fittingLength(bytes.data(), bytes.size(), fieldLimit(field));
        if (keep > 0 && bytes[keep - 1] == '\r')
            --keep; // never a CR without its LF
        secureWipe(bytes.data() + keep, bytes.size() - keep);
        bytes.resize(keep);
    }
    return stored;
}

// A data row as it would be stored.
struct ConvertedRow {
    int line = 0;
    bool refused = false;
    bool added = false;
    std::string title;
    std::vector<FieldNote> notes;
    EntryRecord record;
};

ConvertedRow convertRow(int line, std::wstring (&text)[fieldCount]) {
    ConvertedRow row;
    row.line = line;
    std::string bytes[fieldCount];
    std::vector<FieldNote> refusals;
    for (int i = 0; i < fieldCount; ++i) {
        std::size_t before = row.notes.size();
        if (!storeField(Field(i), text[i], bytes[i], row.notes))
            refusals.insert(refusals.end(), row.notes.begin() + before, row.notes.end());
        wipeText(text[i]);
    }
    row.title = bytes[int(Field::title)];
    row.refused = !refusals.empty();
    if (row.refused) {
        row.notes.swap(refusals); // why it is refused, and nothing else
    } else {
        const std::string_view views[fieldCount] = {bytes[0], bytes[1], bytes[2],
                                                    bytes[3], bytes[4], bytes[5]};
        row.record = EntryRecord(views);
    }
    for (std::string& field : bytes)
        wipeBytes(field);
    return row;
}

struct SameRecord {
    bool operator()(const EntryRecord* a, const EntryRecord* b) const { return sameEntry(*a, *b); }
};
struct RecordHash {
    std::size_t operator()(const EntryRecord* r) const { return entryHash(*r); }
};

// Marks the rows that are added: not refused, and not the same as an entry
// of the list or an earlier row; counts the others into result.
void takeNewRows(std::vector<ConvertedRow>& rows, const EntryList& list, ImportResult& result) {
    std::unordered_set<const EntryRecord*, RecordHash, SameRecord> known;
    known.reserve(list.records.size() + rows.size());
    for (const EntryRecord& record : list.records)
        known.insert(&record);
    for (ConvertedRow& row : rows) {
        if (row.refused)
            ++result.refused;
        else if (known.insert(&row.record).second)
            row.added = true;
        else
            ++result.duplicates;
        bool changed = row.added && !row.notes.empty();
        result.changed += changed;
        if (row.refused || changed)
            result.listed.push_back(
                {row.line, std::move(row.title), row.refused, std::move(row.notes)});
    }
}

ImportResult refusal(ImportResult result, ImportProblem problem) {
    result.problem = problem;
    return result;
}

} // namespace

ImportResult importCsv(std::string_view bytes, const EntryList& list) {
    ImportResult result;
    result.size = static_cast<long long>(bytes.size());
    if (result.size > importSizeLimit)
        return refusal(std::move(result), ImportProblem::TooLarge);
    result.encoding = detectEncoding(bytes);
    std::wstring text = decodeText(bytes, result.encoding);
    // UTF-16 is full of NUL bytes: only the text tells a binary file.
    if (text.find(L'\0') != std::wstring::npos) {
        wipeText(text);
        return refusal(std::move(result), ImportProblem::Binary);
    }
    CsvTable table;
    if (!readCsv(std::move(text), table, result.line))
        return refusal(std::move(result), ImportProblem::UnclosedQuote);
    if (table.rows.empty())
        return refusal(std::move(result), ImportProblem::Empty);

    std::vector<std::wstring_view> cells;
    table.fieldsOf(0, cells);
    const ColumnPlan plan = planColumns(cells);
    result.format = plan.format;
    if (!namesAnEntry(plan)) {
        for (std::wstring_view name : cells)
            result.columns.push_back(columnLabel(name));
        return refusal(std::move(result), ImportProblem::UnknownHeader);
    }
    if (table.rows.size() == 1)
        return refusal(std::move(result), ImportProblem::HeaderOnly);

    std::vector<ConvertedRow> rows;
    rows.reserve(table.rows.size() - 1);
    std::wstring texts[fieldCount];
    for (std::size_t r = 1; r < table.rows.size(); ++r) {
        table.fieldsOf(r, cells);
        result.groupsDropped = rowText(plan, cells, texts) || result.groupsDropped;
        rows.push_back(convertRow(table.rows[r].line, texts));
    }
    takeNewRows(rows, list, result);
    result.entries.records.reserve(rows.size());
    for (ConvertedRow& row : rows)
        if (row.added)
            result.entries.records.push_back(std::move(row.record));
    return result;
}

ImportResult importCsvFile(const std::wstring& path, const EntryList& list) {
    ImportResult result;
    result.size = platform::fileStamp(path).size;
    std::string bytes;
    if (result.size <= importSizeLimit)
        result.error = platform::readWholeFile(path, bytes);
    if (result.size > importSizeLimit || result.error == platform::FileError::TooLarge)
        return refusal(std::move(result), ImportProblem::TooLarge);
    if (result.error != platform::FileError::None)
        return refusal(std::move(result), ImportProblem::Unreadable);
    result = importCsv(bytes, list);
    wipeBytes(bytes);
    return result;
}

SecureString formatExportFile(const EntryList& list) {
    // The first five columns as Chrome writes them, so that whatever reads
    // its file reads this one; the mail last, where they pass it over.
    const Field order[fieldCount] = {Field::title,    Field::address, Field::userId,
                                     Field::password, Field::memo,    Field::mail};
    std::size_t size = 64;
    for (const EntryRecord& record : list.records)
        for (int i = 0; i < fieldCount; ++i)
            size += record.get(Field(i)).size() * 3 / 2 + 3;
    SecureString out;
    out.reserve(size);
    out += "\xEF\xBB\xBFname,url,username,password,note,email\r\n";
    std::wstring fields[fieldCount];
    for (const EntryRecord& record : list.records) {
        for (int i = 0; i < fieldCount; ++i)
            fields[i] = platform::sjisToWide(record.get(order[i]));
        appendCsvRow(out, fields, fieldCount);
        for (std::wstring& field : fields)
            wipeText(field);
    }
    return out;
}

SaveResult saveExportFile(const std::wstring& path, const EntryList& list) {
    return saveFile(path, formatExportFile(list), SaveRules{}, false);
}

// Entries in from the CSV file that a browser or another password manager
// exports, and out to one that they all read. Nothing here asks the user:
// an import tells what it would add and why, and the program asks.
#pragma once

#include "base/secure_string.h"
#include "platform/platform.h"
#include "store/csv_file.h"
#include "store/entry_list.h"
#include "store/file_helpers.h"

#include <string>
#include <string_view>
#include <vector>

// ---- Import ----

// The largest file an import reads, told by its size before it is read.
constexpr long long importSizeLimit = 64LL << 20;

// The exports recognised by their whole header. Other: any header that
// names a column Keyloom keeps; its columns are taken by their names too.
enum class CsvFormat { Chrome, Firefox, Bitwarden, KeePass, KeePassXC, Keyloom, Other };

// Why a file cannot be imported at all.
enum class ImportProblem {
    None,
    Unreadable,    // error says why (another program holds it, ...)
    TooLarge,      // more than importSizeLimit: size says how large
    Empty,         // nothing but blank lines, or nothing
    Binary,        // a NUL in the text: no text file
    UnclosedQuote, // a quoted field is never closed: line is where it begins
    UnknownHeader, // no column of title, user ID, password or address: columns
    HeaderOnly,    // a header and no row
};

// What in a field cannot be stored exactly. In a title, address, mail or
// memo it is mended and listed: the characters become "?", the text is cut
// at a character's edge, the line breaks become spaces. In a user ID or
// password it keeps the row out.
enum class FieldIssue { CharactersLacking, TooLong, LineBreak };
struct FieldNote {
    Field field;
    FieldIssue issue;
    std::wstring characters; // the characters code page 932 lacks, each once
};

// A row that cannot be imported (refused: its notes say why) or that is
// stored changed (its notes say how).
struct ListedRow {
    int line;          // the file's line where it begins
    std::string title; // as it is or would be stored (Shift-JIS)
    bool refused;
    std::vector<FieldNote> notes;
};

struct ImportResult {
    ImportProblem problem = ImportProblem::None;
    platform::FileError error = platform::FileError::None;
    long long size = 0;
    int line = 0;
    std::vector<std::wstring> columns; // the header's names, as written

    TextEncoding encoding = TextEncoding::Utf8;
    CsvFormat format = CsvFormat::Other;
    // A group or folder column holds values, which Keyloom does not keep.
    bool groupsDropped = false;

    // What the import adds, in the file's order, and the rows it does not.
    EntryList entries;
    // Rows whose six fields, as stored, equal an entry of the list or an
    // earlier row's.
    int duplicates = 0;
    int refused = 0;
    int changed = 0;               // of entries, those stored changed
    std::vector<ListedRow> listed; // the refused and changed rows, in order
};

// The entries a CSV file's bytes add to list. The columns are taken by the
// header's names, whatever their case, spaces and byte order marks. The
// title comes from name or Title (without one, from the address's host),
// the user ID from username, login_username or Username, the password from
// password or login_password, the address from url, login_uri or URL, the
// mail from email or e-mail, the memo from note or notes. The memo goes on
// with a "name: value" line for every other column with a value, a value
// beyond the header's columns as "列N: value", except bookkeeping (times,
// icons, GUIDs, groups and folders, ...). A row with a type other than
// login keeps its title and memo only.
ImportResult importCsv(std::string_view bytes, const EntryList& list);
// The same for the file at path, which it only reads: one larger than
// importSizeLimit is refused before it is read.
ImportResult importCsvFile(const std::wstring& path, const EntryList& list);

// ---- Export ----

// The list as CSV in UTF-8 with a byte order mark, so that spreadsheets
// open Japanese text: the header name,url,username,password,note,email,
// then every entry with every field in quotes, as the screen shows it, the
// memo's line breaks inside its quotes, and every line ended with CR LF.
SecureString formatExportFile(const EntryList& list);
// Saves the list as that file at path, through a temporary file moved over
// it: a failure leaves no part of a file behind.
SaveResult saveExportFile(const std::wstring& path, const EntryList& list);

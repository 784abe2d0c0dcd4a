#include "editor/messages.h"

#include <cstddef>
#include <string_view>
#include <utility>

using platform::FileError;

std::wstring formatMessage(const wchar_t* format, std::initializer_list<std::wstring> args) {
    std::wstring out;
    auto next = args.begin();
    for (const wchar_t* p = format; *p; ++p) {
        if (p[0] == L'%' && (p[1] == L's' || p[1] == L'd') && next != args.end()) {
            out += *next++;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

const wchar_t* fieldName(Field field) {
    switch (field) {
    case Field::title: return L"タイトル";
    case Field::userId: return L"ユーザID";
    case Field::password: return L"パスワード";
    case Field::address: return L"アドレス";
    case Field::mail: return L"メール";
    case Field::memo: return L"メモ";
    }
    return L"";
}

std::wstring fileProblem(FileError error) {
    switch (error) {
    // clang-format off
    case FileError::InUse:
        return L"ほかのプログラム（バックアップ、ウイルス対策、同期などのソフト）が"
               L"このファイルを使用中です。そのプログラムの処理が終わるのを待ってください。";
    case FileError::Denied:
        return L"このファイルまたはフォルダーを使う権限がありません。";
        // clang-format on
    case FileError::Folder: return L"同じ名前のフォルダーがあるため、ファイルとして使えません。";
    case FileError::DiskFull:
        return L"ディスクの空き容量が足りません。不要なファイルを削除してください。";
    case FileError::TooLarge: return L"ファイルが大きすぎて読み込めません。";
    case FileError::Protection:
        return L"このファイルだけに設定された保護（アクセス許可や暗号化）を、"
               L"新しいファイルに付けることができません。";
    default: return L"ファイルの属性やディスクの状態を確認してください。";
    }
}

int askToRetry(const wchar_t* what, const std::wstring& path, FileError error) {
    std::wstring text = formatMessage(what, {path}) + fileProblem(error) + L"再試行しますか？";
    return platform::messageBox(text, platform::mb::yesNo | platform::mb::iconError);
}

int askToRetryReading(const std::wstring& path, FileError error) {
    return askToRetry(L"以下のデータファイルを読み込むことができませんでした。\n%s\n", path, error);
}

std::wstring damagedFileProblem(const std::wstring& path, int beyondCount) {
    std::wstring text = formatMessage(L"以下のデータファイルの一部が壊れています。\n%s\n", {path});
    if (beyondCount > 0)
        text += formatMessage(L"ファイルに書かれた件数より %d 件多いアイテムがあります。\n",
                              {std::to_wstring(beyondCount)});
    return text;
}

void tellTooLarge(const std::wstring& path) {
    platform::messageBox(
        formatMessage(L"以下のデータファイルは大きすぎるため、読み込めません。\n%s\n"
                      L"ファイルは変更しません。",
                      {path}),
        platform::mb::ok | platform::mb::iconError);
}

std::wstring damagedProtectionProblem(const std::wstring& path, const FileSeen& seen) {
    const wchar_t* part = L"";
    switch (seen.damaged) {
    case ProtectedPart::None:
    case ProtectedPart::Marker: part = L"最初の 2 行"; break;
    case ProtectedPart::Kdf: part = L"鍵の作りかたの行（kdf=）"; break;
    case ProtectedPart::Iterations: part = L"繰り返し回数の行（iterations=）"; break;
    case ProtectedPart::Salt: part = L"ソルトの行（salt=）"; break;
    case ProtectedPart::Cipher: part = L"暗号の種類の行（cipher=）"; break;
    case ProtectedPart::Nonce: part = L"ナンスの行（nonce=）"; break;
    // The digest covers the lines before it: one of them, or the digest.
    case ProtectedPart::Digest: part = L"最初の 8 行のどこか（digest= で確かめています）"; break;
    case ProtectedPart::Check: part = L"パスワードを確かめる行（check=）"; break;
    case ProtectedPart::Body: part = L"暗号化されたアイテムの部分"; break;
    case ProtectedPart::Tag: part = L"最後の行（tag=）"; break;
    }
    return formatMessage(L"マスターパスワードで保護された以下のデータファイルが壊れています。\n%s\n"
                         L"壊れているところ: %s\n",
                         {path, part});
}

void tellCheckLineDamaged(const std::wstring& path) {
    platform::messageBox(
        formatMessage(
            L"以下のデータファイルは、パスワードを確かめる行（check=）が壊れていましたが、"
            L"マスターパスワードで正しく開けました。アイテムはすべて無事です。\n%s\n"
            L"次に保存するときに、正しい形に書き直します。",
            {path}),
        platform::mb::ok | platform::mb::iconWarning);
}

std::wstring mergeNews(const MergeReport& report, const EntryList& merged,
                       bool theirDeletionsKept) {
    const int kept = theirDeletionsKept ? report.theirDeletions : 0;
    if (!report.tookTheirs() && kept == 0)
        return L"";
    std::wstring text = L"PASSWORD.TXT はほかのパソコンなどで変更されていたため、"
                        L"その変更をこの一覧に取り込みました。\n\n";
    const std::pair<int, const wchar_t*> counts[] = {
        {report.added, L"ほかで追加されたアイテム: %d 件\n"},
        {report.changed, L"ほかで変更されたアイテム: %d 件\n"},
        {report.deleted, L"ほかで削除されたアイテム: %d 件\n"},
        {report.moved, L"ほかで移動されたアイテム: %d 件\n"},
        {report.restored, L"ここで削除したものの、ほかで変更されていたため残したアイテム: %d 件\n"},
        {kept, L"ほかで削除されていたものの、削除せずに残したアイテム: %d 件\n"},
    };
    for (const auto& [count, line] : counts)
        if (count > 0)
            text += formatMessage(line, {std::to_wstring(count)});
    if (report.conflicts > 0) {
        text += formatMessage(L"\n同じところがここでもほかでも変更されていたため、%d "
                              L"か所で両方の内容を残しました。次のアイテムを確かめて、"
                              L"不要なほうを削除してください。\n",
                              {std::to_wstring(report.conflicts)});
        // A long list would push the box off the screen.
        constexpr std::size_t shown = 10;
        for (std::size_t i = 0; i < report.conflicted.size() && i < shown; ++i) {
            std::string_view title = merged.records[report.conflicted[i]].title();
            text +=
                L"・" + (title.empty() ? L"（タイトルなし）" : platform::sjisToWide(title)) + L"\n";
        }
        if (report.conflicted.size() > shown)
            text +=
                formatMessage(L"ほか %d 件\n", {std::to_wstring(report.conflicted.size() - shown)});
    }
    text.pop_back(); // the last line break
    return text;
}

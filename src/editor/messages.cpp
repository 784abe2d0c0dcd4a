#include "editor/messages.h"

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

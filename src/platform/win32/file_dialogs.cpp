// The common dialogs that choose the file an import reads or an export
// writes. A hook makes each count among Keyloom's open dialogs, so that a
// lock or an exit closes it as キャンセル does.
#include "platform/win32/main_window.h"

#include "platform/platform.h"

#include <windows.h>

#include <commdlg.h>
#include <knownfolders.h>
#include <shlobj.h>

namespace {

// The Explorer-style dialog runs the hook as the procedure of an empty child
// dialog: its parent is the dialog the user sees.
UINT_PTR CALLBACK trackingHook(HWND child, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        HWND dialog = GetParent(child);
        *reinterpret_cast<HWND*>(reinterpret_cast<OPENFILENAMEW*>(lParam)->lCustData) = dialog;
        dialogOpened(dialog);
    }
    return 0;
}

const wchar_t csvFilter[] = L"CSV ファイル (*.csv)\0*.csv\0すべてのファイル (*.*)\0*.*\0";

// Runs the dialog over Keyloom's topmost window with file holding the name
// it proposes; the path chosen, or none.
std::optional<std::wstring> choose(OPENFILENAMEW& request, std::wstring file, bool save) {
    HWND open = nullptr;
    file.resize(32768, L'\0'); // room for a long path
    request.lStructSize = sizeof request;
    request.hwndOwner = topmostWindow();
    request.lpstrFilter = csvFilter;
    request.lpstrFile = &file[0];
    request.nMaxFile = static_cast<DWORD>(file.size());
    request.lpstrDefExt = L"csv";
    request.lpfnHook = trackingHook;
    request.lCustData = reinterpret_cast<LPARAM>(&open);
    // The file holds passwords: it goes into no list of recent documents.
    request.Flags |= OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING | OFN_HIDEREADONLY |
                     OFN_NOCHANGEDIR | OFN_DONTADDTORECENT | OFN_PATHMUSTEXIST;
    const BOOL chosen = save ? GetSaveFileNameW(&request) : GetOpenFileNameW(&request);
    if (open)
        dialogClosed(open);
    if (!chosen)
        return std::nullopt;
    file.resize(wcslen(file.c_str()));
    return file;
}

// A known folder of the user's, or "" when the system has none.
std::wstring knownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)))
        folder = path;
    CoTaskMemFree(path);
    return folder;
}

} // namespace

namespace platform {

std::optional<std::wstring> chooseFileToOpen() {
    // Where browsers save what they export; after that, the system opens
    // the folder the user chose last.
    std::wstring folder = knownFolder(FOLDERID_Downloads);
    OPENFILENAMEW request{};
    request.Flags = OFN_FILEMUSTEXIST;
    request.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    return choose(request, L"", false);
}

std::optional<std::wstring> chooseFileToSave(const std::wstring& name) {
    // A path in the proposed name is where the dialog opens: the Documents
    // folder (else the user's own), never the folder Keyloom was started in.
    std::wstring folder = knownFolder(FOLDERID_Documents);
    if (folder.empty())
        folder = knownFolder(FOLDERID_Profile);
    OPENFILENAMEW request{};
    request.Flags = OFN_OVERWRITEPROMPT | OFN_NOREADONLYRETURN;
    return choose(request, folder.empty() ? name : folder + L"\\" + name, true);
}

} // namespace platform

#include "editor/password_dialog.h"

#include "editor/dialog_placement.h"
#include "editor/messages.h"
#include "resources/resource.h"

namespace {

// The request under way: the dialog's handlers are plain functions.
const PasswordRequest* request = nullptr;
FileSeen* seen = nullptr;
MasterKey* found = nullptr;
MasterKey* upgrade = nullptr;
Unlock result = Unlock::Declined;

void end(WindowHandle dialog, Unlock how) {
    result = how;
    platform::endDialog(dialog, how == Unlock::Opened ? 1 : 0);
}

void setUp(WindowHandle dialog) {
    if (request->overMainWindow)
        placeOverMainWindow(dialog);
    platform::setDialogItemLabel(dialog, IDC_PASSWORD_PROMPT, request->prompt);
}

// OK: the password typed is tried on the file; a wrong one is told, and the
// dialog stays for the next try.
void tryPassword(WindowHandle dialog) {
    SecureWideString typed = platform::takeDialogPassword(dialog, IDC_MASTER_PASSWORD);
    SecureString password;
    if (!passwordBytes(typed.view(), password)) {
        tellWrongPassword(L"このマスターパスワードには、パスワードに使えない文字があります。");
        return;
    }
    MasterKey key;
    platform::showWaitCursor(true);
    key.set = deriveProtectionKey(password, seen->salt, seen->iterations, key.key);
    platform::showWaitCursor(false);
    if (!key.set)
        return end(dialog, Unlock::Failed);
    EntryList list;
    FileSeen opened;
    switch (readDataFile(request->path, list, nullptr, nullptr, &opened, key)) {
    case DataFileState::NeedsPassword: tellWrongPassword(L"マスターパスワードが違います。"); return;
    case DataFileState::Read:
    case DataFileState::Damaged: break;
    case DataFileState::ProtectionDamaged: *seen = opened; return end(dialog, Unlock::Damaged);
    default: return end(dialog, Unlock::Failed);
    }
    *seen = opened;
    *found = key;
    // While the password is at hand: the key for today's iterations.
    if (upgrade && seen->iterations < defaultIterations) {
        platform::showWaitCursor(true);
        upgrade->set = newProtectionKey(password, upgrade->key);
        platform::showWaitCursor(false);
    }
    end(dialog, Unlock::Opened);
}

bool command(WindowHandle dialog, int id, int) {
    switch (id) {
    case platform::notify::ok: tryPassword(dialog); return true;
    case platform::notify::cancel:
        platform::takeDialogPassword(dialog, IDC_MASTER_PASSWORD); // emptied before it closes
        end(dialog, Unlock::Declined);
        return true;
    }
    return false;
}

} // namespace

void tellWrongPassword(const wchar_t* what) {
    platform::messageBox(what, platform::mb::ok | platform::mb::iconWarning);
}

Unlock askForPassword(const PasswordRequest& asked, FileSeen& file, MasterKey& key,
                      MasterKey* upgraded) {
    request = &asked;
    seen = &file;
    found = &key;
    upgrade = upgraded;
    result = Unlock::Declined;
    platform::runDialog(platform::Dialog::Password, {setUp, command});
    request = nullptr;
    seen = nullptr;
    found = upgrade = nullptr;
    return result;
}

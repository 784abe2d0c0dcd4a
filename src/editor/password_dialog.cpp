#include "editor/password_dialog.h"

#include "editor/dialog_placement.h"
#include "editor/messages.h"
#include "resources/resource.h"

namespace {

// One asking: the dialog's handlers get it as their context.
struct Asking {
    const PasswordRequest& request;
    FileSeen& seen;
    MasterKey& found;
    MasterKey* upgrade;
    Unlock result = Unlock::Declined;
};

void end(WindowHandle dialog, Asking& asking, Unlock how) {
    asking.result = how;
    platform::endDialog(dialog, how == Unlock::Opened ? 1 : 0);
}

void setUp(WindowHandle dialog, void* context) {
    const Asking& asking = *static_cast<Asking*>(context);
    if (asking.request.overMainWindow)
        placeOverMainWindow(dialog);
    platform::setDialogItemLabel(dialog, IDC_PASSWORD_PROMPT, asking.request.prompt);
}

// OK: the password typed is tried on the file; a wrong one is told, and the
// dialog stays for the next try.
void tryPassword(WindowHandle dialog, Asking& asking) {
    SecureWideString typed = platform::takeDialogPassword(dialog, IDC_MASTER_PASSWORD);
    SecureString password;
    if (!passwordBytes(typed.view(), password)) {
        tellWrongPassword(L"このマスターパスワードには、パスワードに使えない文字があります。");
        return;
    }
    MasterKey key;
    platform::showWaitCursor(true);
    key.set = deriveProtectionKey(password, asking.seen.salt, asking.seen.iterations, key.key);
    platform::showWaitCursor(false);
    if (!key.set)
        return end(dialog, asking, Unlock::Failed);
    EntryList list;
    FileSeen opened;
    switch (readDataFile(asking.request.path, list, nullptr, nullptr, &opened, key)) {
    case DataFileState::NeedsPassword: tellWrongPassword(L"マスターパスワードが違います。"); return;
    case DataFileState::Read:
    case DataFileState::Damaged: break;
    case DataFileState::ProtectionDamaged:
        asking.seen = opened;
        return end(dialog, asking, Unlock::Damaged);
    default: return end(dialog, asking, Unlock::Failed);
    }
    asking.seen = opened;
    asking.found = key;
    // While the password is at hand: the key for today's iterations.
    if (asking.upgrade && opened.iterations < defaultIterations) {
        platform::showWaitCursor(true);
        asking.upgrade->set = newProtectionKey(password, asking.upgrade->key);
        platform::showWaitCursor(false);
    }
    end(dialog, asking, Unlock::Opened);
}

bool command(WindowHandle dialog, int id, int, void* context) {
    Asking& asking = *static_cast<Asking*>(context);
    switch (id) {
    case platform::notify::ok: tryPassword(dialog, asking); return true;
    case platform::notify::cancel:
        platform::takeDialogPassword(dialog, IDC_MASTER_PASSWORD); // emptied before it closes
        end(dialog, asking, Unlock::Declined);
        return true;
    }
    return false;
}

} // namespace

void tellWrongPassword(const wchar_t* what) {
    platform::messageBox(what, platform::mb::ok | platform::mb::iconWarning);
}

Unlock askForPassword(const PasswordRequest& request, FileSeen& seen, MasterKey& key,
                      MasterKey* upgrade) {
    Asking asking{request, seen, key, upgrade};
    platform::runDialog(platform::Dialog::Password, {setUp, command, &asking});
    return asking.result;
}

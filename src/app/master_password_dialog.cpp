#include "app/master_password_dialog.h"

#include "app/sync.h"
#include "base/life_cycle.h"
#include "editor/dialog_placement.h"
#include "editor/editor.h"
#include "editor/messages.h"
#include "editor/password_dialog.h"
#include "resources/resource.h"
#include "store/data_file.h"

namespace {

// What OK decided: the new key, or none to turn protection off.
struct Decision {
    MasterKey chosen;
    bool decided = false;
};

const int passwordFields[] = {IDC_CURRENT_PASSWORD, IDC_NEW_PASSWORD, IDC_CONFIRM_PASSWORD};

// The dialog manager then focuses the first field that shows.
void setUp(WindowHandle dialog, void*) {
    placeOverMainWindow(dialog);
    for (int id : {IDC_CURRENT_PASSWORD_LABEL, IDC_CURRENT_PASSWORD, IDC_TURN_OFF_NOTE})
        platform::showDialogItem(dialog, id, heldKey.set);
}

// A key derived under the wait cursor.
bool derive(std::string_view password, MasterKey& key, const MasterKey* like = nullptr) {
    platform::showWaitCursor(true);
    key.set = like ? deriveProtectionKey(password, like->key.salt, like->key.iterations, key.key)
                   : newProtectionKey(password, key.key);
    platform::showWaitCursor(false);
    return key.set;
}

// Tells what is wrong with what was typed. Every field was emptied as it was
// read, so the user types again from the first one shown.
bool refuse(WindowHandle dialog, const wchar_t* what) {
    tellWrongPassword(what);
    platform::focusDialogItem(dialog, heldKey.set ? IDC_CURRENT_PASSWORD : IDC_NEW_PASSWORD);
    return false;
}

// The three fields as typed (each emptied as it is read) decide the change.
bool decide(WindowHandle dialog, MasterKey& chosen) {
    SecureWideString typed[3];
    for (int i = 0; i < 3; ++i)
        typed[i] = platform::takeDialogPassword(dialog, passwordFields[i]);
    SecureString current, password, again;
    if (heldKey.set) {
        // No password with a lone surrogate was ever set.
        MasterKey check;
        if (!passwordBytes(typed[0].view(), current) || !derive(current, check, &heldKey) ||
            !sameKey(check, heldKey))
            return refuse(dialog, L"現在のマスターパスワードが違います。");
    }
    if (!passwordBytes(typed[1].view(), password) || !passwordBytes(typed[2].view(), again))
        return refuse(dialog,
                      L"新しいマスターパスワードに、パスワードには使えない文字（対になっていない"
                      L"サロゲート）があります。");
    if (password != again)
        return refuse(dialog,
                      L"確認のために入力したマスターパスワードが、新しいマスターパスワードと"
                      L"一致しません。");
    if (password.empty()) {
        if (!heldKey.set)
            return refuse(dialog, L"新しいマスターパスワードを入力してください。");
        if (platform::messageBox(L"マスターパスワードによる保護をやめますか？\n"
                                 L"PASSWORD.TXT は、だれでも読めるふつうのテキストファイルに"
                                 L"なります。",
                                 platform::mb::yesNo | platform::mb::iconWarning |
                                     platform::mb::defaultSecond) != platform::mb::answerYes)
            return false;
        chosen = MasterKey();
        return true;
    }
    if (!derive(password, chosen)) {
        platform::messageBox(L"マスターパスワードの鍵を作ることができませんでした。",
                             platform::mb::ok | platform::mb::iconError);
        return false;
    }
    return true;
}

bool command(WindowHandle dialog, int id, int, void* context) {
    Decision& decision = *static_cast<Decision*>(context);
    switch (id) {
    case platform::notify::ok:
        if (decide(dialog, decision.chosen)) {
            decision.decided = true;
            platform::endDialog(dialog, 1);
        }
        return true;
    case platform::notify::cancel:
        // Nothing typed stays in the controls once the dialog is gone.
        for (int field : passwordFields)
            platform::takeDialogPassword(dialog, field);
        platform::endDialog(dialog, 0);
        return true;
    }
    return false;
}

} // namespace

void masterPasswordCommand() {
    // The editor's texts go with the change's save.
    if (!storeFields(editedIndex))
        return;
    Decision decision;
    platform::runDialog(platform::Dialog::MasterPassword, {setUp, command, &decision});
    // The exit, or the end of the session, may have come while the dialog
    // or one of its notices was open: it saves the list as it was.
    if (!decision.decided || life() != Life::Running)
        return;
    const MasterKey& chosen = decision.chosen;
    const bool turnedOn = !heldKey.set && chosen.set;
    const bool changed = heldKey.set && chosen.set;
    const MasterKey before = heldKey;
    bool kept = false;
    MergingSave saved;
    const platform::FileError error = saveEntries(&kept, &chosen, &saved);
    decision.chosen = MasterKey(); // wiped: the held key is the one in use
    if (life() != Life::Running)
        return;
    if (error != platform::FileError::None || kept) {
        platform::messageBox((kept ? keptReason(saved) : std::wstring()) +
                                 L"マスターパスワードの設定を保存できなかったため、設定は"
                                 L"変わっていません。",
                             platform::mb::ok | platform::mb::iconError);
        return;
    }
    enableLockCommand();
    // The clear copies that only repeat the list go before any box, in
    // which the session could end.
    std::wstring readable;
    if (turnedOn)
        readable = wipeClearLeftovers();
    // A password is changed because it leaked: the backup, the list as this
    // run found it, no longer opens with the old one.
    bool backupResealed = true;
    if (changed && platform::fileExists(dataBackupPath()))
        backupResealed = protectInPlace(dataBackupPath(), before) == platform::FileError::None;
    platform::messageBox(
        turnedOn
            ? std::wstring(L"マスターパスワードを設定しました。PASSWORD.TXT は保護されています。\n"
                           L"マスターパスワードを忘れると、だれにも開けなくなります。")
        : changed
            ? std::wstring(L"マスターパスワードを変更しました。") +
                  (backupResealed
                       ? L""
                       : formatMessage(
                             L"\nただし、バックアップの以下のファイルは、新しいマスター"
                             L"パスワードで保護し直せませんでした。前のマスターパスワードで"
                             L"開けるままです。\n%s",
                             {dataBackupPath()}))
            : std::wstring(L"マスターパスワードによる保護をやめました。PASSWORD.TXT は、だれでも"
                           L"読めるふつうのテキストファイルになりました。"),
        platform::mb::ok |
            (backupResealed ? platform::mb::iconInformation : platform::mb::iconWarning));
    if (turnedOn && life() == Life::Running)
        offerClearCopies(readable);
}

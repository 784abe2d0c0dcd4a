#include "generator/generator.h"

#include "base/life_cycle.h"
#include "platform/platform.h"
#include "resources/resource.h"
#include "settings/settings.h"

#include <algorithm>

namespace {

std::uint32_t randomState = 0;

void tellNoCharacterKinds() {
    platform::messageBox(L"パスワードに使う文字の種類が選ばれていません。\n"
                         L"「オプション」で文字の種類を選んでください。",
                         platform::mb::ok | platform::mb::iconInformation);
}

// Next byte of the cryptographic source; 0 once it has failed.
unsigned char nextSecureByte(SecureBytes& bytes) {
    if (bytes.failed)
        return 0;
    if (bytes.used == sizeof bytes.block) {
        if (!platform::randomBytes(bytes.block, sizeof bytes.block)) {
            bytes.failed = true;
            return 0;
        }
        bytes.used = 0;
    }
    unsigned char b = bytes.block[bytes.used];
    bytes.block[bytes.used++] = 0;
    return b;
}

} // namespace

void seedRandom(std::uint32_t seed) { randomState = seed; }

int nextRandom() {
    // Unsigned arithmetic wraps modulo 2^32 by itself.
    randomState = randomState * 214013u + 2531011u;
    return static_cast<int>((randomState >> 16) & 0x7FFF);
}

std::string passwordAlphabet() {
    std::string alphabet;
    if (settings.useDigits)
        alphabet += "0123456789";
    if (settings.useLowercase)
        alphabet += "abcdefghijklmnopqrstuvwxyz";
    if (settings.useUppercase)
        alphabet += "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    return alphabet;
}

bool composePassword(char* output, const std::function<int(int length)>& pick) {
    output[0] = '\0';
    std::string alphabet = passwordAlphabet();
    if (alphabet.empty())
        return false;
    // A hand-edited settings file may ask for more than the field holds.
    int count = std::clamp(settings.passwordLength, 0, longestPassword);
    int length = static_cast<int>(alphabet.size());
    for (int i = 0; i < count; ++i)
        output[i] = alphabet[pick(length)];
    output[count] = '\0';
    return true;
}

char* generatePassword(char* output, std::uint32_t seed) {
    seedRandom(seed);
    composePassword(output, [](int length) { return nextRandom() % length; });
    return output;
}

int unbiasedIndex(int length, SecureBytes& bytes) {
    const int limit = 256 - 256 % length;
    for (;;) {
        int b = nextSecureByte(bytes);
        if (bytes.failed)
            return 0;
        if (b < limit)
            return b % length;
    }
}

void createPassword() {
    // Asking whether to replace a password that cannot be made would be idle.
    if (passwordAlphabet().empty()) {
        tellNoCharacterKinds();
        return;
    }
    if (!platform::isFieldEmpty(IDC_PASSWORD) && !platform::isCtrlDown()) {
        int answer = platform::messageBox(L"すでにパスワードが設定されています。\n"
                                          L"現在のパスワードを新しいパスワードで置き換えますか？",
                                          platform::mb::yesNo | platform::mb::iconWarning |
                                              platform::mb::defaultSecond);
        // The session may have ended while the question was open.
        if (answer != platform::mb::answerYes || life() != Life::Running)
            return;
    }

    PasswordBuffer password;
    SecureBytes bytes;
    // The settings may have changed while the question was open.
    if (!composePassword(password.text,
                         [&bytes](int length) { return unbiasedIndex(length, bytes); })) {
        tellNoCharacterKinds();
        return;
    }
    if (bytes.failed) {
        // A password from a weaker source would be worse than none.
        platform::messageBox(L"安全な乱数を得られなかったため、パスワードを作成できませんでした。",
                             platform::mb::ok | platform::mb::iconError);
        return;
    }
    // As if typed: the record takes it when the editor is next stored.
    platform::replaceFieldText(IDC_PASSWORD, password.text);
}

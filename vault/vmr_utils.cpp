#include "vmr_utils.h"

#include "AnsiCodePage.h"
#include "SettingsStore.h"
#include "cCipherAES.h"
#include "cCipherUtils.h"

const std::string PasswordKey = "Wj3%Pz8&Hd5*Nq1^Yt6(Bc0)Fs4+Gv2";
const QString DefaultPassword = QStringLiteral("vellomar");
const std::string
    DefaultCryptString("\x7e\x5f\x91\x83\x4e\x6d\xf8\xd3\xd6\xdb\x86\xa5\x95\xcf\xad\x06", 16);

std::string StoredCryptString = DefaultCryptString;

namespace {
// Defined after StoredCryptString, so destroyed before it: the crypt string is
// wiped as the process ends.
struct TCryptStringWiper {
    ~TCryptStringWiper() { SecureZero(StoredCryptString); }
} cryptStringWiper;

struct TKeyCloser {
    TSettingsStore& Store;
    ~TKeyCloser() { Store.CloseKey(); }
};
} // namespace

const QString SettingsKey = QStringLiteral("Software/Ostrand/VMR/Settings");
const QString SettingsValue = QStringLiteral("Data");

std::string CryptStringOf(const QString& Password) {
    std::string plain = AnsiFromUnicode(Password);
    std::string crypt = EncryptText(PasswordKey, plain);
    SecureZero(plain);
    return crypt;
}

bool PasswordMatches(const QString& Typed) {
    return CryptStringOf(Typed) == StoredCryptString;
}

void ReadStoredCryptString(TSettingsStore& Store) {
    if (!Store.OpenKey(SettingsKey, false))
        return;
    TKeyCloser closer{Store};
    StoredCryptString = AnsiFromUnicode(Store.ReadString(SettingsValue));
}

void WriteStoredCryptString(TSettingsStore& Store) {
    if (!Store.OpenKey(SettingsKey, true))
        return;
    TKeyCloser closer{Store};
    Store.WriteString(SettingsValue, UnicodeFromAnsi(StoredCryptString));
}

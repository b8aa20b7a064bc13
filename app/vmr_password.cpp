#include "vmr_password.h"

QString WeakPasswordMessage() {
    return QStringLiteral("A password must be at least 6 characters long and must contain:\r\n"
                          "  - lower- and uppercase characters\r\n"
                          "  - at least one numeric character\r\n"
                          "  - at least one punctuation mark");
}

QString PasswordStrengthError(const QString& NewPw) {
    bool lower = false, upper = false, digit = false, punct = false;
    for (QChar qc : NewPw) {
        const char16_t c = qc.unicode();
        if (c >= u'a' && c <= u'z')
            lower = true;
        else if (c >= u'A' && c <= u'Z')
            upper = true;
        else if (c >= u'0' && c <= u'9')
            digit = true;
        else if (c >= 0x21 && c <= 0x7E && c != u'&' && c != u'-')
            punct = true; // what is left of printable ASCII is punctuation
    }
    if (NewPw.size() >= 6 && lower && upper && digit && punct)
        return {};
    return WeakPasswordMessage();
}

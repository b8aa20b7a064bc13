#pragma once
// The component library's own texts, addressed by number.

#include <QString>

enum : int {
    SNo = 65072,
    SYesToAll = 65073,
    SYes = 65074,
    SOK = 65075,
    SConfirmImage = 65076,
    SNewPasswordTooWeak = 65077,
    SNewPasswordsDoNotMatch = 65078,
    SNewPasswordEmpty = 65079,
    SIncorrectPassword = 65080,
    SError = 65098,
    SFillInYourText = 65099,
    SSaveToStreamNotImplemented = 65100,
    SLoadFromStreamNotImplemented = 65101,
    SCancel = 65102,
    SNoToAll = 65103,
};

// The text of string resource Id; "" when no table holds it. The library's
// table is registered on first use.
QString LoadResString(int Id);

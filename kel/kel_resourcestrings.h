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

// Texts of the find dialog. Only 10018 to 10020 are in the table; the others
// are left out so that the dialog's controls keep their design captions.
enum : int {
    SFindCancel = 10002,
    SFindHelp = 10003,
    SFindNothingToFind = 10018,
    SFindNothingToFindCaption = 10019,
    SFindCaption = 10020,
    SFindSearchFor = 10021,
    SFindMatchCase = 10022,
    SFindWholeWord = 10023,
    SFindSearch = 10024,
};

// The text of string resource Id; "" when no table holds it. The library's
// table is registered on first use.
QString LoadResString(int Id);

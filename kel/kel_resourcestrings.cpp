#include "kel_resourcestrings.h"

#include "StringResources.h"

namespace {
const TStringTable KelStrings = {
    {SNo, QStringLiteral("No")},
    {SYesToAll, QStringLiteral("Yes to All")},
    {SYes, QStringLiteral("Yes")},
    {SOK, QStringLiteral("OK")},
    {SConfirmImage, QStringLiteral("ConfirmImage")},
    {SNewPasswordTooWeak, QStringLiteral("New password too weak")},
    {SNewPasswordsDoNotMatch, QStringLiteral("New passwords do not match")},
    {SNewPasswordEmpty, QStringLiteral("New password may not be empty")},
    {SIncorrectPassword, QStringLiteral("Incorrect password")},
    {SError, QStringLiteral("Error")},
    {SFillInYourText, QStringLiteral("Fill in your text")},
    {SSaveToStreamNotImplemented, QStringLiteral("Not implemented")},
    {SLoadFromStreamNotImplemented, QStringLiteral("Not implemented")},
    {SCancel, QStringLiteral("Cancel")},
    {SNoToAll, QStringLiteral("No to All")},
    {SFindNothingToFind, QStringLiteral("Enter the text to search for.")},
    {SFindNothingToFindCaption, QStringLiteral("Find")},
    {SFindCaption, QStringLiteral("Find")},
};
} // namespace

QString LoadResString(int Id) {
    static const bool registered = [] {
        RegisterStringTable(&KelStrings, /*Base=*/true);
        return true;
    }();
    (void)registered;
    return LoadString(Id);
}

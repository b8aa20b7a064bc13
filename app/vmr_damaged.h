#pragma once
// A vault file whose data are damaged is never overwritten: before the pages
// are saved in its place, it is moved aside under a name of its own.

#include <QString>

// The first of "<vault>.damaged", "<vault>.damaged-2", "<vault>.damaged-3" ...
// that names nothing yet.
QString DamagedVaultName(const QString& VaultName);

// Renames the vault file to DamagedVaultName and returns the new name; "" when
// there is no file of that name any more. Never replaces an existing file. A
// rename that fails raises EFileError, and the file stays where it was.
QString MoveVaultAside(const QString& VaultName);

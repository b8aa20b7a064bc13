#pragma once
// File version information: one named string from a file's version block.
// Nothing here fails loudly; whatever goes wrong yields "".

#include <QByteArray>
#include <QString>
#include <optional>

// A file's whole version-information block, exactly as large as the file
// reports it.
using TVersionInfoBlock = QByteArray;

// The value Name from the "040904E4" string table (English, United States;
// code page 1252) of FileName's version block; "" when there is none.
QString GetVersionInfoValue(const QString& FileName, const QString& Name);

// The file's version-information block, or nothing when it has none or it
// cannot be read.
std::optional<TVersionInfoBlock> ReadVersionInfoBlock(const QString& FileName);

// The value Name from the block's "040904E4" string table, up to its first NUL
// character; "" when the block has no such value or the value is not text.
// Whatever the block holds, nothing outside it is read.
QString QueryVersionString(const TVersionInfoBlock& Block, const QString& Name);

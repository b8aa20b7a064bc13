#pragma once
// The vault file: all pages, each title and each text encrypted on its own
// under a fixed key. All integers are signed 32-bit little-endian: the page
// count, then per page the length and bytes of the encrypted title (UTF-16LE)
// and the length and bytes of the encrypted text. No signature, no version:
// files written by any copy of the program must keep reading.

#include "Exception.h"
#include "LockedFile.h"
#include "vmr_utils.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

// The key of every title and text, the same in every copy (AES-128).
extern const std::string VaultKey;

// A vault file that ends inside a record, or holds a negative count or a
// length longer than the rest of the file.
class EVaultDamaged : public Exception {
public:
    EVaultDamaged(const QString& FileName, qint64 Offset, const QString& Reason);
    const QString& FileName() const { return FFileName; }
    // Where the field that could not be read starts.
    qint64 Offset() const { return FOffset; }

private:
    QString FFileName;
    qint64 FOffset;
};

// Another copy of the program held the vault's lock for longer than the lock
// wait (see TLockedFile): "Cannot open file "<name>". It is in use by another
// copy of Vellomar."
class EVaultInUse : public EFileInUse {
public:
    explicit EVaultInUse(const QString& FileName);
};

// The executable's path with its extension, if any, replaced by ".pgs".
QString VaultFileName(const QString& ExePath);

// Takes a page read from the vault, and its ownership.
using TAddPage = std::function<void(TPage*)>;

// Hands every page of the file to AddPage, in file order. The file is locked
// while it is read, after waiting for another process's lock for at most
// LockWait(). One that cannot be opened raises EFileError "Cannot open file
// "<name>". <reason>" (EVaultInUse when the lock stayed held) before any page
// is handed over; a read that fails raises EFileError "Cannot read file ...",
// after the pages before it. Only data that were read and make no sense raise
// EVaultDamaged, after the pages before the damage have been handed over.
// Bytes after the last record are ignored. Identity, when given, receives the
// file's identity once all of it has been read.
void ReadVaultFile(const QString& FileName, const TAddPage& AddPage,
                   TFileIdentity* Identity = nullptr);
// The same on the file's bytes; FileName only names it in errors.
void ReadVaultData(const QByteArray& Data, const QString& FileName, const TAddPage& AddPage);

// Makes the first N pages of Pages, in list order, the whole content of the
// file, as a whole or not at all (see ReplaceFileContent); a lock that stays
// held raises EVaultInUse, and nothing is written. N outside 0 to
// Pages.Count() raises EListError before anything is written. The program
// always flushes to disk; TFlush::None serves the benchmarks. Check guards
// against overwriting another program's save (see TReplaceCheck).
void WriteVaultFile(const QString& FileName, const TPageList& Pages, int N,
                    TFlush Flush = TFlush::ToDisk, const TReplaceCheck& Check = {});
// The bytes that WriteVaultFile writes.
QByteArray VaultData(const TPageList& Pages, int N);

// Decrypted title bytes as UTF-16LE, an odd count completed by a zero byte.
QString TrimStr(std::string_view s);

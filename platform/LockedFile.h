#pragma once
// Files held without sharing, and whole-file replacement that a crash, a kill
// or a full disk cannot leave half done.

#include "cCipherUtils.h"

#include <QByteArray>
#include <QString>
#include <functional>

// A file that cannot be opened, created, read or written. The message names
// the file and gives the system's reason.
class EFileError : public Exception {
public:
    using Exception::Exception;
};

// An existing regular file, open and under an exclusive advisory lock (flock)
// for the object's lifetime. When it cannot be opened, or another process
// holds its lock, the constructor fails at once with EFileError
// "Cannot open file "<name>". <reason>".
class TLockedFile {
public:
    enum class TAccess { Read, Write };
    TLockedFile(const QString& FileName, TAccess Access);
    ~TLockedFile();
    TLockedFile(const TLockedFile&) = delete;
    TLockedFile& operator=(const TLockedFile&) = delete;

    int Handle() const { return FHandle; }

private:
    int FHandle = -1;
};

// Whether ReplaceFileContent flushes to disk. The program always does;
// benchmarks measure the write without the flush and the flush on its own.
enum class TFlush { ToDisk, None };

// Makes Data the whole content of FileName. The data go to a temporary file in
// the same folder, are flushed to disk and only then renamed over the file;
// the folder is flushed last. An existing file stays locked meanwhile and
// keeps its mode; a new one gets mode 0600. On failure the old file is left
// as it was, the temporary file is gone, and EFileError says why:
// "Cannot open file "<name>". <reason>" for an existing file,
// "Cannot create file "<name>". <reason>" for a new one, or
// "Cannot write file "<name>". <reason>" once writing has begun.
void ReplaceFileContent(const QString& FileName, const QByteArray& Data,
                        TFlush Flush = TFlush::ToDisk);

// The same with the content handed over piece by piece: Produce calls Put
// for each piece in order, and whatever it raises leaves the old file as it
// was. Put raises EFileError "Cannot write file ..." when writing fails.
using TPutBytes = std::function<void(const char* Data, qsizetype Size)>;
void ReplaceFileContent(const QString& FileName,
                        const std::function<void(const TPutBytes&)>& Produce,
                        TFlush Flush = TFlush::ToDisk);

// The texts of EFileError.
std::string FileErrorText(const char* What, const QString& FileName, const QString& Reason);

#pragma once
// Files held without sharing, and whole-file replacement that a crash, a kill
// or a full disk cannot leave half done.

#include "Exception.h"
#include "FileIdentity.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>

// A file that cannot be opened, created, read or written. The message names
// the file and gives the system's reason.
class EFileError : public Exception {
public:
    using Exception::Exception;
};

// The file is no longer what it was when this process last read or wrote it:
// another program changed, replaced, created or removed it.
class EFileChanged : public Exception {
public:
    EFileChanged(const QString& FileName, const TFileIdentity& Now);
    // The file as it is now; expecting it lets the next save overwrite it.
    const TFileIdentity& Now() const { return FNow; }

private:
    TFileIdentity FNow;
};

// Another process held the file's lock for longer than the lock wait.
class EFileInUse : public EFileError {
public:
    // "Cannot open file "<name>". <Reason>"; by default the reason names
    // another process.
    explicit EFileInUse(const QString& FileName, const QString& Reason = {});
    const QString& FileName() const { return FFileName; }

private:
    QString FFileName;
};

// How long opening a file waits for another process to release its lock: a
// save takes milliseconds, so a lock held longer is not going away soon. Tests
// shorten it; zero tries once.
std::chrono::milliseconds LockWait();
void SetLockWait(std::chrono::milliseconds Wait);
inline constexpr std::chrono::milliseconds kDefaultLockWait{5000};

// Whether anything bears the name, a dangling link included. A name that
// cannot be looked up (no permission to search the folder) counts as taken:
// only opening it can tell more.
bool NameExists(const QString& FileName);

// An existing regular file, open and under an exclusive advisory lock (flock)
// for the object's lifetime. While another process holds the lock, the
// constructor waits for it, polling, for at most LockWait(), and then fails
// with EFileInUse; a file renamed into the name meanwhile is opened afresh.
// A file that cannot be opened, or is no regular file, fails at once with
// EFileError "Cannot open file "<name>". <reason>".
class TLockedFile {
public:
    enum class TAccess { Read, Write, ReadWrite };
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

// Guards a replacement against lost updates. With Expected set, the file is
// compared with it while it is locked, before anything is written, and a
// file that differs (see StillSameFile) raises EFileChanged and is left as
// it is; a missing file expected to stay missing is not created over one
// that appears meanwhile. Written, when set, receives the new file's identity.
struct TReplaceCheck {
    const TFileIdentity* Expected = nullptr;
    TFileIdentity* Written = nullptr;
};

// Makes Data the whole content of FileName. The data go to a temporary file in
// the same folder, are flushed to disk and only then renamed over the file;
// the folder is flushed last. An existing file is locked first (waiting for
// another process's lock as TLockedFile does), stays locked meanwhile and
// keeps its mode; a new one gets mode 0600. On failure the old file is left
// as it was, the temporary file is gone, and EFileError says why:
// "Cannot open file "<name>". <reason>" for an existing file,
// "Cannot create file "<name>". <reason>" for a new one, or
// "Cannot write file "<name>". <reason>" once writing has begun.
// Temporary files that killed writers left beside the file are removed after
// a replacement succeeds; those still held by a live writer are kept.
void ReplaceFileContent(const QString& FileName, const QByteArray& Data,
                        TFlush Flush = TFlush::ToDisk);

// The same with the content handed over piece by piece: Produce calls Put
// for each piece in order, and whatever it raises leaves the old file as it
// was. Put raises EFileError "Cannot write file ..." when writing fails.
using TPutBytes = std::function<void(const char* Data, qsizetype Size)>;
void ReplaceFileContent(const QString& FileName,
                        const std::function<void(const TPutBytes&)>& Produce,
                        TFlush Flush = TFlush::ToDisk, const TReplaceCheck& Check = {});

// The texts of EFileError.
std::string FileErrorText(const char* What, const QString& FileName, const QString& Reason);

#include "LockedFile.h"

#include "FileFaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
const char* const CannotOpen = "Cannot open file";
const char* const CannotCreate = "Cannot create file";
const char* const CannotWrite = "Cannot write file";
const char* const CannotRead = "Cannot read file";
// The longest pause between two tries for a lock.
constexpr std::chrono::milliseconds kLongestPause{50};

QString SystemText(int Error) {
    return QString::fromLocal8Bit(std::strerror(Error));
}

QString InUseText() {
    return QStringLiteral("The file is in use by another process.");
}

std::chrono::milliseconds& LockWaitRef() {
    static std::chrono::milliseconds wait = kDefaultLockWait;
    return wait;
}

QByteArray Native(const QString& FileName) {
    return QFile::encodeName(FileName);
}

[[noreturn]] void Fail(const char* What, const QString& FileName, const QString& Reason) {
    throw EFileError(FileErrorText(What, FileName, Reason));
}

// True, with errno set, when a test made Call fail.
bool Injected(TFileCall Call) {
    const int error = InjectedFileError(Call);
    if (error != 0)
        errno = error;
    return error != 0;
}

int Sync(int Handle) {
    return Injected(TFileCall::Sync) ? -1 : ::fsync(Handle);
}

int Lock(int Handle) {
    return Injected(TFileCall::Lock) ? -1 : ::flock(Handle, LOCK_EX | LOCK_NB);
}

// The temporary names of a file's next content: distinct enough that no file
// a person keeps beside the vault is taken for a leftover.
const char* const kTempSuffix = ".~XXXXXX";
constexpr int kTempRandom = 6;

bool IsTempNameOf(const QString& Name, const QString& Base) {
    const qsizetype prefix = Base.size() + 2;
    if (Name.size() != prefix + kTempRandom || !Name.startsWith(Base) ||
        !QStringView(Name).mid(Base.size()).startsWith(u".~"))
        return false;
    for (qsizetype i = prefix; i < Name.size(); ++i)
        if (!Name[i].isLetterOrNumber() || Name[i].unicode() > 0x7F)
            return false;
    return true;
}

// Removes the temporary files of Target that a killed writer left behind.
// A live writer holds a lock on its temporary file, so those are kept.
void RemoveLeftoverTemporaries(const QString& Target) {
    const QFileInfo target(Target);
    const QString base = target.fileName();
    const QDir folder = target.absoluteDir();
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!IsTempNameOf(name, base))
            continue;
        const QByteArray path = Native(folder.filePath(name));
        const int fd =
            ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            continue;
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
}

// Writes Size bytes at the handle's position; 0 or the system's error.
int WriteAll(int Handle, const char* Data, qsizetype Size) {
    for (qsizetype done = 0; done < Size;) {
        const ssize_t n =
            Injected(TFileCall::Write) ? -1 : ::write(Handle, Data + done, size_t(Size - done));
        if (n < 0 && errno != EINTR)
            return errno;
        if (n > 0)
            done += n;
    }
    return 0;
}

// A file's next content, written beside it and renamed over it by Commit.
// It has no name until then where the file system allows (O_TMPFILE), so a
// crash leaves nothing behind; elsewhere it has a temporary name, removed
// when it is not committed.
class TNewFile {
public:
    explicit TNewFile(const QString& Target) : FTarget(Native(Target)) {}
    ~TNewFile() {
        if (FHandle >= 0)
            ::close(FHandle);
        if (!FName.isEmpty())
            ::unlink(FName.constData());
    }
    TNewFile(const TNewFile&) = delete;
    TNewFile& operator=(const TNewFile&) = delete;

    int Handle() const { return FHandle; }

    // 0 or the system's error.
    int Open() {
        const QByteArray folder = Native(QFileInfo(QFile::decodeName(FTarget)).absolutePath());
        FHandle = Injected(TFileCall::OpenUnnamed)
                      ? -1
                      : ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (FHandle < 0) {
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                return errno;
            QByteArray name = FTarget + kTempSuffix;
            FHandle = ::mkostemp(name.data(), O_CLOEXEC);
            if (FHandle < 0)
                return errno;
            FName = name;
        }
        // Marks the file as in use for as long as this writer lives.
        ::flock(FHandle, LOCK_EX | LOCK_NB);
        return 0;
    }

    // Puts the file in the target's place; 0 or the system's error. With
    // NoReplace, a file that took the target's name meanwhile is kept and the
    // error is EEXIST.
    int Commit(bool NoReplace) {
        if (FName.isEmpty()) {
            // Give the unnamed file a free temporary name first.
            const QByteArray self = "/proc/self/fd/" + QByteArray::number(FHandle);
            for (int attempt = 0;; ++attempt) {
                QByteArray name = FTarget + kTempSuffix;
                const int probe = ::mkstemp(name.data());
                if (probe < 0)
                    return errno;
                ::close(probe);
                ::unlink(name.constData());
                if (!Injected(TFileCall::Link) &&
                    ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(),
                             AT_SYMLINK_FOLLOW) == 0) {
                    FName = name;
                    break;
                }
                if (errno != EEXIST || attempt == 10)
                    return errno;
            }
        }
        const int closed = ::close(FHandle);
        FHandle = -1;
        if (closed != 0)
            return errno;
        if (Injected(TFileCall::Rename))
            return errno;
        if (NoReplace) {
            if (::renameat2(AT_FDCWD, FName.constData(), AT_FDCWD, FTarget.constData(),
                            RENAME_NOREPLACE) == 0) {
                FName.clear();
                return 0;
            }
            // A file system without the no-replace rename takes a plain one.
            if (errno != EINVAL && errno != ENOSYS)
                return errno;
        }
        if (::rename(FName.constData(), FTarget.constData()) != 0)
            return errno;
        FName.clear();
        return 0;
    }

private:
    QByteArray FTarget;
    QByteArray FName; // the temporary name, while the file has one
    int FHandle = -1;
};

// Flushes the folder's entry for a renamed file; 0 or the system's error.
// A folder that cannot be opened, or flushed on this file system, is taken
// as it is.
int SyncFolder(const QString& Folder) {
    const int fd = ::open(Native(Folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    const int error = Sync(fd) == 0 || errno == EINVAL ? 0 : errno;
    ::close(fd);
    return error;
}
} // namespace

EFileChanged::EFileChanged(const QString& FileName, const TFileIdentity& Now)
    : Exception(QStringLiteral("The file \"%1\" was changed by another program.")
                    .arg(FileName)
                    .toStdString()),
      FNow(Now) {}

EFileInUse::EFileInUse(const QString& FileName, const QString& Reason)
    : EFileError(FileErrorText(CannotOpen, FileName, Reason.isEmpty() ? InUseText() : Reason)),
      FFileName(FileName) {}

std::chrono::milliseconds LockWait() {
    return LockWaitRef();
}

void SetLockWait(std::chrono::milliseconds Wait) {
    LockWaitRef() = Wait;
}

bool NameExists(const QString& FileName) {
    struct stat st;
    return ::lstat(Native(FileName).constData(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

std::string FileErrorText(const char* What, const QString& FileName, const QString& Reason) {
    return QStringLiteral("%1 \"%2\". %3")
        .arg(QString::fromLatin1(What), FileName, Reason)
        .toStdString();
}

TLockedFile::TLockedFile(const QString& FileName, TAccess Access) {
    const QByteArray path = Native(FileName);
    // Non-blocking open: a FIFO in the file's place must not hang the open.
    const int flags = (Access == TAccess::Write       ? O_WRONLY
                       : Access == TAccess::ReadWrite ? O_RDWR
                                                      : O_RDONLY) |
                      O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    // Another process's save holds the lock for milliseconds, so the lock is
    // polled rather than waited for without end. Each try opens the name
    // afresh: a writer may have renamed a new file into place meanwhile, and
    // the lock must guard the file that bears the name.
    const auto deadline = std::chrono::steady_clock::now() + LockWait();
    for (std::chrono::milliseconds pause{1};; pause = std::min(pause * 2, kLongestPause)) {
        const int fd = ::open(path.constData(), flags);
        if (fd < 0)
            Fail(CannotOpen, FileName, SystemText(errno));
        struct stat held, named;
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(fd);
            Fail(CannotOpen, FileName, QStringLiteral("It is not a regular file."));
        }
        if (Lock(fd) != 0) {
            const int e = errno;
            ::close(fd);
            if (e != EWOULDBLOCK)
                Fail(CannotOpen, FileName, SystemText(e));
        } else if (::stat(path.constData(), &named) == 0 && named.st_dev == held.st_dev &&
                   named.st_ino == held.st_ino) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            FHandle = fd;
            return;
        } else {
            ::close(fd);
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            throw EFileInUse(FileName);
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    }
}

TLockedFile::~TLockedFile() {
    if (FHandle >= 0)
        ::close(FHandle); // releases the lock
}

void ReplaceFileContent(const QString& FileName, const QByteArray& Data, TFlush Flush) {
    ReplaceFileContent(
        FileName, [&Data](const TPutBytes& Put) { Put(Data.constData(), Data.size()); }, Flush);
}

void ReplaceFileContent(const QString& FileName,
                        const std::function<void(const TPutBytes&)>& Produce, TFlush Flush,
                        const TReplaceCheck& Check) {
    struct stat st;
    const bool exists = ::stat(Native(FileName).constData(), &st) == 0 || errno != ENOENT;
    const char* const openError = exists ? CannotOpen : CannotCreate;
    std::optional<TLockedFile> held;
    mode_t mode = 0600;
    if (exists) {
        // A file to be compared with what it was must be read as well.
        held.emplace(FileName, Check.Expected ? TLockedFile::TAccess::ReadWrite
                                              : TLockedFile::TAccess::Write);
        if (::fstat(held->Handle(), &st) == 0)
            mode = st.st_mode & 07777;
    }
    if (Check.Expected) {
        TFileIdentity now;
        int readError = 0;
        if (!StillSameFile(*Check.Expected, held ? held->Handle() : -1, now, &readError)) {
            // A file that could not be compared is not taken for another
            // program's save, which the user might then overwrite.
            if (readError != 0)
                Fail(CannotRead, FileName, SystemText(readError));
            throw EFileChanged(FileName, now);
        }
    }
    // A link stays a link: the new content replaces its target.
    const QString canonical = exists ? QFileInfo(FileName).canonicalFilePath() : QString();
    const QString target = canonical.isEmpty() ? FileName : canonical;

    TNewFile out(target);
    if (const int error = out.Open())
        Fail(openError, FileName, SystemText(error));
    if (::fchmod(out.Handle(), mode) != 0)
        Fail(openError, FileName, SystemText(errno));
    TContentHash hash;
    Produce([&](const char* Data, qsizetype Size) {
        if (Check.Written)
            hash.Add(Data, Size);
        if (const int error = WriteAll(out.Handle(), Data, Size))
            Fail(CannotWrite, FileName, SystemText(error));
    });
    if (Flush == TFlush::ToDisk && Sync(out.Handle()) != 0)
        Fail(CannotWrite, FileName, SystemText(errno));
    TFileIdentity written = IdentityOfHandle(out.Handle(), hash.Value());
    // Only a file expected to stay missing must not replace one that appeared.
    const bool noReplace = !exists && Check.Expected;
    if (const int error = out.Commit(noReplace)) {
        if (error == EEXIST && noReplace) {
            const TLockedFile now(FileName, TLockedFile::TAccess::Read);
            TFileIdentity identity;
            int readError = 0;
            StillSameFile(*Check.Expected, now.Handle(), identity, &readError);
            if (readError != 0)
                Fail(CannotRead, FileName, SystemText(readError));
            throw EFileChanged(FileName, identity);
        }
        Fail(CannotWrite, FileName, SystemText(error));
    }
    if (Check.Written) {
        // The rename moved the change time on.
        struct stat placed;
        if (::stat(Native(target).constData(), &placed) == 0 && placed.st_ino == written.Inode &&
            placed.st_dev == written.Device)
            written.CTimeNs = qint64(placed.st_ctim.tv_sec) * 1000000000 + placed.st_ctim.tv_nsec;
        *Check.Written = written;
    }
    if (Flush == TFlush::ToDisk)
        if (const int error = SyncFolder(QFileInfo(target).absolutePath()))
            Fail(CannotWrite, FileName, SystemText(error));
    RemoveLeftoverTemporaries(target);
}

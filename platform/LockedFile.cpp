#include "LockedFile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char* const CannotOpen = "Cannot open file";
const char* const CannotCreate = "Cannot create file";
const char* const CannotWrite = "Cannot write file";

QString SystemText(int Error) {
    return QString::fromLocal8Bit(std::strerror(Error));
}

QString InUseText() {
    return QStringLiteral("The file is in use by another process.");
}

QByteArray Native(const QString& FileName) {
    return QFile::encodeName(FileName);
}

[[noreturn]] void Fail(const char* What, const QString& FileName, const QString& Reason) {
    throw EFileError(FileErrorText(What, FileName, Reason));
}

// Writes Size bytes at the handle's position; 0 or the system's error.
int WriteAll(int Handle, const char* Data, qsizetype Size) {
    for (qsizetype done = 0; done < Size;) {
        const ssize_t n = ::write(Handle, Data + done, size_t(Size - done));
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
        FHandle = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (FHandle >= 0)
            return 0;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return errno;
        QByteArray name = FTarget + ".XXXXXX";
        FHandle = ::mkostemp(name.data(), O_CLOEXEC);
        if (FHandle < 0)
            return errno;
        FName = name;
        return 0;
    }

    // Puts the file in the target's place; 0 or the system's error.
    int Commit() {
        if (FName.isEmpty()) {
            // Give the unnamed file a free temporary name first.
            const QByteArray self = "/proc/self/fd/" + QByteArray::number(FHandle);
            for (int attempt = 0;; ++attempt) {
                QByteArray name = FTarget + ".XXXXXX";
                const int probe = ::mkstemp(name.data());
                if (probe < 0)
                    return errno;
                ::close(probe);
                ::unlink(name.constData());
                if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(),
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
    const int error = ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    ::close(fd);
    return error;
}
} // namespace

std::string FileErrorText(const char* What, const QString& FileName, const QString& Reason) {
    return QStringLiteral("%1 \"%2\". %3")
        .arg(QString::fromLatin1(What), FileName, Reason)
        .toStdString();
}

TLockedFile::TLockedFile(const QString& FileName, TAccess Access) {
    const QByteArray path = Native(FileName);
    // Non-blocking open: a FIFO in the file's place must not hang the open.
    const int flags =
        (Access == TAccess::Write ? O_WRONLY : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    // A writer may rename a new file into place between our open and our
    // lock; the lock then guards a file that is no longer the named one.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::open(path.constData(), flags);
        if (fd < 0)
            Fail(CannotOpen, FileName, SystemText(errno));
        struct stat held, named;
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(fd);
            Fail(CannotOpen, FileName, QStringLiteral("It is not a regular file."));
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int e = errno;
            ::close(fd);
            Fail(CannotOpen, FileName, e == EWOULDBLOCK ? InUseText() : SystemText(e));
        }
        if (::stat(path.constData(), &named) == 0 && named.st_dev == held.st_dev &&
            named.st_ino == held.st_ino) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            FHandle = fd;
            return;
        }
        ::close(fd);
    }
    Fail(CannotOpen, FileName, InUseText());
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
                        const std::function<void(const TPutBytes&)>& Produce, TFlush Flush) {
    struct stat st;
    const bool exists = ::stat(Native(FileName).constData(), &st) == 0 || errno != ENOENT;
    const char* const openError = exists ? CannotOpen : CannotCreate;
    std::optional<TLockedFile> held;
    mode_t mode = 0600;
    if (exists) {
        held.emplace(FileName, TLockedFile::TAccess::Write);
        if (::fstat(held->Handle(), &st) == 0)
            mode = st.st_mode & 07777;
    }
    // A link stays a link: the new content replaces its target.
    const QString canonical = exists ? QFileInfo(FileName).canonicalFilePath() : QString();
    const QString target = canonical.isEmpty() ? FileName : canonical;

    TNewFile out(target);
    if (const int error = out.Open())
        Fail(openError, FileName, SystemText(error));
    if (::fchmod(out.Handle(), mode) != 0)
        Fail(openError, FileName, SystemText(errno));
    Produce([&](const char* Data, qsizetype Size) {
        if (const int error = WriteAll(out.Handle(), Data, Size))
            Fail(CannotWrite, FileName, SystemText(error));
    });
    if (Flush == TFlush::ToDisk && ::fsync(out.Handle()) != 0)
        Fail(CannotWrite, FileName, SystemText(errno));
    if (const int error = out.Commit())
        Fail(CannotWrite, FileName, SystemText(error));
    if (Flush == TFlush::ToDisk)
        if (const int error = SyncFolder(QFileInfo(target).absolutePath()))
            Fail(CannotWrite, FileName, SystemText(error));
}

#include "LockedFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
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

// Writes all of Data at the handle's position; 0 or the system's error.
int WriteAll(int Handle, const QByteArray& Data) {
    for (qsizetype done = 0; done < Data.size();) {
        const ssize_t n = ::write(Handle, Data.constData() + done, size_t(Data.size() - done));
        if (n < 0 && errno != EINTR)
            return errno;
        if (n > 0)
            done += n;
    }
    return 0;
}

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

void ReplaceFileContent(const QString& FileName, const QByteArray& Data) {
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

    // Not committed, the temporary file is removed when `out` goes.
    QSaveFile out(FileName);
    if (!out.open(QIODevice::WriteOnly))
        Fail(openError, FileName, out.errorString());
    if (::fchmod(out.handle(), mode) != 0)
        Fail(openError, FileName, SystemText(errno));
    // Straight to the handle, so that a failure keeps the system's reason.
    if (const int error = WriteAll(out.handle(), Data))
        Fail(CannotWrite, FileName, SystemText(error));
    // commit() flushes to disk as well but ignores a failure to do so.
    if (::fsync(out.handle()) != 0)
        Fail(CannotWrite, FileName, SystemText(errno));
    if (!out.commit())
        Fail(CannotWrite, FileName, out.errorString());
    // The rename happened beside the link's target when the name is a link.
    const QString written = QFileInfo(FileName).canonicalFilePath();
    if (const int error =
            SyncFolder(QFileInfo(written.isEmpty() ? FileName : written).absolutePath()))
        Fail(CannotWrite, FileName, SystemText(error));
}

#include "vmr_damaged.h"

#include "LockedFile.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace {
// Enough for any folder a person keeps; past it something else is wrong.
constexpr int kMaxDamagedCopies = 10000;

bool NameTaken(const QString& Name) {
    struct stat st;
    return ::lstat(QFile::encodeName(Name).constData(), &st) == 0;
}

[[noreturn]] void CannotMove(const QString& From, const QString& To, int Error) {
    const QString reason = QString::fromLocal8Bit(std::strerror(Error));
    throw EFileError(FileErrorText(
        "Cannot move the damaged vault file", From,
        QStringLiteral("It was to become \"%1\": %2. Nothing was saved.").arg(To, reason)));
}
} // namespace

QString DamagedVaultName(const QString& VaultName) {
    const QString base = VaultName + QStringLiteral(".damaged");
    if (!NameTaken(base))
        return base;
    for (int i = 2; i <= kMaxDamagedCopies; ++i) {
        const QString name = base + QStringLiteral("-%1").arg(i);
        if (!NameTaken(name))
            return name;
    }
    return {};
}

QString MoveVaultAside(const QString& VaultName) {
    if (!NameTaken(VaultName))
        return {};
    for (;;) {
        const QString target = DamagedVaultName(VaultName);
        if (target.isEmpty())
            CannotMove(VaultName, VaultName + QStringLiteral(".damaged"), EEXIST);
        const QByteArray from = QFile::encodeName(VaultName);
        const QByteArray to = QFile::encodeName(target);
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) ==
            0)
            return target;
        const int error = errno;
        // Taken meanwhile: try the next free name.
        if (error == EEXIST)
            continue;
        // A file system without the no-replace rename: the name was free a
        // moment ago, and a plain rename is the best left.
        if (error == EINVAL || error == ENOSYS) {
            if (NameTaken(target))
                continue;
            if (::rename(from.constData(), to.constData()) == 0)
                return target;
            CannotMove(VaultName, target, errno);
        }
        CannotMove(VaultName, target, error);
    }
}

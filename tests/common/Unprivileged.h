#pragma once
// File permissions do not bind the superuser. A test that needs them to bind
// works as an unprivileged user while this guard lives: run as root, the
// process takes nobody's user and group as its effective ones (the real and
// saved ones stay root's, so they can be taken back), and the folder the test
// works in is handed to that user. Run as any other user, nothing changes.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

class TUnprivileged {
public:
    explicit TUnprivileged(const QString& Folder) : FFolder(QFile::encodeName(Folder)) {
        if (::geteuid() == 0 && !Drop())
            return;
        FBinds = Probe();
    }
    ~TUnprivileged() { Restore(); }
    TUnprivileged(const TUnprivileged&) = delete;
    TUnprivileged& operator=(const TUnprivileged&) = delete;

    // Whether a file without permissions really cannot be read now.
    bool Binds() const { return FBinds; }

    // Back to the user the test started as.
    void Restore() {
        if (!FDropped)
            return;
        FDropped = false;
        if (::seteuid(0) != 0 || ::setegid(0) != 0 ||
            ::setgroups(FGroups.size(), FGroups.data()) != 0)
            ::abort(); // the rest of the run would not be what it seems
    }

private:
    bool Drop() {
        const passwd* pw = ::getpwnam("nobody");
        const uid_t uid = pw ? pw->pw_uid : 65534;
        const gid_t gid = pw ? pw->pw_gid : 65534;
        const int n = ::getgroups(0, nullptr);
        if (n < 0)
            return false;
        FGroups.resize(size_t(n));
        if (::getgroups(n, FGroups.data()) != n)
            return false;
        if (::chown(FFolder.constData(), uid, gid) != 0 || ::setgroups(0, nullptr) != 0)
            return false;
        if (::setegid(gid) != 0) {
            ::setgroups(FGroups.size(), FGroups.data());
            return false;
        }
        if (::seteuid(uid) != 0) {
            ::setegid(0);
            ::setgroups(FGroups.size(), FGroups.data());
            return false;
        }
        FDropped = true;
        return true;
    }

    bool Probe() const {
        const QByteArray probe = FFolder + "/.permission-probe";
        const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0);
        if (fd < 0)
            return false;
        ::close(fd);
        const int again = ::open(probe.constData(), O_RDONLY | O_CLOEXEC);
        const bool denied = again < 0 && errno == EACCES;
        if (again >= 0)
            ::close(again);
        ::unlink(probe.constData());
        return denied;
    }

    QByteArray FFolder;
    std::vector<gid_t> FGroups;
    bool FDropped = false;
    bool FBinds = false;
};

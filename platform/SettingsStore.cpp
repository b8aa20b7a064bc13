#include "SettingsStore.h"

#include "RegFile.h"
#include "SecureText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Creates the folder and any missing parents, private to the user.
bool MakePrivateDirs(const QString& dir) {
    const QFileInfo info(dir);
    if (info.isDir())
        return true;
    if (info.exists() || info.isSymLink())
        return false;
    const QString parent = info.absolutePath();
    if (parent == info.absoluteFilePath() || !MakePrivateDirs(parent))
        return false;
    const QByteArray native = QFile::encodeName(info.absoluteFilePath());
    if (::mkdir(native.constData(), 0700) != 0)
        return errno == EEXIST && QFileInfo(dir).isDir();
    // The umask may have taken bits from the owner as well.
    return ::chmod(native.constData(), 0700) == 0;
}

void SyncDir(const QString& dir) {
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Replaces the file as a whole: either the new content is in place, durable
// and private to the user, or the old file is untouched.
bool SaveAtomically(const QString& path, const QByteArray& data) {
    const QString dir = QFileInfo(path).absolutePath();
    if (!MakePrivateDirs(dir))
        return false;
    QSaveFile file(path);
    // Unbuffered: the bytes hold the crypt string, and a buffer of the
    // library's would keep a copy that is not wiped.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    // Set on the handle: independent of the umask and of the old file's mode.
    if (::fchmod(file.handle(), 0600) != 0 || file.write(data) != data.size() || !file.flush() ||
        ::fsync(file.handle()) != 0) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;
    SyncDir(dir);
    return true;
}

std::string Quoted(const QString& name) {
    return "'" + name.toStdString() + "'";
}

std::string FailedToSet(const QString& name) {
    return "Failed to set data for " + Quoted(name);
}

class TFileSettingsStore final : public TSettingsStore {
public:
    explicit TFileSettingsStore(QString path) : FPath(std::move(path)) {}
    ~TFileSettingsStore() override { CloseKey(); }

    bool OpenKey(const QString& Key, bool Create) override {
        CloseKey();
        // A key needs a name; the hive itself holds no values here.
        if (Key.isEmpty())
            return false;
        TRegFile file;
        if (file.Load(FPath) == TRegFile::TState::Unreadable)
            throw ESettingsStore(Unreadable(file));
        if (!file.HasKey(Key)) {
            if (!Create || !IsWritableKey(Key))
                return false;
            FCreatePending = true;
        }
        FFile = std::move(file);
        FKey = Key;
        return true;
    }

    QString ReadString(const QString& Name) override {
        if (!FFile)
            return QString();
        // A damaged line that may be the value's: what it held is unknown,
        // and reading past it could yield an older or an empty value.
        if (const TRegLine* damaged = FFile->Damaged(FKey, Name))
            throw ESettingsStore(DamagedValue(Name, *damaged));
        const TRegLine* value = FFile->Find(FKey, Name);
        if (!value)
            return QString();
        if (!value->IsString)
            throw ESettingsStore("Invalid data type for " + Quoted(Name));
        return value->Text;
    }

    void WriteString(const QString& Name, const QString& Value) override {
        // Merged into the file as it is now, not as it was when the key was
        // opened, so that nothing written meanwhile is lost.
        TRegFile file;
        if (!FFile || !IsWritableName(Name))
            throw ESettingsStore(FailedToSet(Name));
        // An unreadable file, or a damaged line that may be the value's, is
        // left as it is: the user may still mend it by hand.
        if (file.Load(FPath) == TRegFile::TState::Unreadable)
            throw ESettingsStore(FailedToSet(Name) + ". " + Unreadable(file));
        if (const TRegLine* damaged = file.Damaged(FKey, Name))
            throw ESettingsStore(FailedToSet(Name) + ". " + DamagedValue(Name, *damaged));
        file.SetString(FKey, Name, Value);
        QByteArray bytes = file.Serialize();
        const bool saved = SaveAtomically(FPath, bytes);
        WipeOwned(bytes);
        if (!saved)
            throw ESettingsStore(FailedToSet(Name));
        FFile = std::move(file);
        FCreatePending = false;
    }

    void CloseKey() override {
        if (FFile && FCreatePending) {
            // A created key exists even without values. Closing reports no
            // failure, so a key that cannot be written is simply not there;
            // an unreadable file is never written over.
            TRegFile file;
            if (file.Load(FPath) != TRegFile::TState::Unreadable && !file.HasKey(FKey)) {
                file.AddKey(FKey);
                QByteArray bytes = file.Serialize();
                SaveAtomically(FPath, bytes);
                WipeOwned(bytes);
            }
        }
        FFile.reset();
        FKey.clear();
        FCreatePending = false;
    }

private:
    std::string Unreadable(const TRegFile& file) const {
        return QStringLiteral("The settings file \"%1\" cannot be read: %2.")
            .arg(FPath, file.Error())
            .toStdString();
    }

    std::string DamagedValue(const QString& name, const TRegLine& line) const {
        return QStringLiteral("The value %1 cannot be read: line %2 of the settings file \"%3\" "
                              "is damaged.")
            .arg(QString::fromStdString(Quoted(name)), QString::number(line.Number), FPath)
            .toStdString();
    }

    QString FPath;
    QString FKey;
    std::optional<TRegFile> FFile;
    bool FCreatePending = false;
};

TSettingsStoreFactory& CurrentUserStoreFactory() {
    static TSettingsStoreFactory factory;
    return factory;
}

} // namespace

QString DefaultSettingsPath() {
    // A relative XDG_CONFIG_HOME is invalid and ignored, like an empty one.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/vellomar/user.reg");
}

std::unique_ptr<TSettingsStore> CreateFileSettingsStore(const QString& Path) {
    return std::make_unique<TFileSettingsStore>(Path);
}

std::unique_ptr<TSettingsStore> OpenCurrentUserStore() {
    if (const TSettingsStoreFactory& factory = CurrentUserStoreFactory())
        return factory();
    return CreateFileSettingsStore(DefaultSettingsPath());
}

void SetCurrentUserStoreFactory(TSettingsStoreFactory Factory) {
    CurrentUserStoreFactory() = std::move(Factory);
}

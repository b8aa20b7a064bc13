#include "SettingsStore.h"

#include "RegFile.h"

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
    if (!file.open(QIODevice::WriteOnly))
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
            return false;
        if (!file.HasKey(Key)) {
            // An unreadable file is never created over: it is left as it is.
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
        if (!FFile || !IsWritableName(Name) || file.Load(FPath) == TRegFile::TState::Unreadable)
            throw ESettingsStore("Failed to set data for " + Quoted(Name));
        file.SetString(FKey, Name, Value);
        if (!SaveAtomically(FPath, file.Serialize()))
            throw ESettingsStore("Failed to set data for " + Quoted(Name));
        FFile = std::move(file);
        FCreatePending = false;
    }

    void CloseKey() override {
        if (FFile && FCreatePending) {
            // A created key exists even without values. Closing reports no
            // failure, so a key that cannot be written is simply not there.
            TRegFile file;
            if (file.Load(FPath) != TRegFile::TState::Unreadable && !file.HasKey(FKey)) {
                file.AddKey(FKey);
                SaveAtomically(FPath, file.Serialize());
            }
        }
        FFile.reset();
        FKey.clear();
        FCreatePending = false;
    }

private:
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

#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Far above any real settings file; a bigger one is treated as unreadable
// rather than pulled into memory.
constexpr qint64 kMaxFileSize = 32 * 1024 * 1024;

const QByteArray kNewFileHeader = "Windows Registry Editor Version 5.00";

enum class TLineKind { Blank, Comment, Section, Value, Other };

// One logical line: a single physical line, or a hex value continued over
// several. Raw keeps the bytes exactly as read, terminators included, so that
// a rewrite reproduces every line it did not change.
struct TLine {
    QByteArray Raw;
    TLineKind Kind = TLineKind::Other;
    QString Name; // key name of a section, value name of a value
    bool IsString = false;
    QString Text; // data of a string value
};

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r';
}

QStringView TrimView(QStringView s) {
    qsizetype b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

// The text of a physical line without its terminator.
QByteArrayView Content(const QByteArray& raw) {
    QByteArrayView v(raw);
    if (v.endsWith('\n'))
        v.chop(1);
    if (v.endsWith('\r'))
        v.chop(1);
    return v;
}

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// 1..8 hex digits, the whole view.
std::optional<quint32> ParseHexNumber(QStringView s) {
    if (s.isEmpty() || s.size() > 8)
        return std::nullopt;
    quint32 n = 0;
    for (QChar c : s) {
        const int d = HexDigit(c);
        if (d < 0)
            return std::nullopt;
        n = n << 4 | quint32(d);
    }
    return n;
}

bool AppendHexByte(QStringView token, QByteArray* out) {
    if (token.isEmpty() || token.size() > 2)
        return false;
    int value = 0;
    for (QChar c : token) {
        const int d = HexDigit(c);
        if (d < 0)
            return false;
        value = value * 16 + d;
    }
    if (out)
        out->append(char(value));
    return true;
}

// Comma-separated bytes of one or two hex digits; a trailing comma is allowed.
bool ParseHexBytes(QStringView s, QByteArray* out) {
    s = TrimView(s);
    if (s.isEmpty())
        return true;
    for (qsizetype pos = 0;;) {
        const qsizetype comma = s.indexOf(u',', pos);
        const qsizetype end = comma < 0 ? s.size() : comma;
        const QStringView token = TrimView(s.mid(pos, end - pos));
        if (comma < 0)
            return token.isEmpty() || AppendHexByte(token, out);
        if (!AppendHexByte(token, out))
            return false;
        pos = comma + 1;
    }
}

// UTF-16LE data of a string value. One trailing terminator is dropped; any
// U+0000 before it is part of the text.
QString StringFromUtf16Le(const QByteArray& bytes) {
    const qsizetype units = bytes.size() / 2;
    QString s(units, Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(s.data());
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0; i < units; ++i)
        d[i] = char16_t(b[2 * i] | b[2 * i + 1] << 8);
    if (!s.isEmpty() && s.back() == QChar(u'\0'))
        s.chop(1);
    return s;
}

// Reads a quoted text starting at s[pos] == '"'. Only \\ and \" are escapes;
// any other backslash stands for itself. pos ends after the closing quote.
std::optional<QString> ParseQuoted(QStringView s, qsizetype& pos) {
    QString out;
    ++pos;
    while (pos < s.size()) {
        const QChar c = s[pos];
        if (c == u'"') {
            ++pos;
            return out;
        }
        if (c == u'\\' && pos + 1 < s.size() && (s[pos + 1] == u'\\' || s[pos + 1] == u'"')) {
            out.append(s[pos + 1]);
            pos += 2;
            continue;
        }
        out.append(c);
        ++pos;
    }
    return std::nullopt;
}

// A value's name and where its data starts, or nothing when the line is no
// value line.
struct TValueHead {
    QString Name;
    qsizetype DataStart = 0;
};

std::optional<TValueHead> ParseValueHead(QStringView s) {
    TValueHead head;
    qsizetype pos = 0;
    if (s.startsWith(u'@')) {
        pos = 1;
    } else if (s.startsWith(u'"')) {
        std::optional<QString> name = ParseQuoted(s, pos);
        if (!name)
            return std::nullopt;
        head.Name = std::move(*name);
    } else {
        return std::nullopt;
    }
    while (pos < s.size() && IsBlank(s[pos]))
        ++pos;
    if (pos >= s.size() || s[pos] != u'=')
        return std::nullopt;
    ++pos;
    while (pos < s.size() && IsBlank(s[pos]))
        ++pos;
    head.DataStart = pos;
    return head;
}

bool StartsWithHex(QStringView data) {
    return data.startsWith(u"hex", Qt::CaseInsensitive);
}

// Fills in the value's type and text; false when the data are malformed.
bool ParseValueData(QStringView data, TLine& line) {
    data = TrimView(data);
    if (data.startsWith(u'"')) {
        qsizetype pos = 0;
        std::optional<QString> text = ParseQuoted(data, pos);
        if (!text || pos != data.size())
            return false;
        line.IsString = true;
        line.Text = std::move(*text);
        return true;
    }
    if (data.startsWith(u"dword:", Qt::CaseInsensitive))
        return ParseHexNumber(TrimView(data.mid(6))).has_value();
    if (data.startsWith(u"hex:", Qt::CaseInsensitive))
        return ParseHexBytes(data.mid(4), nullptr);
    if (data.startsWith(u"hex(", Qt::CaseInsensitive)) {
        const qsizetype close = data.indexOf(u"):");
        if (close < 0)
            return false;
        const std::optional<quint32> type = ParseHexNumber(data.mid(4, close - 4));
        if (!type)
            return false;
        const QStringView bytes = data.mid(close + 2);
        if (*type != 1 && *type != 2) // REG_SZ, REG_EXPAND_SZ
            return ParseHexBytes(bytes, nullptr);
        QByteArray raw;
        if (!ParseHexBytes(bytes, &raw))
            return false;
        line.IsString = true;
        line.Text = StringFromUtf16Le(raw);
        return true;
    }
    return false;
}

// A physical line that can only be the continuation of hex data.
bool IsHexContinuation(QByteArrayView content) {
    bool any = false;
    for (char c : content) {
        if (c == ' ' || c == '\t' || c == '\r')
            continue;
        if (c != ',' && c != '\\' && !isxdigit(static_cast<unsigned char>(c)))
            return false;
        any = true;
    }
    return any;
}

bool EndsWithBackslash(QString& s) {
    while (!s.isEmpty() && IsBlank(s.back()))
        s.chop(1);
    return s.endsWith(u'\\');
}

// Text that contains no line break and no unpaired surrogate, so it can stand
// in the file as it is.
bool IsPlainWritable(const QString& s) {
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = s[i];
        if (c.unicode() < 0x20)
            return false;
        if (c.isHighSurrogate()) {
            if (i + 1 >= n || !s[i + 1].isLowSurrogate())
                return false;
            ++i;
        } else if (c.isLowSurrogate()) {
            return false;
        }
    }
    return true;
}

QString Escaped(const QString& s) {
    QString out;
    out.reserve(s.size() + 2);
    for (QChar c : s) {
        if (c == u'\\' || c == u'"')
            out.append(u'\\');
        out.append(c);
    }
    return out;
}

// The registry export form of a string value, terminator(s) included. Text
// with control characters goes as UTF-16LE hex so that it survives exactly.
QByteArray FormatStringValue(const QString& name, const QString& value, const QByteArray& eol) {
    QByteArray line = name.isEmpty() ? QByteArray("@") : '"' + Escaped(name).toUtf8() + '"';
    line += '=';
    if (IsPlainWritable(value)) {
        line += '"' + Escaped(value).toUtf8() + '"';
        return line + eol;
    }
    line += "hex(1):";
    QByteArray bytes;
    bytes.reserve((value.size() + 1) * 2);
    for (QChar c : value) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    bytes.append(2, '\0');
    // Wrapped like an export: lines of at most 80 columns, continued with a
    // backslash and indented by two spaces.
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        line += QByteArray::number(static_cast<unsigned char>(bytes[i]), 16).rightJustified(2, '0');
        if (i + 1 == bytes.size())
            break;
        line += ',';
        if (line.size() - lineStart >= 77) {
            line += '\\' + eol;
            lineStart = line.size();
            line += "  ";
        }
    }
    return line + eol;
}

bool IsWritableName(const QString& s) {
    return IsPlainWritable(s);
}

bool IsWritableKey(const QString& s) {
    return !s.isEmpty() && IsPlainWritable(s);
}

// The file as a list of logical lines.
class TRegFile {
public:
    enum class TState { Missing, Loaded, Unreadable };

    TState Load(const QString& path) {
        FLines.clear();
        FEol = "\n";
        const QFileInfo info(path);
        if (!info.exists())
            return TState::Missing;
        if (!info.isFile())
            return TState::Unreadable;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return TState::Unreadable;
        const QByteArray data = file.read(kMaxFileSize + 1);
        if (file.error() != QFileDevice::NoError || data.size() > kMaxFileSize)
            return TState::Unreadable;
        Parse(data);
        return TState::Loaded;
    }

    QByteArray Serialize() const {
        QByteArray out;
        for (const TLine& line : FLines)
            out += line.Raw;
        return out;
    }

    bool HasKey(const QString& key) const {
        for (const TLine& line : FLines)
            if (line.Kind == TLineKind::Section && SameName(line.Name, key))
                return true;
        return false;
    }

    // The value's last definition within the key; later ones override, as on
    // import.
    const TLine* Find(const QString& key, const QString& name) const {
        const std::optional<size_t> at = LastDefinition(key, name);
        return at ? &FLines[*at] : nullptr;
    }

    void AddKey(const QString& key) {
        if (HasKey(key))
            return;
        if (FLines.empty()) {
            Append(TLineKind::Other, kNewFileHeader + FEol);
            Append(TLineKind::Blank, FEol);
        } else {
            TerminateLine(FLines.size() - 1);
            if (FLines.back().Kind != TLineKind::Blank)
                Append(TLineKind::Blank, FEol);
        }
        TLine& section = Append(TLineKind::Section, '[' + key.toUtf8() + ']' + FEol);
        section.Name = key;
    }

    void SetString(const QString& key, const QString& name, const QString& value) {
        TLine line;
        line.Kind = TLineKind::Value;
        line.IsString = true;
        line.Text = value;
        if (const std::optional<size_t> at = LastDefinition(key, name)) {
            line.Name = FLines[*at].Name; // keep the stored spelling
            line.Raw = FormatStringValue(line.Name, value, FEol);
            FLines[*at] = std::move(line);
            return;
        }
        AddKey(key);
        line.Name = name;
        line.Raw = FormatStringValue(name, value, FEol);
        const size_t at = InsertionPoint(key);
        TerminateLine(at - 1);
        FLines.insert(FLines.begin() + std::ptrdiff_t(at), std::move(line));
    }

private:
    void Parse(const QByteArray& data) {
        std::vector<QByteArray> physical;
        for (qsizetype pos = 0; pos < data.size();) {
            qsizetype nl = data.indexOf('\n', pos);
            nl = nl < 0 ? data.size() : nl + 1;
            physical.push_back(data.mid(pos, nl - pos));
            pos = nl;
        }
        if (!physical.empty() && physical.front().endsWith("\r\n"))
            FEol = "\r\n";

        for (size_t i = 0; i < physical.size(); ++i) {
            TLine line;
            line.Raw = physical[i];
            QByteArrayView content = Content(line.Raw);
            if (i == 0 && content.startsWith("\xEF\xBB\xBF"))
                content = content.sliced(3);
            const QString text = QString::fromUtf8(content);
            const QStringView t = TrimView(text);
            if (t.isEmpty()) {
                line.Kind = TLineKind::Blank;
            } else if (t.startsWith(u';')) {
                line.Kind = TLineKind::Comment;
            } else if (t.size() >= 2 && t.startsWith(u'[') && t.endsWith(u']')) {
                line.Kind = TLineKind::Section;
                line.Name = t.mid(1, t.size() - 2).toString();
            } else if (std::optional<TValueHead> head = ParseValueHead(t)) {
                QString data = t.mid(head->DataStart).toString();
                if (StartsWithHex(data)) {
                    while (EndsWithBackslash(data) && i + 1 < physical.size() &&
                           IsHexContinuation(Content(physical[i + 1]))) {
                        ++i;
                        line.Raw += physical[i];
                        data.chop(1);
                        data += QString::fromUtf8(Content(physical[i]));
                    }
                    // A continuation cut short by the end of the file or by
                    // another line: the data so far stand.
                    if (EndsWithBackslash(data))
                        data.chop(1);
                }
                if (ParseValueData(data, line)) {
                    line.Kind = TLineKind::Value;
                    line.Name = std::move(head->Name);
                }
            }
            FLines.push_back(std::move(line));
        }
    }

    std::optional<size_t> LastDefinition(const QString& key, const QString& name) const {
        std::optional<size_t> found;
        bool inKey = false;
        for (size_t i = 0; i < FLines.size(); ++i) {
            const TLine& line = FLines[i];
            if (line.Kind == TLineKind::Section)
                inKey = SameName(line.Name, key);
            else if (inKey && line.Kind == TLineKind::Value && SameName(line.Name, name))
                found = i;
        }
        return found;
    }

    // After the last line of substance in the key's last section, so that
    // blank lines and comments leading into the next section stay with it.
    size_t InsertionPoint(const QString& key) const {
        size_t at = FLines.size();
        bool inKey = false;
        for (size_t i = 0; i < FLines.size(); ++i) {
            const TLine& line = FLines[i];
            if (line.Kind == TLineKind::Section) {
                inKey = SameName(line.Name, key);
                if (inKey)
                    at = i + 1;
            } else if (inKey && line.Kind != TLineKind::Blank && line.Kind != TLineKind::Comment) {
                at = i + 1;
            }
        }
        return at;
    }

    TLine& Append(TLineKind kind, QByteArray raw) {
        TLine& line = FLines.emplace_back();
        line.Kind = kind;
        line.Raw = std::move(raw);
        return line;
    }

    // The last line of a file may lack its terminator; anything placed after
    // it needs one.
    void TerminateLine(size_t i) {
        if (i < FLines.size() && !FLines[i].Raw.endsWith('\n'))
            FLines[i].Raw += FEol;
    }

    std::vector<TLine> FLines;
    QByteArray FEol = "\n";
};

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
        const TLine* value = FFile->Find(FKey, Name);
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

#include "RegFile.h"

#include <QFile>
#include <QFileInfo>

#include <cctype>
#include <optional>
#include <utility>

namespace {

// Far above any real settings file; a bigger one is treated as unreadable
// rather than pulled into memory.
constexpr qint64 kMaxFileSize = 32 * 1024 * 1024;

const QByteArray kNewFileHeader = "Windows Registry Editor Version 5.00";

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
bool ParseValueData(QStringView data, TRegLine& line) {
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

} // namespace

bool IsWritableName(const QString& s) {
    return IsPlainWritable(s);
}

bool IsWritableKey(const QString& s) {
    return !s.isEmpty() && IsPlainWritable(s);
}

TRegFile::TState TRegFile::Load(const QString& path) {
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
    LoadData(data);
    return TState::Loaded;
}

void TRegFile::LoadData(const QByteArray& data) {
    FLines.clear();
    FEol = "\n";
    Parse(data);
}

QByteArray TRegFile::Serialize() const {
    QByteArray out;
    for (const TRegLine& line : FLines)
        out += line.Raw;
    return out;
}

bool TRegFile::HasKey(const QString& key) const {
    for (const TRegLine& line : FLines)
        if (line.Kind == TRegLineKind::Section && SameName(line.Name, key))
            return true;
    return false;
}

// The value's last definition within the key; later ones override, as on
// import.
const TRegLine* TRegFile::Find(const QString& key, const QString& name) const {
    const std::optional<size_t> at = LastDefinition(key, name);
    return at ? &FLines[*at] : nullptr;
}

void TRegFile::AddKey(const QString& key) {
    if (HasKey(key))
        return;
    if (FLines.empty()) {
        Append(TRegLineKind::Other, kNewFileHeader + FEol);
        Append(TRegLineKind::Blank, FEol);
    } else {
        TerminateLine(FLines.size() - 1);
        if (FLines.back().Kind != TRegLineKind::Blank)
            Append(TRegLineKind::Blank, FEol);
    }
    TRegLine& section = Append(TRegLineKind::Section, '[' + key.toUtf8() + ']' + FEol);
    section.Name = key;
}

void TRegFile::SetString(const QString& key, const QString& name, const QString& value) {
    TRegLine line;
    line.Kind = TRegLineKind::Value;
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

void TRegFile::Parse(const QByteArray& data) {
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
        TRegLine line;
        line.Raw = physical[i];
        QByteArrayView content = Content(line.Raw);
        if (i == 0 && content.startsWith("\xEF\xBB\xBF"))
            content = content.sliced(3);
        const QString text = QString::fromUtf8(content);
        const QStringView t = TrimView(text);
        if (t.isEmpty()) {
            line.Kind = TRegLineKind::Blank;
        } else if (t.startsWith(u';')) {
            line.Kind = TRegLineKind::Comment;
        } else if (t.size() >= 2 && t.startsWith(u'[') && t.endsWith(u']')) {
            line.Kind = TRegLineKind::Section;
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
                line.Kind = TRegLineKind::Value;
                line.Name = std::move(head->Name);
            }
        }
        FLines.push_back(std::move(line));
    }
}

std::optional<size_t> TRegFile::LastDefinition(const QString& key, const QString& name) const {
    std::optional<size_t> found;
    bool inKey = false;
    for (size_t i = 0; i < FLines.size(); ++i) {
        const TRegLine& line = FLines[i];
        if (line.Kind == TRegLineKind::Section)
            inKey = SameName(line.Name, key);
        else if (inKey && line.Kind == TRegLineKind::Value && SameName(line.Name, name))
            found = i;
    }
    return found;
}

// After the last line of substance in the key's last section, so that
// blank lines and comments leading into the next section stay with it.
size_t TRegFile::InsertionPoint(const QString& key) const {
    size_t at = FLines.size();
    bool inKey = false;
    for (size_t i = 0; i < FLines.size(); ++i) {
        const TRegLine& line = FLines[i];
        if (line.Kind == TRegLineKind::Section) {
            inKey = SameName(line.Name, key);
            if (inKey)
                at = i + 1;
        } else if (inKey && line.Kind != TRegLineKind::Blank &&
                   line.Kind != TRegLineKind::Comment) {
            at = i + 1;
        }
    }
    return at;
}

TRegLine& TRegFile::Append(TRegLineKind kind, QByteArray raw) {
    TRegLine& line = FLines.emplace_back();
    line.Kind = kind;
    line.Raw = std::move(raw);
    return line;
}

// The last line of a file may lack its terminator; anything placed after
// it needs one.
void TRegFile::TerminateLine(size_t i) {
    if (i < FLines.size() && !FLines[i].Raw.endsWith('\n'))
        FLines[i].Raw += FEol;
}

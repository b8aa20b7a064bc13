#include "RegFile.h"

#include "SecureText.h"

#include <QFile>
#include <QStringDecoder>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Far above any real settings file; a bigger one is treated as unreadable
// rather than pulled into memory.
constexpr qint64 kMaxFileSize = 32 * 1024 * 1024;

const QByteArray kNewFileHeader = "Windows Registry Editor Version 5.00";

const QString kNotText = QStringLiteral("it is not UTF-8 or UTF-16 text");
const QString kCutInCharacter = QStringLiteral("it ends in the middle of a character");

QString CutInLine(int number) {
    return QStringLiteral("it ends in the middle of line %1").arg(number);
}

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
QByteArrayView Content(QByteArrayView v) {
    if (v.endsWith('\n'))
        v.chop(1);
    if (v.endsWith('\r'))
        v.chop(1);
    return v;
}

// Text has no control characters but tab and line ends; anything else is
// taken for binary junk.
bool IsTextUnit(char32_t c) {
    return c >= 0x20 || c == u'\t' || c == u'\n' || c == u'\r';
}

// Nothing when Data are UTF-8 text, otherwise why not.
std::optional<QString> Utf8Error(QByteArrayView data) {
    const auto* b = reinterpret_cast<const unsigned char*>(data.data());
    const qsizetype n = data.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = b[i];
        if (c < 0x80) {
            if (!IsTextUnit(c))
                return kNotText;
            ++i;
            continue;
        }
        // The second byte's range rules out overlong forms, surrogates and
        // code points above U+10FFFF.
        int len = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0)
                lo = 0xA0;
            else if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0)
                lo = 0x90;
            else if (c == 0xF4)
                hi = 0x8F;
        } else {
            return kNotText;
        }
        for (int k = 1; k < len; ++k) {
            if (i + k >= n)
                return kCutInCharacter;
            const unsigned char t = b[i + k];
            if (t < (k == 1 ? lo : 0x80) || t > (k == 1 ? hi : 0xBF))
                return kNotText;
        }
        i += len;
    }
    return std::nullopt;
}

// UTF-16 text after its byte order mark, as UTF-8 with the mark in front;
// nothing, with Error set, when it is no text.
std::optional<QByteArray> Utf8FromUtf16(QByteArrayView data, bool bigEndian, QString& Error) {
    if (data.size() % 2) {
        Error = kCutInCharacter;
        return std::nullopt;
    }
    const auto* b = reinterpret_cast<const unsigned char*>(data.data());
    const qsizetype units = data.size() / 2;
    QString text(units, Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < units; ++i)
        d[i] = bigEndian ? char16_t(b[2 * i] << 8 | b[2 * i + 1])
                         : char16_t(b[2 * i] | b[2 * i + 1] << 8);
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t c = d[i];
        bool ok = IsTextUnit(c);
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 == units) {
                WipeOwned(text);
                Error = kCutInCharacter;
                return std::nullopt;
            }
            ok = QChar::isLowSurrogate(d[++i]);
        } else if (QChar::isLowSurrogate(c)) {
            ok = false;
        }
        if (!ok) {
            WipeOwned(text);
            Error = kNotText;
            return std::nullopt;
        }
    }
    QByteArray body = text.toUtf8();
    WipeOwned(text);
    QByteArray utf8;
    utf8.reserve(3 + body.size());
    utf8.append("\xEF\xBB\xBF");
    utf8.append(body);
    WipeOwned(body);
    return utf8;
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
    if (out)
        out->reserve(s.size() / 3 + 1);
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
    out.reserve(s.size()); // grown in place: no copy is left behind
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
    WipeOwned(out);
    return std::nullopt;
}

// A value's name and where its data starts, or nothing when the line is no
// value line. Name is set as soon as it could be read.
struct TValueHead {
    std::optional<QString> Name;
    qsizetype DataStart = -1;
};

TValueHead ParseValueHead(QStringView s) {
    TValueHead head;
    qsizetype pos = 0;
    if (s.startsWith(u'@')) {
        pos = 1;
        head.Name = QString();
    } else if (s.startsWith(u'"')) {
        head.Name = ParseQuoted(s, pos);
        if (!head.Name)
            return head;
    } else {
        return head;
    }
    while (pos < s.size() && IsBlank(s[pos]))
        ++pos;
    if (pos >= s.size() || s[pos] != u'=')
        return head;
    ++pos;
    while (pos < s.size() && IsBlank(s[pos]))
        ++pos;
    head.DataStart = pos;
    return head;
}

bool StartsWithHex(QStringView data) {
    return data.startsWith(u"hex", Qt::CaseInsensitive);
}

// Data whose end cannot be told from the data themselves: cut short at the
// file's end they would still read as a shorter value.
bool IsOpenEnded(QStringView data) {
    return StartsWithHex(data) || data.startsWith(u"dword:", Qt::CaseInsensitive);
}

// Fills in the value's type and text; false when the data are malformed.
bool ParseValueData(QStringView data, TRegLine& line) {
    data = TrimView(data);
    if (data.startsWith(u'"')) {
        qsizetype pos = 0;
        std::optional<QString> text = ParseQuoted(data, pos);
        if (!text)
            return false;
        if (pos != data.size()) {
            WipeOwned(*text);
            return false;
        }
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
        // UTF-16 comes in pairs of bytes; an odd count is a damaged text.
        const bool ok = ParseHexBytes(bytes, &raw) && raw.size() % 2 == 0;
        if (ok) {
            line.IsString = true;
            line.Text = StringFromUtf16Le(raw);
        }
        WipeOwned(raw);
        return ok;
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

bool EndsWithBackslash(QByteArrayView s) {
    while (!s.isEmpty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.chop(1);
    return s.endsWith('\\');
}

// Without the trailing blanks and the backslash that continues the line.
QByteArrayView WithoutBackslash(QByteArrayView s) {
    while (!s.isEmpty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.chop(1);
    if (s.endsWith('\\'))
        s.chop(1);
    return s;
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
    out.reserve(s.size() * 2);
    for (QChar c : s) {
        if (c == u'\\' || c == u'"')
            out.append(u'\\');
        out.append(c);
    }
    return out;
}

// The registry export form of a string value, terminator(s) included. Text
// with control characters goes as UTF-16LE hex so that it survives exactly.
// Every buffer is sized in advance, so that no copy of the value is left in
// memory freed on the way.
QByteArray FormatStringValue(const QString& name, const QString& value, const QByteArray& eol) {
    QByteArray line = name.isEmpty() ? QByteArray("@") : '"' + Escaped(name).toUtf8() + '"';
    line += '=';
    if (IsPlainWritable(value)) {
        QString escaped = Escaped(value);
        QByteArray utf8 = escaped.toUtf8();
        line.reserve(line.size() + utf8.size() + 2 + eol.size());
        line += '"';
        line += utf8;
        line += '"';
        line += eol;
        WipeOwned(utf8);
        WipeOwned(escaped);
        return line;
    }
    line += "hex(1):";
    const qsizetype bytes = (value.size() + 1) * 2;
    // Three columns a byte, and a continuation every 25 bytes or so.
    line.reserve(line.size() + bytes * 3 + (bytes / 20 + 1) * (3 + eol.size()) + eol.size());
    qsizetype lineStart = 0;
    auto put = [&](unsigned char b, bool last) {
        static const char digits[] = "0123456789abcdef";
        line += digits[b >> 4];
        line += digits[b & 15];
        if (last)
            return;
        line += ',';
        // Wrapped like an export: lines of at most 80 columns, continued with
        // a backslash and indented by two spaces.
        if (line.size() - lineStart >= 77) {
            line += '\\';
            line += eol;
            lineStart = line.size();
            line += "  ";
        }
    };
    for (QChar c : value) {
        put(static_cast<unsigned char>(c.unicode() & 0xFF), false);
        put(static_cast<unsigned char>(c.unicode() >> 8), false);
    }
    put(0, false);
    put(0, true);
    line += eol;
    return line;
}

} // namespace

bool IsWritableName(const QString& s) {
    return IsPlainWritable(s);
}

bool IsWritableKey(const QString& s) {
    return !s.isEmpty() && IsPlainWritable(s);
}

TRegFile::~TRegFile() {
    Clear();
}

TRegFile& TRegFile::operator=(TRegFile&& Other) noexcept {
    if (this != &Other) {
        Clear();
        FLines = std::move(Other.FLines);
        FEol = std::move(Other.FEol);
        FEncoding = Other.FEncoding;
        FError = std::move(Other.FError);
        Other.Clear();
    }
    return *this;
}

void TRegFile::Clear() {
    for (TRegLine& line : FLines) {
        WipeOwned(line.Raw);
        WipeOwned(line.Text);
    }
    FLines.clear();
    FEol = "\n";
    FEncoding = TEncoding::Utf8;
    FError.clear();
}

bool TRegFile::Fail(QString error) {
    Clear();
    FError = std::move(error);
    return false;
}

TRegFile::TState TRegFile::Load(const QString& path) {
    Clear();
    // Non-blocking, so that a pipe in the file's place does not hang the open.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return TState::Missing;
        Fail(QString::fromLocal8Bit(std::strerror(error)));
        return TState::Unreadable;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Fail(QStringLiteral("it is not a regular file"));
        return TState::Unreadable;
    }
    if (st.st_size > kMaxFileSize) {
        ::close(fd);
        Fail(QStringLiteral("it is larger than %1 MiB").arg(kMaxFileSize / (1024 * 1024)));
        return TState::Unreadable;
    }
    // One buffer of the file's size, and one byte more to see it grow; read
    // directly, so that no buffer of the library keeps a copy.
    QByteArray data(qsizetype(st.st_size) + 1, Qt::Uninitialized);
    qsizetype got = 0;
    int error = 0;
    while (got < data.size()) {
        const ssize_t n = ::read(fd, data.data() + got, size_t(data.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        got += n;
    }
    ::close(fd);
    if (error != 0 || got > st.st_size) {
        WipeOwned(data);
        Fail(error != 0 ? QString::fromLocal8Bit(std::strerror(error))
                        : QStringLiteral("it changed while it was read"));
        return TState::Unreadable;
    }
    data.truncate(got);
    const bool ok = LoadData(data);
    WipeOwned(data);
    return ok ? TState::Loaded : TState::Unreadable;
}

bool TRegFile::LoadData(const QByteArray& data) {
    Clear();
    const QByteArrayView v(data);
    if (v.startsWith("\xFF\xFE") || v.startsWith("\xFE\xFF")) {
        const bool bigEndian = v.startsWith("\xFE\xFF");
        QString error;
        std::optional<QByteArray> utf8 = Utf8FromUtf16(v.sliced(2), bigEndian, error);
        if (!utf8)
            return Fail(std::move(error));
        const bool ok = Parse(*utf8);
        WipeOwned(*utf8);
        if (ok)
            FEncoding = bigEndian ? TEncoding::Utf16Be : TEncoding::Utf16Le;
        return ok;
    }
    if (std::optional<QString> error = Utf8Error(v))
        return Fail(std::move(*error));
    return Parse(data);
}

QByteArray TRegFile::Serialize() const {
    qsizetype size = 0;
    for (const TRegLine& line : FLines)
        size += line.Raw.size();
    QByteArray out;
    out.reserve(size);
    for (const TRegLine& line : FLines)
        out += line.Raw;
    if (FEncoding == TEncoding::Utf8)
        return out;
    // Read as UTF-16, written as UTF-16. The byte order mark, kept as UTF-8
    // in the first line, goes back as one.
    const bool bigEndian = FEncoding == TEncoding::Utf16Be;
    const bool mark = out.startsWith("\xEF\xBB\xBF");
    // A second mark is text; the decoder would drop it unasked.
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QString text = decode(QByteArrayView(out).sliced(mark ? 3 : 0));
    WipeOwned(out);
    const qsizetype at = mark ? 1 : 0;
    QByteArray utf16((at + text.size()) * 2, Qt::Uninitialized);
    auto put = [&](qsizetype i, char16_t c) {
        utf16[2 * i + (bigEndian ? 1 : 0)] = char(c & 0xFF);
        utf16[2 * i + (bigEndian ? 0 : 1)] = char(c >> 8);
    };
    if (mark)
        put(0, 0xFEFF);
    for (qsizetype i = 0; i < text.size(); ++i)
        put(at + i, text[i].unicode());
    WipeOwned(text);
    return utf16;
}

bool TRegFile::HasKey(const QString& key) const {
    for (const TRegLine& line : FLines)
        if (line.Kind == TRegLineKind::Section && SameName(line.Name, key))
            return true;
    return false;
}

const TRegLine* TRegFile::Find(const QString& key, const QString& name) const {
    const std::optional<size_t> at = LastDefinition(key, name);
    return at ? &FLines[*at] : nullptr;
}

const TRegLine* TRegFile::Damaged(const QString& key, const QString& name) const {
    bool inKey = false;
    for (const TRegLine& line : FLines) {
        if (line.Kind == TRegLineKind::Section)
            inKey = SameName(line.Name, key);
        else if (inKey && line.Kind == TRegLineKind::Other &&
                 (!line.NameKnown || SameName(line.Name, name)))
            return &line;
    }
    return nullptr;
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
        line.NameKnown = true;
        line.Number = FLines[*at].Number;
        line.Raw = FormatStringValue(line.Name, value, FEol);
        WipeOwned(FLines[*at].Raw);
        WipeOwned(FLines[*at].Text);
        FLines[*at] = std::move(line);
        return;
    }
    AddKey(key);
    line.Name = name;
    line.NameKnown = true;
    line.Raw = FormatStringValue(name, value, FEol);
    const size_t at = InsertionPoint(key);
    TerminateLine(at - 1);
    FLines.insert(FLines.begin() + std::ptrdiff_t(at), std::move(line));
}

bool TRegFile::Parse(const QByteArray& data) {
    // Views into Data: only the lines themselves are copied.
    std::vector<QByteArrayView> physical;
    for (qsizetype pos = 0; pos < data.size();) {
        qsizetype nl = data.indexOf('\n', pos);
        nl = nl < 0 ? data.size() : nl + 1;
        physical.push_back(QByteArrayView(data).sliced(pos, nl - pos));
        pos = nl;
    }
    if (!physical.empty() && physical.front().endsWith("\r\n"))
        FEol = "\r\n";

    for (size_t i = 0; i < physical.size(); ++i) {
        TRegLine line;
        line.Number = int(i + 1);
        QByteArrayView content = Content(physical[i]);
        if (i == 0 && content.startsWith("\xEF\xBB\xBF"))
            content = content.sliced(3);
        QString text = QString::fromUtf8(content);
        const QStringView t = TrimView(text);
        // Set when the line is cut off by the end of the file.
        bool cut = false;
        if (t.isEmpty()) {
            line.Kind = TRegLineKind::Blank;
        } else if (t.startsWith(u';')) {
            line.Kind = TRegLineKind::Comment;
        } else if (t.startsWith(u'[')) {
            // The lines after a damaged key name belong to no known key:
            // one of them might be a value that is looked for.
            if (t.size() < 2 || !t.endsWith(u']')) {
                WipeOwned(text);
                return Fail(
                    i + 1 == physical.size() && !physical[i].endsWith('\n')
                        ? CutInLine(int(i + 1))
                        : QStringLiteral("the key name on line %1 is damaged").arg(line.Number));
            }
            line.Kind = TRegLineKind::Section;
            line.Name = t.mid(1, t.size() - 2).toString();
        } else if (TValueHead head = ParseValueHead(t); head.Name) {
            line.Name = std::move(*head.Name);
            line.NameKnown = true;
            if (head.DataStart >= 0) {
                QStringView first = t.mid(head.DataStart);
                size_t last = i;
                bool continued = false;
                if (StartsWithHex(first)) {
                    while (EndsWithBackslash(Content(physical[last])) &&
                           last + 1 < physical.size() &&
                           IsHexContinuation(Content(physical[last + 1])))
                        ++last;
                    continued = EndsWithBackslash(Content(physical[last]));
                }
                QString data;
                if (last == i) {
                    data = first.toString();
                } else {
                    qsizetype size = first.size();
                    for (size_t k = i + 1; k <= last; ++k)
                        size += physical[k].size();
                    data.reserve(size);
                    data += first;
                    data.chop(1); // the backslash, which ends the first line's view
                    for (size_t k = i + 1; k <= last; ++k) {
                        const QByteArrayView piece = Content(physical[k]);
                        data += QLatin1StringView(k < last ? WithoutBackslash(piece) : piece);
                    }
                }
                const bool atEnd = last + 1 == physical.size();
                if (continued && atEnd)
                    cut = true; // the continuation never came
                else if (atEnd && !physical[last].endsWith('\n') && IsOpenEnded(TrimView(data)))
                    cut = true;
                else if (!continued && ParseValueData(data, line))
                    line.Kind = TRegLineKind::Value;
                // Otherwise damaged; a continuation cut short by another line
                // among them.
                WipeOwned(data);
                line.Raw = QByteArrayView(physical[i].data(), physical[last].data() +
                                                                  physical[last].size() -
                                                                  physical[i].data())
                               .toByteArray();
                i = last;
            }
        }
        // A value line that is damaged at the very end of a file without a
        // last line break was most likely cut off there.
        if (line.Kind == TRegLineKind::Other && (t.startsWith(u'"') || t.startsWith(u'@')) &&
            i + 1 == physical.size() && !physical[i].endsWith('\n'))
            cut = true;
        WipeOwned(text);
        if (cut) {
            WipeOwned(line.Text);
            return Fail(CutInLine(int(i + 1)));
        }
        if (line.Raw.isEmpty())
            line.Raw = physical[i].toByteArray();
        FLines.push_back(std::move(line));
    }
    return true;
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

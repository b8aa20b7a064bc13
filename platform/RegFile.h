#pragma once
// The settings store's file, in the registry export format, as a list of
// logical lines. Lines that are not changed are written back byte for byte.
// Readable from bytes, so that its parser can be checked without a file.
//
// The file holds the crypt string, so every buffer that held its bytes is
// wiped when it is let go.

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

enum class TRegLineKind { Blank, Comment, Section, Value, Other };

// One logical line: a single physical line, or a hex value continued over
// several. Raw keeps the bytes exactly as read (as UTF-8 when the file is
// UTF-16), terminators included, so that a rewrite reproduces every line it
// did not change.
struct TRegLine {
    QByteArray Raw;
    TRegLineKind Kind = TRegLineKind::Other;
    int Number = 0; // of its first physical line, from 1
    // Key name of a section, value name of a value. An Other line whose name
    // could be read (a damaged value) has NameKnown; one without may have
    // been meant for any value.
    QString Name;
    bool NameKnown = false;
    bool IsString = false;
    QString Text; // data of a string value
};

class TRegFile {
public:
    enum class TState { Missing, Loaded, Unreadable };
    enum class TEncoding { Utf8, Utf16Le, Utf16Be };

    TRegFile() = default;
    ~TRegFile();
    TRegFile(TRegFile&&) = default;
    // The lines replaced are wiped first.
    TRegFile& operator=(TRegFile&& Other) noexcept;
    TRegFile(const TRegFile&) = delete;
    TRegFile& operator=(const TRegFile&) = delete;

    // A file that is not a regular file, cannot be read, is too large to be
    // a settings file or is damaged as a whole (LoadData) is Unreadable, and
    // Error() tells why. A missing file loads as an empty one.
    TState Load(const QString& path);
    // Replaces the lines with those of Data. False, with no lines and Error()
    // set, when Data are not a settings file's text: neither UTF-8 nor UTF-16
    // (with its byte order mark), cut off in the middle of a line or a
    // character, or with a damaged key name, which leaves every line after it
    // without a known key.
    bool LoadData(const QByteArray& data);
    // Why the last load failed, as the end of a sentence.
    const QString& Error() const { return FError; }
    // The file's bytes, in the encoding it was read in.
    QByteArray Serialize() const;
    TEncoding Encoding() const { return FEncoding; }

    bool HasKey(const QString& key) const;
    // The value's last definition within the key; later ones override, as on
    // import.
    const TRegLine* Find(const QString& key, const QString& name) const;
    // The first line in the key that is damaged and may have been meant to
    // define the value; null when there is none. While there is one, the
    // value's definitions cannot be trusted.
    const TRegLine* Damaged(const QString& key, const QString& name) const;
    void AddKey(const QString& key);
    void SetString(const QString& key, const QString& name, const QString& value);

private:
    void Clear();
    bool Parse(const QByteArray& utf8);
    bool Fail(QString error);
    std::optional<size_t> LastDefinition(const QString& key, const QString& name) const;
    size_t InsertionPoint(const QString& key) const;
    TRegLine& Append(TRegLineKind kind, QByteArray raw);
    void TerminateLine(size_t i);

    std::vector<TRegLine> FLines;
    QByteArray FEol = "\n";
    TEncoding FEncoding = TEncoding::Utf8;
    QString FError;
};

// Names that the file can hold as they are: no line breaks, no control
// characters, no unpaired surrogates; a key name is not empty.
bool IsWritableName(const QString& s);
bool IsWritableKey(const QString& s);

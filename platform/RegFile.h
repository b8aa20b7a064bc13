#pragma once
// The settings store's file, in the registry export format, as a list of
// logical lines. Lines that are not changed are written back byte for byte.
// Readable from bytes, so that its parser can be checked without a file.

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

enum class TRegLineKind { Blank, Comment, Section, Value, Other };

// One logical line: a single physical line, or a hex value continued over
// several. Raw keeps the bytes exactly as read, terminators included, so that
// a rewrite reproduces every line it did not change.
struct TRegLine {
    QByteArray Raw;
    TRegLineKind Kind = TRegLineKind::Other;
    QString Name; // key name of a section, value name of a value
    bool IsString = false;
    QString Text; // data of a string value
};

class TRegFile {
public:
    enum class TState { Missing, Loaded, Unreadable };

    // A file that is not a regular file, cannot be read or is too large to
    // be a settings file is Unreadable.
    TState Load(const QString& path);
    // Replaces the lines with those of Data.
    void LoadData(const QByteArray& data);
    QByteArray Serialize() const;

    bool HasKey(const QString& key) const;
    // The value's last definition within the key; later ones override, as on
    // import.
    const TRegLine* Find(const QString& key, const QString& name) const;
    void AddKey(const QString& key);
    void SetString(const QString& key, const QString& name, const QString& value);

private:
    void Parse(const QByteArray& data);
    std::optional<size_t> LastDefinition(const QString& key, const QString& name) const;
    size_t InsertionPoint(const QString& key) const;
    TRegLine& Append(TRegLineKind kind, QByteArray raw);
    void TerminateLine(size_t i);

    std::vector<TRegLine> FLines;
    QByteArray FEol = "\n";
};

// Names that the file can hold as they are: no line breaks, no control
// characters, no unpaired surrogates; a key name is not empty.
bool IsWritableName(const QString& s);
bool IsWritableKey(const QString& s);

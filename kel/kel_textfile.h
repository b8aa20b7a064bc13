#pragma once
// The text files of the persistence layer: 8-bit text in the system's code
// page (Windows-1252), lines ending in CR LF. A file is read from bytes held
// in memory, or written into memory and then stored whole.

#include "Exception.h"

#include <QByteArray>
#include <QString>

// A text file that ended too early.
class EInOutError : public Exception {
public:
    using Exception::Exception;
};

class TTextFile {
public:
    // A file open for writing; what is written collects in Data().
    TTextFile();
    // A file open for reading over Data.
    explicit TTextFile(QByteArray Data);
    // The whole content of a regular file, open for reading; EFOpenError when
    // the file cannot be read.
    static TTextFile Open(const QString& FileName);
    // Replaces FileName's content with Data() in one step: a failure leaves the
    // old file as it was and raises EFileError (ReplaceFileContent).
    void SaveAs(const QString& FileName) const;

    bool Eof() const { return FPos >= FData.size(); }
    // The rest of the current line; the file moves on to the next line. A line
    // ends at CR LF, LF or CR.
    QString ReadLine();
    // Moves on to the next line.
    void ReadLn();
    // The next decimal integer: blanks and line ends before it are skipped, and
    // it ends at the next blank or control character. Text that is not a
    // decimal integer raises EConvertError naming it; the end of the file
    // raises EInOutError "Read beyond end of file".
    int ReadInteger();

    void Write(const QString& Text);
    void WriteLn(const QString& Text = QString());

    const QByteArray& Data() const { return FData; }

    // The bytes not yet read.
    qsizetype BytesLeft() const { return FData.size() - FPos; }

private:
    void SkipLineEnd();

    QByteArray FData;
    qsizetype FPos = 0;
};

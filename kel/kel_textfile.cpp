#include "kel_textfile.h"

#include "AnsiCodePage.h"
#include "LockedFile.h"
#include "Stream.h"
#include "kel_utils.h"

namespace {
bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}
// Blanks and control characters end a number.
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}
} // namespace

TTextFile::TTextFile() = default;

TTextFile::TTextFile(QByteArray Data) : FData(std::move(Data)) {}

TTextFile TTextFile::Open(const QString& FileName) {
    TFileStream file(FileName, TFileStreamMode::OpenRead);
    QByteArray data(qsizetype(file.Size()), Qt::Uninitialized);
    file.ReadBuffer(data.data(), data.size());
    return TTextFile(std::move(data));
}

void TTextFile::SaveAs(const QString& FileName) const {
    ReplaceFileContent(FileName, FData);
}

void TTextFile::SkipLineEnd() {
    if (FPos < FData.size() && FData[FPos] == '\r')
        ++FPos;
    if (FPos < FData.size() && FData[FPos] == '\n')
        ++FPos;
}

QString TTextFile::ReadLine() {
    const qsizetype start = FPos;
    while (FPos < FData.size() && !IsLineEnd(FData[FPos]))
        ++FPos;
    const QString line = UnicodeFromAnsi(std::string_view(FData.constData() + start, FPos - start));
    SkipLineEnd();
    return line;
}

void TTextFile::ReadLn() {
    while (FPos < FData.size() && !IsLineEnd(FData[FPos]))
        ++FPos;
    SkipLineEnd();
}

int TTextFile::ReadInteger() {
    while (FPos < FData.size() && IsBlank(FData[FPos]))
        ++FPos;
    if (Eof())
        throw EInOutError("Read beyond end of file");
    const qsizetype start = FPos;
    while (FPos < FData.size() && !IsBlank(FData[FPos]))
        ++FPos;
    return StrToInt(UnicodeFromAnsi(std::string_view(FData.constData() + start, FPos - start)));
}

void TTextFile::Write(const QString& Text) {
    FData += QByteArray::fromStdString(AnsiFromUnicode(Text));
}

void TTextFile::WriteLn(const QString& Text) {
    Write(Text);
    FData += "\r\n";
}

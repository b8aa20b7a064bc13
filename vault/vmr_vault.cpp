#include "vmr_vault.h"

#include "cCipherAES.h"

#include <QBuffer>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

const std::string VaultKey = "Kq7!vT2#Lm9%Rx4$";

namespace {
// Decrypts whole blocks without dropping anything, so that a title's own
// trailing spaces survive; a short last block is completed with zero bytes.
class TTitleDecrypter {
public:
    TTitleDecrypter() {
        AESInitContext(FContext, 128);
        AESExpandKey(FContext, VaultKey.data(), static_cast<int>(VaultKey.size()));
    }
    ~TTitleDecrypter() { AESWipeContext(FContext); }
    TTitleDecrypter(const TTitleDecrypter&) = delete;
    TTitleDecrypter& operator=(const TTitleDecrypter&) = delete;

    // Only the zero bytes that completed the last block are dropped, with any
    // zero bytes before them: a title never ends in U+0000 on purpose, and
    // TrimStr puts back the high byte of a last character below U+0100.
    QString Title(const QByteArray& Data) {
        std::string plain(static_cast<size_t>(Data.size() + 15) / 16 * 16, '\0');
        char block[16];
        for (qsizetype at = 0; at < Data.size(); at += 16) {
            std::memset(block, 0, sizeof block);
            std::memcpy(block, Data.constData() + at, std::min<qsizetype>(16, Data.size() - at));
            AESContextDecrypt(FContext, block, 16, &plain[at], 16);
        }
        plain.erase(plain.find_last_not_of('\0') + 1);
        return TrimStr(plain);
    }

private:
    TAESContext FContext;
};

class TVaultReader {
public:
    TVaultReader(QIODevice& In, const QString& FileName)
        : FIn(In), FFileName(FileName), FSize(In.size()) {}

    void Read(const TAddPage& AddPage) {
        const qint32 count = ReadInt(QStringLiteral("the file ends before the page count"));
        if (count < 0)
            throw EVaultDamaged(FFileName, 0, QStringLiteral("the page count is negative"));
        TTitleDecrypter titles;
        FPages = count;
        for (qint32 i = 0; i < count; ++i) {
            FPage = i + 1;
            std::unique_ptr<TPage> page(KelNewCreated<TPage>());
            page->SetTitle(titles.Title(ReadField()));
            const std::string text = DecryptText(VaultKey, ReadField().toStdString());
            page->SetText(QByteArray::fromStdString(text));
            AddPage(page.release());
        }
    }

private:
    [[noreturn]] void Damaged(qint64 At, const QString& Reason) {
        // A device error is not damage: the file may read well next time.
        if (auto* file = qobject_cast<QFileDevice*>(&FIn); file && file->error())
            throw EFileError(FileErrorText("Cannot read file", FFileName, file->errorString()));
        throw EVaultDamaged(FFileName, At, Reason);
    }

    QString PageText() const { return QStringLiteral("page %1 of %2").arg(FPage).arg(FPages); }

    qint32 ReadInt(const QString& Reason) {
        const qint64 at = FIn.pos();
        char bytes[4];
        if (FIn.read(bytes, 4) != 4)
            Damaged(at, Reason);
        return qFromLittleEndian<qint32>(bytes);
    }

    // A length and the bytes it counts. The length is checked against what
    // the file still holds before anything is allocated for it.
    QByteArray ReadField() {
        const qint64 at = FIn.pos();
        const qint32 length = ReadInt(QStringLiteral("the file ends inside ") + PageText());
        if (length < 0)
            Damaged(at, QStringLiteral("a length in %1 is negative").arg(PageText()));
        if (length > FSize - FIn.pos())
            Damaged(at, PageText() + QStringLiteral(" runs past the end of the file"));
        QByteArray bytes = FIn.read(length);
        if (bytes.size() != length)
            Damaged(at, QStringLiteral("the file ends inside ") + PageText());
        return bytes;
    }

    QIODevice& FIn;
    const QString& FFileName;
    const qint64 FSize;
    qint32 FPage = 0;
    qint32 FPages = 0;
};

void AppendInt(QByteArray& Out, qint32 Value) {
    char bytes[4];
    qToLittleEndian(Value, bytes);
    Out.append(bytes, 4);
}

void AppendField(QByteArray& Out, const std::string& Encrypted) {
    if (Encrypted.size() > size_t(INT_MAX))
        throw Exception("A page is too large for the vault file.");
    AppendInt(Out, static_cast<qint32>(Encrypted.size()));
    Out.append(Encrypted.data(), static_cast<qsizetype>(Encrypted.size()));
}

std::string TitleBytes(const QString& Title) {
    std::string bytes(static_cast<size_t>(Title.size()) * 2, '\0');
    for (qsizetype i = 0; i < Title.size(); ++i)
        qToLittleEndian(Title[i].unicode(), &bytes[size_t(i) * 2]);
    return bytes;
}
} // namespace

EVaultDamaged::EVaultDamaged(const QString& FileName, qint64 Offset, const QString& Reason)
    : Exception(QStringLiteral("The vault file \"%1\" is damaged at byte %2: %3.")
                    .arg(FileName)
                    .arg(Offset)
                    .arg(Reason)
                    .toStdString()),
      FFileName(FileName), FOffset(Offset) {}

QString VaultFileName(const QString& ExePath) {
    const qsizetype dot = ExePath.lastIndexOf(u'.');
    const qsizetype stem = dot > ExePath.lastIndexOf(u'/') ? dot : ExePath.size();
    return ExePath.left(stem) + QStringLiteral(".pgs");
}

void ReadVaultFile(const QString& FileName, const TAddPage& AddPage) {
    const TLockedFile held(FileName, TLockedFile::TAccess::Read);
    QFile in;
    if (!in.open(held.Handle(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        throw EFileError(FileErrorText("Cannot open file", FileName, in.errorString()));
    TVaultReader(in, FileName).Read(AddPage);
}

void ReadVaultData(const QByteArray& Data, const QString& FileName, const TAddPage& AddPage) {
    QBuffer in;
    in.setData(Data);
    in.open(QIODevice::ReadOnly);
    TVaultReader(in, FileName).Read(AddPage);
}

QByteArray VaultData(const TPageList& Pages, int N) {
    if (N < 0)
        throw EListError("List count out of bounds (" + std::to_string(N) + ")");
    QByteArray out;
    AppendInt(out, N);
    for (int i = 0; i < N; ++i) {
        const TPage* page = Pages.GetPages(i);
        if (!page)
            throw Exception("Entry " + std::to_string(i) + " of the page list is not a page.");
        AppendField(out, EncryptText(VaultKey, TitleBytes(page->Title())));
        AppendField(out, EncryptText(VaultKey, page->Text().toStdString()));
    }
    return out;
}

void WriteVaultFile(const QString& FileName, const TPageList& Pages, int N, TFlush Flush) {
    ReplaceFileContent(FileName, VaultData(Pages, N), Flush);
}

QString TrimStr(const std::string& s) {
    const auto byte = [&s](size_t i) -> char16_t {
        return i < s.size() ? static_cast<unsigned char>(s[i]) : 0;
    };
    QString result(static_cast<qsizetype>((s.size() + 1) / 2), Qt::Uninitialized);
    QChar* units = result.data();
    for (qsizetype k = 0; k < result.size(); ++k)
        units[k] = QChar(char16_t(byte(2 * k) | byte(2 * k + 1) << 8));
    return result;
}

#include "vmr_vault.h"

#include "cCipherAES.h"

#include <QBuffer>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

const std::string VaultKey = "Kq7!vT2#Lm9%Rx4$";

namespace {
class TVaultReader {
public:
    TVaultReader(QIODevice& In, const QString& FileName, TContentHash* Hash = nullptr)
        : FIn(In), FFileName(FileName), FSize(In.size()), FHash(Hash) {}

    void Read(const TAddPage& AddPage) {
        const qint32 count = ReadInt(QStringLiteral("the file ends before the page count"));
        if (count < 0)
            throw EVaultDamaged(FFileName, 0, QStringLiteral("the page count is negative"));
        FPages = count;
        for (qint32 i = 0; i < count; ++i) {
            FPage = i + 1;
            std::unique_ptr<TPage> page(KelNewCreated<TPage>());
            // Only the zero bytes that completed the last block are dropped
            // from a title, with any zero bytes before them, so that its own
            // trailing spaces survive: a title never ends in U+0000 on
            // purpose, and TrimStr puts back the high byte of a last
            // character below U+0100.
            QByteArray title = ReadField();
            qsizetype n = title.size();
            while (n > 0 && title[n - 1] == '\0')
                --n;
            page->SetTitle(TrimStr(std::string(title.constData(), size_t(n))));
            QByteArray text = ReadField();
            text.truncate(qsizetype(TrimmedSize(text.constData(), size_t(text.size()))));
            page->SetText(text);
            AddPage(page.release());
        }
        if (FHash)
            HashRest();
    }

private:
    [[noreturn]] void Damaged(qint64 At, const QString& Reason) {
        // A device error is not damage: the file may read well next time.
        if (auto* file = qobject_cast<QFileDevice*>(&FIn); file && file->error())
            throw EFileError(FileErrorText("Cannot read file", FFileName, file->errorString()));
        throw EVaultDamaged(FFileName, At, Reason);
    }

    // Bytes past the last record count for the file's identity as well.
    void HashRest() {
        char rest[4096];
        for (qint64 n; (n = FIn.read(rest, sizeof rest)) > 0;)
            FHash->Add(rest, n);
        if (auto* file = qobject_cast<QFileDevice*>(&FIn); file && file->error())
            throw EFileError(FileErrorText("Cannot read file", FFileName, file->errorString()));
    }

    QString PageText() const { return QStringLiteral("page %1 of %2").arg(FPage).arg(FPages); }

    qint32 ReadInt(const QString& Reason) {
        const qint64 at = FIn.pos();
        char bytes[4];
        if (FIn.read(bytes, 4) != 4)
            Damaged(at, Reason);
        if (FHash)
            FHash->Add(bytes, 4);
        return qFromLittleEndian<qint32>(bytes);
    }

    // A length and the bytes it counts, decrypted where they were read, a
    // short last block completed with zero bytes. The length is checked
    // against what the file still holds before anything is allocated for it.
    QByteArray ReadField() {
        const qint64 at = FIn.pos();
        const qint32 length = ReadInt(QStringLiteral("the file ends inside ") + PageText());
        if (length < 0)
            Damaged(at, QStringLiteral("a length in %1 is negative").arg(PageText()));
        if (length > FSize - FIn.pos())
            Damaged(at, PageText() + QStringLiteral(" runs past the end of the file"));
        QByteArray bytes(qsizetype(EncryptedSize(size_t(length))), Qt::Uninitialized);
        if (FIn.read(bytes.data(), length) != length)
            Damaged(at, QStringLiteral("the file ends inside ") + PageText());
        if (FHash)
            FHash->Add(bytes.constData(), length);
        FKey.Decrypt(bytes.constData(), size_t(length), bytes.data());
        return bytes;
    }

    QIODevice& FIn;
    const QString& FFileName;
    const qint64 FSize;
    TContentHash* FHash;
    qint32 FPage = 0;
    qint32 FPages = 0;
    TAESTextKey FKey{VaultKey};
};

// The encrypted length of a field, checked against the file's 32-bit lengths.
qsizetype FieldSize(qsizetype PlainBytes) {
    const size_t n = EncryptedSize(size_t(PlainBytes));
    if (n > size_t(INT_MAX))
        throw Exception("A page is too large for the vault file.");
    return qsizetype(n);
}

// Encrypts the vault's fields into a small buffer that is handed on whenever
// it fills: a large vault needs no second copy of itself in memory, and the
// buffer is small enough to be reused rather than mapped afresh.
class TVaultWriter {
public:
    explicit TVaultWriter(const TPutBytes& Put) : FPut(Put), FKey(VaultKey) {}
    ~TVaultWriter() { SecureZero(FBuffer.get(), kChunk); }
    TVaultWriter(const TVaultWriter&) = delete;
    TVaultWriter& operator=(const TVaultWriter&) = delete;

    void Int(qint32 Value) {
        if (FUsed + 4 > kChunk)
            Flush();
        qToLittleEndian(Value, FBuffer.get() + FUsed);
        FUsed += 4;
    }

    // The length and the encrypted bytes; ECB lets a long field go in pieces
    // of whole blocks.
    void Field(const char* Plain, qsizetype Size) {
        Int(qint32(FieldSize(Size)));
        while (Size > 0) {
            if (FUsed + 16 > kChunk)
                Flush();
            const qsizetype piece = std::min<qsizetype>(Size, (kChunk - FUsed) / 16 * 16);
            char* at = FBuffer.get() + FUsed;
            std::memcpy(at, Plain, size_t(piece));
            FKey.Encrypt(at, size_t(piece), at);
            FUsed += qsizetype(EncryptedSize(size_t(piece)));
            Plain += piece;
            Size -= piece;
        }
    }

    void Flush() {
        if (FUsed > 0)
            FPut(FBuffer.get(), FUsed);
        FUsed = 0;
    }

private:
    static constexpr qsizetype kChunk = 64 * 1024;
    const TPutBytes& FPut;
    TAESTextKey FKey;
    std::unique_ptr<char[]> FBuffer{new char[kChunk]};
    qsizetype FUsed = 0;
};

// The first N pages and the vault's size, after checking every entry and
// length, so that a list that cannot be written fails before anything is.
struct TVaultPages {
    std::vector<const TPage*> Pages;
    qsizetype Size = 4;
};

TVaultPages VaultPages(const TPageList& Pages, int N) {
    if (N < 0)
        throw EListError("List count out of bounds (" + std::to_string(N) + ")");
    TVaultPages vault;
    vault.Pages.reserve(size_t(N));
    for (int i = 0; i < N; ++i) {
        const TPage* page = Pages.GetPages(i);
        if (!page)
            throw Exception("Entry " + std::to_string(i) + " of the page list is not a page.");
        vault.Size += 8 + FieldSize(page->Title().size() * 2) + FieldSize(page->Text().size());
        vault.Pages.push_back(page);
    }
    return vault;
}

void PutVault(const std::vector<const TPage*>& Pages, const TPutBytes& Put) {
    TVaultWriter out(Put);
    out.Int(qint32(Pages.size()));
    std::string title;
    for (const TPage* page : Pages) {
        title.resize(size_t(page->Title().size()) * 2);
        for (qsizetype k = 0; k < page->Title().size(); ++k)
            qToLittleEndian(page->Title()[k].unicode(), &title[size_t(k) * 2]);
        out.Field(title.data(), qsizetype(title.size()));
        out.Field(page->Text().constData(), page->Text().size());
    }
    out.Flush();
    SecureZero(title);
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

void ReadVaultFile(const QString& FileName, const TAddPage& AddPage, TFileIdentity* Identity) {
    const TLockedFile held(FileName, TLockedFile::TAccess::Read);
    QFile in;
    if (!in.open(held.Handle(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        throw EFileError(FileErrorText("Cannot open file", FileName, in.errorString()));
    // The hash is taken over the encrypted bytes as they arrive, before they
    // are decrypted in place: the file is not read twice.
    TContentHash hash;
    TVaultReader(in, FileName, Identity ? &hash : nullptr).Read(AddPage);
    if (Identity)
        *Identity = IdentityOfHandle(held.Handle(), hash.Value());
}

void ReadVaultData(const QByteArray& Data, const QString& FileName, const TAddPage& AddPage) {
    QBuffer in;
    in.setData(Data);
    in.open(QIODevice::ReadOnly);
    TVaultReader(in, FileName).Read(AddPage);
}

QByteArray VaultData(const TPageList& Pages, int N) {
    const TVaultPages vault = VaultPages(Pages, N);
    QByteArray out;
    out.reserve(vault.Size);
    PutVault(vault.Pages, [&out](const char* Data, qsizetype Size) { out.append(Data, Size); });
    return out;
}

void WriteVaultFile(const QString& FileName, const TPageList& Pages, int N, TFlush Flush,
                    const TReplaceCheck& Check) {
    const TVaultPages vault = VaultPages(Pages, N);
    ReplaceFileContent(
        FileName, [&](const TPutBytes& Put) { PutVault(vault.Pages, Put); }, Flush, Check);
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

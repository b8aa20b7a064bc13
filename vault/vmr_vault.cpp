#include "vmr_vault.h"

#include "FileFaults.h"
#include "cCipherAES.h"
#include "cCipherUtils.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

const std::string VaultKey = "Kq7!vT2#Lm9%Rx4$";

namespace {
// Reads the vault from its bytes in memory, or from a file through a window
// that slides along it; each field is decrypted from there straight into the
// page that keeps it.
class TVaultReader {
public:
    TVaultReader(QByteArrayView Data, const QString& FileName)
        : FFileName(FileName), FSize(Data.size()), FWindow(Data.data()), FEnd(Data.size()) {}
    TVaultReader(QFile& In, const QString& FileName, TContentHash* Hash = nullptr)
        : FIn(&In), FFileName(FileName), FSize(In.size()), FBuffer(new char[kWindow]),
          FWindow(FBuffer.get()), FHash(Hash) {}

    void Read(const TAddPage& AddPage) {
        const qint32 count = ReadInt(QStringLiteral("the file ends before the page count"));
        if (count < 0)
            throw EVaultDamaged(FFileName, 0, QStringLiteral("the page count is negative"));
        FPages = count;
        std::string title;
        for (qint32 i = 0; i < count; ++i) {
            FPage = i + 1;
            std::unique_ptr<TPage> page(KelNewCreated<TPage>());
            // Only the zero bytes that completed the last block are dropped
            // from a title, with any zero bytes before them, so that its own
            // trailing spaces survive: a title never ends in U+0000 on
            // purpose, and TrimStr puts back the high byte of a last
            // character below U+0100.
            const qint64 titleAt = FPos;
            const qint32 titleBytes = FieldLength();
            title.resize(EncryptedSize(size_t(titleBytes)));
            Decrypt(titleAt, titleBytes, title.data());
            size_t n = title.size();
            while (n > 0 && title[n - 1] == '\0')
                --n;
            page->SetTitle(TrimStr(std::string_view(title.data(), n)));
            const qint64 textAt = FPos;
            const qint32 textBytes = FieldLength();
            QByteArray text(qsizetype(EncryptedSize(size_t(textBytes))), Qt::Uninitialized);
            Decrypt(textAt, textBytes, text.data());
            text.truncate(qsizetype(TrimmedSize(text.constData(), size_t(text.size()))));
            page->SetText(text);
            AddPage(page.release());
        }
        SecureZero(title);
        if (FHash)
            HashRest();
    }

private:
    // Small enough to stay in the processor's cache while it is decrypted.
    static constexpr qsizetype kWindow = 256 * 1024;

    [[noreturn]] void Damaged(qint64 At, const QString& Reason) {
        // A device error is not damage: the file may read well next time.
        if (FIn && FIn->error() != QFileDevice::NoError)
            CannotRead(FIn->errorString());
        throw EVaultDamaged(FFileName, At, Reason);
    }

    [[noreturn]] void CannotRead(const QString& Reason) {
        throw EFileError(FileErrorText("Cannot read file", FFileName, Reason));
    }

    // Up to Max bytes of the file, 0 at its end; a read that fails raises
    // EFileError, never damage.
    qint64 ReadIn(char* To, qint64 Max) {
        if (const int error = InjectedFileError(TFileCall::Read))
            CannotRead(QString::fromLocal8Bit(std::strerror(error)));
        const qint64 got = FIn->read(To, Max);
        if (got < 0)
            CannotRead(FIn->errorString());
        return got;
    }

    // Bytes past the last record count for the file's identity as well.
    void HashRest() {
        char rest[4096];
        for (qint64 n; (n = ReadIn(rest, sizeof rest)) > 0;)
            FHash->Add(rest, n);
    }

    QString PageText() const { return QStringLiteral("page %1 of %2").arg(FPage).arg(FPages); }

    // The bytes from FPos that the window holds.
    qsizetype Held() const { return FEnd - (FPos - FBase); }
    const char* At() const { return FWindow + (FPos - FBase); }

    // Makes the window hold at least N bytes (at most kWindow) from FPos on;
    // false when the file ends first.
    bool Hold(qsizetype N) {
        if (Held() >= N)
            return true;
        if (!FIn)
            return false;
        const qsizetype kept = Held();
        std::memmove(FBuffer.get(), At(), size_t(kept));
        FBase = FPos;
        FEnd = kept;
        while (FEnd < N) {
            const qint64 got = ReadIn(FBuffer.get() + FEnd, kWindow - FEnd);
            if (got == 0)
                return false;
            // Every byte enters the window once, in file order: the hash of
            // the file's identity is taken here, before decryption.
            if (FHash)
                FHash->Add(FBuffer.get() + FEnd, got);
            FEnd += qsizetype(got);
        }
        return true;
    }

    qint32 ReadInt(const QString& Reason) {
        if (!Hold(4))
            Damaged(FPos, Reason);
        const qint32 value = qFromLittleEndian<qint32>(At());
        FPos += 4;
        return value;
    }

    // A field's length, checked against what the file still holds before
    // anything is allocated for it.
    qint32 FieldLength() {
        const qint64 at = FPos;
        const qint32 length = ReadInt(QStringLiteral("the file ends inside ") + PageText());
        if (length < 0)
            Damaged(at, QStringLiteral("a length in %1 is negative").arg(PageText()));
        if (length > FSize - FPos)
            Damaged(at, PageText() + QStringLiteral(" runs past the end of the file"));
        return length;
    }

    // The Length bytes of the field that starts at FieldAt, decrypted into
    // Out, which holds EncryptedSize(Length) bytes: a short last block is
    // completed with zero bytes. ECB lets a field go in pieces of whole blocks.
    void Decrypt(qint64 FieldAt, qint32 Length, char* Out) {
        qsizetype rest = Length;
        while (rest > 0) {
            if (Held() < rest && Held() < 16 && !Hold(std::min(rest, kWindow)))
                Damaged(FieldAt, QStringLiteral("the file ends inside ") + PageText());
            const qsizetype piece = rest <= Held() ? rest : Held() / 16 * 16;
            FKey.Decrypt(At(), size_t(piece), Out);
            FPos += piece;
            Out += piece;
            rest -= piece;
        }
    }

    QFile* const FIn = nullptr;
    const QString& FFileName;
    const qint64 FSize;
    std::unique_ptr<char[]> FBuffer;
    const char* FWindow; // holds the bytes from file offset FBase on
    qint64 FBase = 0;
    qsizetype FEnd = 0; // how many bytes the window holds
    qint64 FPos = 0;    // the next byte to read, as a file offset
    qint32 FPage = 0;
    qint32 FPages = 0;
    TContentHash* const FHash = nullptr;
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
            FKey.Encrypt(Plain, size_t(piece), FBuffer.get() + FUsed);
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

EVaultInUse::EVaultInUse(const QString& FileName)
    : EFileInUse(FileName, QStringLiteral("It is in use by another copy of Vellomar.")) {}

QString VaultFileName(const QString& ExePath) {
    const qsizetype dot = ExePath.lastIndexOf(u'.');
    const qsizetype stem = dot > ExePath.lastIndexOf(u'/') ? dot : ExePath.size();
    return ExePath.left(stem) + QStringLiteral(".pgs");
}

void ReadVaultFile(const QString& FileName, const TAddPage& AddPage, TFileIdentity* Identity) {
    std::optional<TLockedFile> held;
    try {
        held.emplace(FileName, TLockedFile::TAccess::Read);
    } catch (const EFileInUse&) {
        throw EVaultInUse(FileName);
    }
    QFile in;
    // The reader has a buffer of its own.
    if (!in.open(held->Handle(), QIODevice::ReadOnly | QIODevice::Unbuffered,
                 QFileDevice::DontCloseHandle))
        throw EFileError(FileErrorText("Cannot open file", FileName, in.errorString()));
    TContentHash hash;
    TVaultReader(in, FileName, Identity ? &hash : nullptr).Read(AddPage);
    if (Identity)
        *Identity = IdentityOfHandle(held->Handle(), hash.Value());
}

void ReadVaultData(const QByteArray& Data, const QString& FileName, const TAddPage& AddPage) {
    TVaultReader(QByteArrayView(Data), FileName).Read(AddPage);
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
    try {
        ReplaceFileContent(
            FileName, [&](const TPutBytes& Put) { PutVault(vault.Pages, Put); }, Flush, Check);
    } catch (const EFileInUse&) {
        throw EVaultInUse(FileName);
    }
}

QString TrimStr(std::string_view s) {
    const auto byte = [&s](size_t i) -> char16_t {
        return i < s.size() ? static_cast<unsigned char>(s[i]) : 0;
    };
    QString result(static_cast<qsizetype>((s.size() + 1) / 2), Qt::Uninitialized);
    QChar* units = result.data();
    for (qsizetype k = 0; k < result.size(); ++k)
        units[k] = QChar(char16_t(byte(2 * k) | byte(2 * k + 1) << 8));
    return result;
}

// Reading and writing a vault of 10,000 pages holding 50 MiB, against OpenSSL's
// EVP AES-128-ECB over the same fields in the same run: decryption for the
// read, encryption for the write. The write is measured without its final
// flush to disk, and the flush on its own.

#include "LockedFile.h"
#include "vmr_vault.h"

#include <openssl/evp.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <random>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPages = 10000;
constexpr qsizetype kVaultBytes = qsizetype(50) << 20;

struct TVault {
    QTemporaryDir Dir{QDir::tempPath() + QStringLiteral("/vmr-bench-XXXXXX")};
    TPageList* Pages = KelNewCreated<TPageList>();
    QString File;                                        // as WriteVaultFile wrote Pages
    QByteArray Data;                                     // the file's bytes
    std::vector<std::pair<qsizetype, qsizetype>> Fields; // encrypted fields in Data
    std::vector<std::string> Plain;                      // title bytes and texts

    TVault() {
        std::mt19937 rng(3);
        static const char* const words[] = {"plan",   "notes", "Ideen",  "café",
                                            "recipe", "trip",  "budget", "book",
                                            "garden", "call",  "draft",  "Zettel"};
        const auto word = [&] { return QString::fromUtf8(words[rng() % std::size(words)]); };
        const qsizetype textBytes = kVaultBytes / kPages;
        for (int i = 0; i < kPages; ++i) {
            auto* p = KelNewCreated<TPage>();
            p->SetTitle(word() + u' ' + word() + u' ' + QString::number(i));
            QByteArray text = "{\\rtf1\\ansi ";
            while (text.size() < textBytes - 1)
                text += char('a' + rng() % 26);
            text += '}';
            p->SetText(text);
            Pages->AddPage(p);
        }
        File = Dir.filePath(QStringLiteral("vault.pgs"));
        WriteVaultFile(File, *Pages, kPages);
        QFile f(File);
        if (!f.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read the vault");
        Data = f.readAll();
        for (qsizetype at = 4; at < Data.size();) {
            const qsizetype n = qFromLittleEndian<qint32>(Data.constData() + at);
            Fields.emplace_back(at + 4, n);
            at += 4 + n;
        }
        for (int i = 0; i < kPages; ++i) {
            const TPage* p = Pages->GetPages(i);
            const QString& t = p->Title();
            std::string title(size_t(t.size()) * 2, '\0');
            for (qsizetype k = 0; k < t.size(); ++k)
                qToLittleEndian(t[k].unicode(), &title[size_t(k) * 2]);
            Plain.push_back(std::move(title));
            Plain.push_back(p->Text().toStdString());
        }
    }
};

TVault& Vault() {
    static TVault vault;
    return vault;
}

// Every field through one EVP context, into one buffer made beforehand.
template <typename Each> void Evp(bool Encrypt, size_t OutBytes, Each&& ForEachField) {
    static std::string out;
    out.resize(OutBytes + 16);
    static const std::string key = VaultKey;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (!ctx ||
        EVP_CipherInit_ex(ctx, EVP_aes_128_ecb(), nullptr,
                          reinterpret_cast<const unsigned char*>(key.data()), nullptr,
                          Encrypt) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx, 0) != 1)
        throw std::runtime_error("EVP failed");
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    ForEachField([&](const char* In, qsizetype N) {
        int n = 0;
        EVP_CipherUpdate(ctx, o, &n, reinterpret_cast<const unsigned char*>(In), int(N));
        o += n;
    });
    EVP_CIPHER_CTX_free(ctx);
    benchmark::DoNotOptimize(out.data());
}

void EvpDecryptVault(benchmark::State& State) {
    TVault& v = Vault();
    for (auto _ : State)
        Evp(false, size_t(v.Data.size()), [&](auto&& Field) {
            for (const auto& [at, n] : v.Fields)
                Field(v.Data.constData() + at, n);
        });
}

// Plain fields padded to whole blocks, as the file holds them.
void EvpEncryptVault(benchmark::State& State) {
    TVault& v = Vault();
    std::vector<std::string> padded;
    for (const std::string& s : v.Plain)
        padded.push_back(s + std::string((16 - s.size() % 16) % 16, '\0'));
    for (auto _ : State)
        Evp(true, size_t(v.Data.size()), [&](auto&& Field) {
            for (const std::string& s : padded)
                Field(s.data(), qsizetype(s.size()));
        });
}

void ReadVault(benchmark::State& State) {
    TVault& v = Vault();
    for (auto _ : State) {
        TPageList* pages = KelNewCreated<TPageList>();
        ReadVaultFile(v.File, [&](TPage* p) { pages->AddPage(p); });
        State.PauseTiming();
        if (pages->Count() != kPages)
            State.SkipWithError("pages missing");
        TKelList::FreeAll(pages);
        State.ResumeTiming();
    }
}

void WriteVault(benchmark::State& State) {
    TVault& v = Vault();
    const QString file = v.Dir.filePath(QStringLiteral("written.pgs"));
    for (auto _ : State)
        WriteVaultFile(file, *v.Pages, kPages, TFlush::None);
}

// What WriteVaultFile adds when it flushes: the new file's data, then its
// folder's entry. Wall time, since the wait for the disk is the cost.
void VaultFlush(benchmark::State& State) {
    TVault& v = Vault();
    const QString file = v.Dir.filePath(QStringLiteral("flushed.pgs"));
    for (auto _ : State) {
        State.PauseTiming();
        WriteVaultFile(file, *v.Pages, kPages, TFlush::None);
        State.ResumeTiming();
        for (const QString& name : {file, v.Dir.path()}) {
            const int fd = ::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0 || ::fsync(fd) != 0)
                State.SkipWithError("flush failed");
            if (fd >= 0)
                ::close(fd);
        }
    }
}

// The system's part alone: the file's bytes read through a buffer of the
// reader's size, and as many bytes written to a new file from a buffer of
// the writer's size, without a flush. Neither can be avoided by the reader or
// the writer; both count in their CPU time.
void BareRead(benchmark::State& State) {
    TVault& v = Vault();
    std::vector<char> buffer(256 * 1024);
    for (auto _ : State) {
        const int fd = ::open(QFile::encodeName(v.File).constData(), O_RDONLY | O_CLOEXEC);
        while (::read(fd, buffer.data(), buffer.size()) > 0) {
        }
        ::close(fd);
    }
}

void BareWrite(benchmark::State& State) {
    TVault& v = Vault();
    const QByteArray file = QFile::encodeName(v.Dir.filePath(QStringLiteral("bare.pgs")));
    std::vector<char> buffer(64 * 1024, 'x');
    for (auto _ : State) {
        const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        for (qsizetype done = 0; done < v.Data.size(); done += qsizetype(buffer.size()))
            if (::write(fd, buffer.data(), buffer.size()) < 0)
                State.SkipWithError("write failed");
        ::close(fd);
        State.PauseTiming(); // WriteVaultFile writes a new file each time
        ::unlink(file.constData());
        State.ResumeTiming();
    }
}

#define VMR_VAULT_BENCH(f)                                                                         \
    BENCHMARK(f)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)
VMR_VAULT_BENCH(EvpDecryptVault);
VMR_VAULT_BENCH(ReadVault);
VMR_VAULT_BENCH(EvpEncryptVault);
VMR_VAULT_BENCH(WriteVault);
VMR_VAULT_BENCH(VaultFlush)->UseRealTime();
VMR_VAULT_BENCH(BareRead);
VMR_VAULT_BENCH(BareWrite);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Vault();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

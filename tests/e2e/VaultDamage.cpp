#include "VaultDamage.h"

#include "vmr_vault.h"

#include <QtEndian>
#include <algorithm>
#include <climits>

namespace {
qint64 Uniform(std::mt19937& Rng, qint64 Low, qint64 High) {
    return std::uniform_int_distribution<qint64>(Low, High)(Rng);
}

qint32 IntAt(const QByteArray& Bytes, qint64 At) {
    return qFromLittleEndian<qint32>(Bytes.constData() + At);
}

const char* const Words[] = {"milk", "Konto",  "PIN",   "remember", "Ålesund", "ferry",
                             "über", "4711",   "call",  "dentist",  "Tuesday", "passport",
                             "key",  "garden", "notes", "the",      "and",     "ünd"};

QByteArray SomeWords(std::mt19937& Rng, qint64 Bytes) {
    QByteArray text;
    while (text.size() < Bytes) {
        text += Words[Uniform(Rng, 0, std::size(Words) - 1)];
        text += Uniform(Rng, 0, 9) == 0 ? "\n" : " ";
    }
    return text.left(Bytes);
}

QByteArray SampleText(std::mt19937& Rng) {
    // Now and then a long page, so that damage also lands far into the file.
    const qint64 size = Uniform(Rng, 0, 7) == 0 ? Uniform(Rng, 20000, 60000) : Uniform(Rng, 0, 900);
    const QByteArray words = SomeWords(Rng, size);
    if (Uniform(Rng, 0, 1) == 0)
        return words;
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil Tahoma;}}\\f0\\fs22 " +
           QByteArray(words).replace('\n', "\\par ") + "\\b bold\\b0\\par}";
}

QString KindName(TDamage Kind) {
    static const char* const names[] = {"truncated",
                                        "bits flipped",
                                        "negative page count",
                                        "huge page count",
                                        "negative length",
                                        "huge length",
                                        "length too long",
                                        "length too short",
                                        "bit flipped in a header",
                                        "flipped and truncated"};
    return QString::fromLatin1(names[int(Kind)]);
}
} // namespace

QList<qint64> HeaderOffsets(const QByteArray& Vault) {
    QList<qint64> offsets{0};
    qint64 at = 4;
    for (qint32 page = 0; page < IntAt(Vault, 0); ++page)
        for (int field = 0; field < 2; ++field) {
            offsets << at;
            at += 4 + IntAt(Vault, at);
        }
    return offsets;
}

QList<TStoredPage> SamplePages(std::mt19937& Rng) {
    static const char16_t* const titles[] = {
        u"Groceries",
        u"Passwörter",
        u"日記",
        u"Ideen ä",
        u"Bank accounts",
        u"Trip to Ålesund",
        u"x",
        u"Ключи и пароли",
        u"Dentist 🦷",
        u"A rather long title for a page of notes on many things"};
    QList<TStoredPage> pages;
    const qint64 count = Uniform(Rng, 3, 6);
    for (qint64 i = 0; i < count; ++i)
        pages.append(
            {QString::fromUtf16(titles[Uniform(Rng, 0, std::size(titles) - 1)]), SampleText(Rng)});
    return pages;
}

TDamagedVault DamageVault(const QByteArray& Whole, TDamage Kind, std::mt19937& Rng) {
    TDamagedVault d{Whole, Whole, KindName(Kind)};
    const QList<qint64> headers = HeaderOffsets(Whole);
    const qint64 size = Whole.size();
    const auto set = [&d](qint64 At, qint64 Value) {
        qToLittleEndian(qint32(Value), d.Bytes.data() + At);
        d.What += QStringLiteral(": %1 at byte %2").arg(Value).arg(At);
    };
    const auto flip = [&d](qint64 Bit) {
        d.Bytes[Bit / 8] = char(d.Bytes[Bit / 8] ^ (1 << (Bit % 8)));
        d.What += QStringLiteral(" %1.%2").arg(Bit / 8).arg(Bit % 8);
    };
    const auto cut = [&d, &Rng, size] {
        const qint64 at = Uniform(Rng, 0, size - 1);
        d.Bytes.truncate(at);
        d.What += QStringLiteral(", cut to %1 of %2 bytes").arg(at).arg(size);
    };
    const qint64 length = headers[Uniform(Rng, 1, headers.size() - 1)];
    const qint32 old = IntAt(Whole, length);
    switch (Kind) {
    case TDamage::Truncate:
        cut();
        break;
    case TDamage::FlipBits:
        for (qint64 n = Uniform(Rng, 1, 8); n > 0; --n)
            flip(Uniform(Rng, 0, size * 8 - 1));
        break;
    case TDamage::NegativeCount:
        set(0, Uniform(Rng, 0, 3) == 0 ? -1 : Uniform(Rng, INT_MIN, -1));
        break;
    case TDamage::HugeCount:
        set(0, Uniform(Rng, IntAt(Whole, 0) + 1, INT_MAX));
        break;
    case TDamage::NegativeLength:
        set(length, Uniform(Rng, 0, 3) == 0 ? -1 : Uniform(Rng, INT_MIN, -1));
        break;
    case TDamage::HugeLength:
        set(length, Uniform(Rng, size - length - 4 + 1, INT_MAX));
        break;
    case TDamage::LongerLength:
        set(length, old + Uniform(Rng, 1, 64));
        break;
    case TDamage::ShorterLength:
        set(length, old > 0 ? old - Uniform(Rng, 1, old) : -Uniform(Rng, 1, 16));
        break;
    case TDamage::FlipHeaderBit: {
        const qint64 at = headers[Uniform(Rng, 0, headers.size() - 1)];
        flip(at * 8 + Uniform(Rng, 0, 31));
        break;
    }
    case TDamage::TruncateAndFlip:
        flip(Uniform(Rng, 0, size * 8 - 1));
        cut();
        break;
    }
    return d;
}

TDamagedVault DamagedVaultOf(quint32 Seed) {
    std::mt19937 rng(Seed);
    const QByteArray whole = VaultBytesOf(SamplePages(rng));
    const auto kind = TDamage(Uniform(rng, 0, DamageKinds - 1));
    return DamageVault(whole, kind, rng);
}

TReadOutcome ReadOutcome(const QByteArray& Bytes) {
    TReadOutcome out;
    try {
        ReadVaultData(Bytes, QStringLiteral("vellomar.pgs"), [&out](TPage* p) {
            out.Pages.append({p->Title(), p->Text()});
            delete p;
        });
    } catch (const EVaultDamaged& e) {
        out.Damaged = true;
        out.Error = QString::fromUtf8(e.what());
    }
    return out;
}

bool SamePages(QList<TStoredPage> A, QList<TStoredPage> B) {
    const auto before = [](const TStoredPage& X, const TStoredPage& Y) {
        return X.Title != Y.Title ? X.Title < Y.Title : X.Text < Y.Text;
    };
    std::sort(A.begin(), A.end(), before);
    std::sort(B.begin(), B.end(), before);
    return std::equal(A.begin(), A.end(), B.begin(), B.end(),
                      [](const TStoredPage& X, const TStoredPage& Y) {
                          return X.Title == Y.Title && X.Text == Y.Text;
                      });
}

QString Describe(const QList<TStoredPage>& Pages) {
    QStringList items;
    for (const TStoredPage& p : Pages)
        items << QStringLiteral("'%1' (%2 bytes)").arg(p.Title.left(40)).arg(p.Text.size());
    return QStringLiteral("[%1]").arg(items.join(QStringLiteral(", ")));
}

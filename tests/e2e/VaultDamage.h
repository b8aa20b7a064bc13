#pragma once
// Randomly damaged vaults: a valid vault of a few pages, written with the
// program's own writer, then cut short, bit-flipped, or given impossible
// counts and lengths exactly where its record headers lie. The same seed
// always gives the same bytes, so that any vault can be made again.

#include "E2eDriver.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <random>

enum class TDamage {
    Truncate,
    FlipBits,
    NegativeCount,
    HugeCount,
    NegativeLength,
    HugeLength,
    LongerLength,
    ShorterLength,
    FlipHeaderBit,
    TruncateAndFlip,
};
inline constexpr int DamageKinds = int(TDamage::TruncateAndFlip) + 1;

// Where the header fields of a valid vault lie: the page count at 0, then
// per page the title length and the text length.
QList<qint64> HeaderOffsets(const QByteArray& Vault);

// A valid vault of three to six pages, plain and formatted texts of many
// sizes and titles beyond Latin-1.
QList<TStoredPage> SamplePages(std::mt19937& Rng);

struct TDamagedVault {
    QByteArray Whole; // the vault before the damage
    QByteArray Bytes; // after it
    QString What;     // the damage, for failure messages
};
TDamagedVault DamageVault(const QByteArray& Whole, TDamage Kind, std::mt19937& Rng);
// Sample pages and a kind of damage, both chosen by Seed.
TDamagedVault DamagedVaultOf(quint32 Seed);

// What the program's reader makes of Bytes: the pages it hands over, and
// whether it stopped at damage.
struct TReadOutcome {
    QList<TStoredPage> Pages;
    bool Damaged = false;
    QString Error;
};
TReadOutcome ReadOutcome(const QByteArray& Bytes);

// Page lists compared as sets with repeats: the program keeps its pages in
// title order.
bool SamePages(QList<TStoredPage> A, QList<TStoredPage> B);
QString Describe(const QList<TStoredPage>& Pages);

#pragma once
// What a file was when this process last read or wrote it, so that a later
// save can tell whether another program changed it meanwhile.

#include <QString>
#include <QtGlobal>

// A fast 64-bit hash of a byte stream, fed in pieces of any size: four lanes
// of 64-bit words, then the length and the tail mixed in. It detects changes;
// it is no defence against someone who wants to fool it.
class TContentHash {
public:
    void Add(const char* Data, qsizetype Size);
    quint64 Value() const;
    qint64 Size() const { return FSize; }

private:
    void Block(const char* Data);

    quint64 FLane[4] = {0x9E3779B97F4A7C15ull, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull,
                        0x27D4EB2F165667C5ull};
    unsigned char FTail[32] = {};
    int FTailSize = 0;
    qint64 FSize = 0;
};

quint64 ContentHash(const char* Data, qsizetype Size);

struct TFileIdentity {
    bool Exists = false;
    qint64 Size = 0;
    qint64 MTimeNs = 0;
    qint64 CTimeNs = 0; // moves with every change of the inode; cannot be set back
    quint64 Device = 0;
    quint64 Inode = 0;
    quint64 Hash = 0;
    bool operator==(const TFileIdentity&) const = default;
};

// The identity of the open file Handle, whose bytes hashed to Hash.
TFileIdentity IdentityOfHandle(int Handle, quint64 Hash);

// Whether the open file Handle (-1: no file) still is the file Known
// describes. Size and existence decide at once; the same inode with the same
// modification and change times is taken as unchanged; otherwise the bytes are read and
// compared by hash, so that a file rewritten with the same content counts as
// unchanged. Sets Now to the file's present identity, hash included when the
// file was read. A file whose bytes cannot be read is not known to be the
// same: false, with ReadError (when given) set to the system's error, which
// is 0 otherwise.
bool StillSameFile(const TFileIdentity& Known, int Handle, TFileIdentity& Now,
                   int* ReadError = nullptr);

#include "FileIdentity.h"

#include "FileFaults.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr quint64 kPrime1 = 0x9E3779B185EBCA87ull;
constexpr quint64 kPrime2 = 0xC2B2AE3D27D4EB4Full;

quint64 Rotl(quint64 x, int r) {
    return x << r | x >> (64 - r);
}

quint64 Word(const void* p) {
    quint64 w;
    std::memcpy(&w, p, 8);
    return w; // host order: the hash never leaves the machine
}

quint64 Round(quint64 Lane, quint64 W) {
    return Rotl(Lane + W * kPrime2, 31) * kPrime1;
}

quint64 Avalanche(quint64 h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ h >> 33;
}

// Reads the whole open file from its start into the hash; 0, or the system's
// error when a read fails.
int HashHandle(int Handle, TContentHash& Hash) {
    constexpr size_t kChunk = 1 << 20;
    const std::unique_ptr<char[]> buffer(new char[kChunk]);
    for (off_t at = 0;;) {
        if (const int error = InjectedFileError(TFileCall::Read))
            return error;
        const ssize_t n = ::pread(Handle, buffer.get(), kChunk, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        Hash.Add(buffer.get(), n);
        at += n;
    }
}
} // namespace

void TContentHash::Block(const char* Data) {
    for (int i = 0; i < 4; ++i)
        FLane[i] = Round(FLane[i], Word(Data + 8 * i));
}

void TContentHash::Add(const char* Data, qsizetype Size) {
    FSize += Size;
    if (FTailSize > 0) {
        const qsizetype take = std::min<qsizetype>(Size, 32 - FTailSize);
        std::memcpy(FTail + FTailSize, Data, size_t(take));
        FTailSize += int(take);
        Data += take;
        Size -= take;
        if (FTailSize < 32)
            return;
        Block(reinterpret_cast<const char*>(FTail));
        FTailSize = 0;
    }
    for (; Size >= 32; Data += 32, Size -= 32)
        Block(Data);
    std::memcpy(FTail, Data, size_t(Size));
    FTailSize = int(Size);
}

quint64 TContentHash::Value() const {
    quint64 h = Rotl(FLane[0], 1) + Rotl(FLane[1], 7) + Rotl(FLane[2], 12) + Rotl(FLane[3], 18);
    h = (h ^ quint64(FSize)) * kPrime1;
    int i = 0;
    for (; i + 8 <= FTailSize; i += 8)
        h = Rotl(h ^ Round(0, Word(FTail + i)), 27) * kPrime1 + kPrime2;
    for (; i < FTailSize; ++i)
        h = Rotl(h ^ (FTail[i] * kPrime2), 11) * kPrime1;
    return Avalanche(h);
}

quint64 ContentHash(const char* Data, qsizetype Size) {
    TContentHash hash;
    hash.Add(Data, Size);
    return hash.Value();
}

TFileIdentity IdentityOfHandle(int Handle, quint64 Hash) {
    struct stat st;
    if (::fstat(Handle, &st) != 0)
        return {};
    TFileIdentity id;
    id.Exists = true;
    id.Size = st.st_size;
    id.MTimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.CTimeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    id.Device = st.st_dev;
    id.Inode = st.st_ino;
    id.Hash = Hash;
    return id;
}

bool StillSameFile(const TFileIdentity& Known, int Handle, TFileIdentity& Now, int* ReadError) {
    if (ReadError)
        *ReadError = 0;
    Now = Handle < 0 ? TFileIdentity() : IdentityOfHandle(Handle, 0);
    if (!Now.Exists || !Known.Exists)
        return Now.Exists == Known.Exists;
    const bool sameStat = Now.Size == Known.Size && Now.MTimeNs == Known.MTimeNs &&
                          Now.CTimeNs == Known.CTimeNs && Now.Device == Known.Device &&
                          Now.Inode == Known.Inode;
    if (sameStat) {
        Now.Hash = Known.Hash;
        return true;
    }
    TContentHash hash;
    if (const int error = HashHandle(Handle, hash)) {
        if (ReadError)
            *ReadError = error;
        return false;
    }
    Now.Hash = hash.Value();
    Now.Size = hash.Size();
    return Now.Size == Known.Size && Now.Hash == Known.Hash;
}

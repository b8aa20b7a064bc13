#pragma once
// A look at the test process's own memory through /proc/self/mem: storage the
// program has let go of can be read without touching it from C++, and every
// writable mapping can be searched for a secret that should be gone.
//
// A needle is passed masked (every byte XOR kMemoryMask) and compared masked,
// so that the test's own copy of it is never a match.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

inline constexpr char kMemoryMask = 0x5A;

inline QByteArray Masked(QByteArrayView Plain) {
    QByteArray out(Plain.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < Plain.size(); ++i)
        out[i] = char(Plain[i] ^ kMemoryMask);
    return out;
}

// An 8-bit text given masked, as UTF-16LE (Latin-1 text), masked.
inline QByteArray MaskedUtf16(const QByteArray& Masked8) {
    QByteArray out;
    out.reserve(Masked8.size() * 2);
    for (char c : Masked8) {
        out += c;
        out += kMemoryMask; // the zero high byte
    }
    return out;
}

// The same text unmasked, in one allocation that the caller wipes.
inline QString Unmasked(const QByteArray& Masked8) {
    QString s(Masked8.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < Masked8.size(); ++i)
        s[i] = QLatin1Char(char(Masked8[i] ^ kMemoryMask));
    return s;
}

// Size bytes at At, masked; shorter where the memory cannot be read. Read
// through a buffer on the stack, so that no allocation made for the result
// can take the place of what is read.
inline QByteArray ReadOwnMemoryMasked(const void* At, qsizetype Size) {
    char local[4096];
    if (Size < 0 || Size > qsizetype(sizeof local))
        return QByteArray();
    const int fd = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();
    const ssize_t n = ::pread(fd, local, size_t(Size), off_t(reinterpret_cast<uintptr_t>(At)));
    ::close(fd);
    for (ssize_t i = 0; i < n; ++i)
        local[i] = char(local[i] ^ kMemoryMask);
    const QByteArray out(local, n < 0 ? 0 : qsizetype(n));
    std::memset(local, 0, sizeof local);
    return out;
}

// Whether a writable mapping of the process holds the needle somewhere. It
// allocates nothing on the heap, so that the memory it looks at is not reused
// by its own work.
inline bool WritableMemoryHolds(const QByteArray& MaskedNeedle) {
    struct TRange {
        uintptr_t Begin, End;
    };
    constexpr size_t kChunk = 1 << 20, kMaxRanges = 8192, kMapsRoom = 2 << 20;
    const size_t overlap = size_t(MaskedNeedle.size());
    const size_t room = kChunk + overlap + kMaxRanges * sizeof(TRange) + kMapsRoom;
    void* mapped =
        ::mmap(nullptr, room, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED || overlap == 0)
        return false;
    // The ranges first, where the mapping's alignment is theirs.
    auto* ranges = static_cast<TRange*>(mapped);
    char* maps = reinterpret_cast<char*>(ranges + kMaxRanges);
    auto* buffer = reinterpret_cast<unsigned char*>(maps + kMapsRoom);
    size_t mapsSize = 0;
    if (const int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC); fd >= 0) {
        for (ssize_t n; mapsSize < kMapsRoom - 1 &&
                        (n = ::read(fd, maps + mapsSize, kMapsRoom - 1 - mapsSize)) > 0;)
            mapsSize += size_t(n);
        ::close(fd);
    }
    maps[mapsSize] = '\0';
    // Lines of "begin-end perms ...": the writable mappings, but sanitizer
    // shadow memory and other vast reservations, which hold no program data.
    size_t count = 0;
    for (char* line = maps; *line && count < kMaxRanges;) {
        char* end = nullptr;
        const uintptr_t begin = std::strtoull(line, &end, 16);
        const uintptr_t last = std::strtoull(end + 1, &end, 16);
        if (end[0] == ' ' && end[1] == 'r' && end[2] == 'w' && last > begin &&
            last - begin <= (uintptr_t(1) << 30))
            ranges[count++] = {begin, last};
        line = std::strchr(end, '\n');
        if (!line)
            break;
        ++line;
    }
    // The room used here is a mapping of its own, skipped.
    const uintptr_t skipBegin = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t skipEnd = skipBegin + room;
    const int fd = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    const auto* needle = reinterpret_cast<const unsigned char*>(MaskedNeedle.constData());
    const unsigned char mask = static_cast<unsigned char>(kMemoryMask);
    bool found = false;
    for (size_t r = 0; r < count && !found; ++r) {
        for (uintptr_t at = ranges[r].Begin; at < ranges[r].End && !found; at += kChunk) {
            const size_t want = size_t(std::min<uintptr_t>(ranges[r].End - at, kChunk + overlap));
            if (at < skipEnd && at + want > skipBegin)
                continue;
            const ssize_t got = ::pread(fd, buffer, want, off_t(at));
            if (got < ssize_t(overlap))
                continue;
            const unsigned char first = needle[0] ^ mask;
            for (size_t i = 0; i + overlap <= size_t(got) && !found; ++i) {
                const void* hit = std::memchr(buffer + i, first, size_t(got) - overlap + 1 - i);
                if (!hit)
                    break;
                i = size_t(static_cast<const unsigned char*>(hit) - buffer);
                size_t k = 1;
                while (k < overlap && (buffer[i + k] ^ mask) == needle[k])
                    ++k;
                found = k == overlap;
            }
        }
    }
    if (fd >= 0)
        ::close(fd);
    std::memset(buffer, 0, kChunk + overlap);
    ::munmap(mapped, room);
    return found;
}

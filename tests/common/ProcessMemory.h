#pragma once
// A look at the test process's own memory through /proc/self/mem: storage the
// program has let go of can be read without touching it from C++, and every
// writable mapping can be searched for a secret that should be gone.
//
// A needle is passed masked (every byte XOR kMemoryMask) and compared masked,
// so that the test's own copy of it is never a match.

#include <QByteArray>
#include <QFile>
#include <QList>

#include <algorithm>

#include <cstdint>
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

// Size bytes at At, masked; shorter where the memory cannot be read.
inline QByteArray ReadOwnMemoryMasked(const void* At, qsizetype Size) {
    QByteArray out(Size, Qt::Uninitialized);
    const int fd = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();
    const ssize_t n = ::pread(fd, out.data(), size_t(Size), off_t(reinterpret_cast<uintptr_t>(At)));
    ::close(fd);
    out.resize(n < 0 ? 0 : qsizetype(n));
    for (char& c : out)
        c = char(c ^ kMemoryMask);
    return out;
}

// Whether a writable mapping of the process holds the needle somewhere.
inline bool WritableMemoryHolds(const QByteArray& MaskedNeedle) {
    struct TRange {
        uintptr_t Begin, End;
    };
    QList<TRange> ranges;
    {
        QFile maps(QStringLiteral("/proc/self/maps"));
        if (!maps.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray& line : maps.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 2 || !fields[1].startsWith("rw"))
                continue;
            const QList<QByteArray> bounds = fields[0].split('-');
            const uintptr_t begin = bounds.value(0).toULongLong(nullptr, 16);
            const uintptr_t end = bounds.value(1).toULongLong(nullptr, 16);
            // Sanitizer shadow memory and other vast reservations hold no
            // program data.
            if (end > begin && end - begin <= (uintptr_t(1) << 30))
                ranges.append({begin, end});
        }
    }
    // The buffer that memory is read into is a mapping of its own, skipped.
    constexpr size_t kChunk = 1 << 20;
    const size_t overlap = size_t(MaskedNeedle.size());
    void* mapped = ::mmap(nullptr, kChunk + overlap, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return false;
    auto* buffer = static_cast<unsigned char*>(mapped);
    const uintptr_t skipBegin = reinterpret_cast<uintptr_t>(buffer);
    const uintptr_t skipEnd = skipBegin + kChunk + overlap;
    const int fd = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    const auto* needle = reinterpret_cast<const unsigned char*>(MaskedNeedle.constData());
    const unsigned char mask = static_cast<unsigned char>(kMemoryMask);
    bool found = false;
    for (const TRange& r : ranges) {
        for (uintptr_t at = r.Begin; at < r.End && !found; at += kChunk) {
            const size_t want = size_t(std::min<uintptr_t>(r.End - at, kChunk + overlap));
            if (at < skipEnd && at + want > skipBegin)
                continue;
            const ssize_t got = ::pread(fd, buffer, want, off_t(at));
            if (got < ssize_t(overlap) || overlap == 0)
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
    ::close(fd);
    std::memset(buffer, 0, kChunk + overlap);
    ::munmap(mapped, kChunk + overlap);
    return found;
}

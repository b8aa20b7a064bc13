#include "Stream.h"

#include "LockedFile.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <limits>

namespace {
// A memory stream refuses to grow past this rather than ask for more memory
// than a process can sensibly hold; a stray seek far past the end followed by
// a write fails instead of allocating the gap.
constexpr std::int64_t MaxMemoryStreamSize = std::int64_t(1) << 31;

[[noreturn]] void SeekError() {
    throw EStreamError("Stream seek error");
}

std::int64_t SeekTarget(std::int64_t Offset, TSeekOrigin Origin, std::int64_t Position,
                        std::int64_t Size) {
    const std::int64_t base = Origin == TSeekOrigin::Beginning ? 0
                              : Origin == TSeekOrigin::Current ? Position
                                                               : Size;
    if ((Offset > 0 && base > std::numeric_limits<std::int64_t>::max() - Offset) ||
        base + Offset < 0)
        SeekError();
    return base + Offset;
}
} // namespace

EReadError::EReadError() : EStreamError("Stream read error") {}
EWriteError::EWriteError() : EStreamError("Stream write error") {}
EFOpenError::EFOpenError(const QString& FileName, const QString& Reason)
    : EStreamError(FileErrorText("Cannot open file", FileName, Reason)) {}
EFCreateError::EFCreateError(const QString& FileName, const QString& Reason)
    : EStreamError(FileErrorText("Cannot create file", FileName, Reason)) {}

// ---- TStream

void TStream::ReadBuffer(void* Buffer, std::int64_t Count) {
    if (Count > 0 && Read(Buffer, Count) != Count)
        throw EReadError();
}

void TStream::WriteBuffer(const void* Buffer, std::int64_t Count) {
    if (Count > 0 && Write(Buffer, Count) != Count)
        throw EWriteError();
}

// ---- TMemoryStream

std::int64_t TMemoryStream::Read(void* Buffer, std::int64_t Count) {
    const std::int64_t n =
        std::clamp<std::int64_t>(Size() - FPosition, 0, std::max<std::int64_t>(Count, 0));
    if (n > 0)
        std::memcpy(Buffer, FData.constData() + FPosition, size_t(n));
    FPosition += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* Buffer, std::int64_t Count) {
    if (Count <= 0)
        return 0;
    if (FPosition > MaxMemoryStreamSize - Count)
        return 0;
    const std::int64_t end = FPosition + Count;
    if (end > Size())
        FData.resize(qsizetype(end), '\0'); // a gap left by a seek reads as zeros
    std::memcpy(FData.data() + FPosition, Buffer, size_t(Count));
    FPosition = end;
    return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    FPosition = SeekTarget(Offset, Origin, FPosition, Size());
    return FPosition;
}

// ---- TFileStream

TFileStream::TFileStream(const QString& FileName, TFileStreamMode Mode) : FFile(FileName) {
    const QFileInfo info(FileName);
    const bool create = Mode == TFileStreamMode::Create;
    const auto fail = [&](const QString& Reason) {
        if (create)
            throw EFCreateError(FileName, Reason);
        throw EFOpenError(FileName, Reason);
    };
    // Checked before opening: opening a pipe would wait for its other end.
    if (info.exists() && !info.isFile())
        fail(QStringLiteral("Not a regular file"));
    // Unbuffered, so that a failed write is reported by the call that made it.
    QIODevice::OpenMode mode = QIODevice::Unbuffered;
    switch (Mode) {
    case TFileStreamMode::Create:
        mode |= QIODevice::ReadWrite | QIODevice::Truncate;
        break;
    case TFileStreamMode::OpenRead:
        mode |= QIODevice::ReadOnly;
        break;
    case TFileStreamMode::OpenReadWrite:
        mode |= QIODevice::ReadWrite | QIODevice::ExistingOnly;
        break;
    }
    if (!FFile.open(mode))
        fail(FFile.errorString());
}

std::int64_t TFileStream::Read(void* Buffer, std::int64_t Count) {
    if (Count <= 0)
        return 0;
    const qint64 n = FFile.read(static_cast<char*>(Buffer), Count);
    return n < 0 ? 0 : n;
}

std::int64_t TFileStream::Write(const void* Buffer, std::int64_t Count) {
    if (Count <= 0)
        return 0;
    const qint64 n = FFile.write(static_cast<const char*>(Buffer), Count);
    return n < 0 ? 0 : n;
}

std::int64_t TFileStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    const std::int64_t target = SeekTarget(Offset, Origin, FFile.pos(), FFile.size());
    if (!FFile.seek(target))
        SeekError();
    return target;
}

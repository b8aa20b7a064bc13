#pragma once
// Byte streams with a 64-bit position: the interface the component library's
// binary records are read from and written to, kept in memory or in a file.

#include "Exception.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>

class EStreamError : public Exception {
public:
    using Exception::Exception;
};

// The stream ended before the bytes asked for: "Stream read error".
class EReadError : public EStreamError {
public:
    EReadError();
};

// Fewer bytes went out than were given: "Stream write error".
class EWriteError : public EStreamError {
public:
    EWriteError();
};

// "Cannot open file "<name>". <reason>"
class EFOpenError : public EStreamError {
public:
    EFOpenError(const QString& FileName, const QString& Reason);
};

// "Cannot create file "<name>". <reason>"
class EFCreateError : public EStreamError {
public:
    EFCreateError(const QString& FileName, const QString& Reason);
};

enum class TSeekOrigin { Beginning, Current, End };

class TStream {
public:
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    virtual ~TStream() = default;

    // Read and Write move up to Count bytes and return how many they moved.
    virtual std::int64_t Read(void* Buffer, std::int64_t Count) = 0;
    virtual std::int64_t Write(const void* Buffer, std::int64_t Count) = 0;
    // Returns the new position. A position past the end is allowed (reads
    // there give nothing); one before the start raises "Stream seek error".
    virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;
    virtual std::int64_t Size() const = 0;

    std::int64_t Position() { return Seek(0, TSeekOrigin::Current); }
    void SetPosition(std::int64_t Pos) { Seek(Pos, TSeekOrigin::Beginning); }

    // All Count bytes or EReadError / EWriteError.
    void ReadBuffer(void* Buffer, std::int64_t Count);
    void WriteBuffer(const void* Buffer, std::int64_t Count);
};

// A stream over bytes in memory; callable on any byte string, as readers of
// untrusted data are.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(QByteArray Data) : FData(std::move(Data)) {}

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
    std::int64_t Size() const override { return FData.size(); }

    const QByteArray& Data() const { return FData; }

private:
    QByteArray FData;
    std::int64_t FPosition = 0;
};

enum class TFileStreamMode {
    Create,        // create the file, or empty an existing one
    OpenRead,      // an existing file, read only
    OpenReadWrite, // an existing file
};

// A stream over a regular file. Devices, pipes and folders are refused, so
// that no read can block or run without end.
class TFileStream : public TStream {
public:
    TFileStream(const QString& FileName, TFileStreamMode Mode);

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
    std::int64_t Size() const override { return FFile.size(); }

private:
    QFile FFile;
};

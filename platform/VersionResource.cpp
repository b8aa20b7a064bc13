#include "VersionResource.h"

#include "VersionBlock.h"

#include <QFile>
#include <QStringView>

#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ---- the ELF section ----

struct TSpan {
    qint64 Offset = 0;
    qint64 Size = 0;
};

class TElfReader {
public:
    explicit TElfReader(QFile& F) : FFile(F) {}
    std::optional<TSpan> FindSection(std::string_view Name);

private:
    bool Read(qint64 At, qint64 Size, QByteArray& Out);
    uint64_t Get(const QByteArray& B, qsizetype At, int Bytes) const;

    QFile& FFile;
    bool FBigEndian = false;
};

bool TElfReader::Read(qint64 At, qint64 Size, QByteArray& Out) {
    if (At < 0 || Size < 0 || At > FFile.size() || Size > FFile.size() - At)
        return false;
    if (!FFile.seek(At))
        return false;
    Out = FFile.read(Size);
    return Out.size() == Size;
}

uint64_t TElfReader::Get(const QByteArray& B, qsizetype At, int Bytes) const {
    uint64_t v = 0;
    for (int i = 0; i < Bytes; ++i) {
        const auto byte = static_cast<unsigned char>(B[At + (FBigEndian ? i : Bytes - 1 - i)]);
        v = (v << 8) | byte;
    }
    return v;
}

std::optional<TSpan> TElfReader::FindSection(std::string_view Name) {
    QByteArray h;
    if (!Read(0, 64, h) && !Read(0, 52, h))
        return std::nullopt;
    if (!h.startsWith("\x7F"
                      "ELF"))
        return std::nullopt;
    const bool wide = h[4] == 2;
    if ((h[4] != 1 && !wide) || (h[5] != 1 && h[5] != 2) || (wide && h.size() < 64))
        return std::nullopt;
    FBigEndian = h[5] == 2;

    const qint64 shoff = qint64(wide ? Get(h, 0x28, 8) : Get(h, 0x20, 4));
    const int entSize = int(Get(h, wide ? 0x3A : 0x2E, 2));
    const int count = int(Get(h, wide ? 0x3C : 0x30, 2));
    const int strIndex = int(Get(h, wide ? 0x3E : 0x32, 2));
    const int minEnt = wide ? 64 : 40;
    if (shoff <= 0 || entSize < minEnt || count == 0 || strIndex >= count)
        return std::nullopt;
    QByteArray table;
    if (!Read(shoff, qint64(entSize) * count, table))
        return std::nullopt;

    const auto section = [&](int i) {
        const qsizetype at = qsizetype(i) * entSize;
        struct {
            uint32_t Name, Type;
            TSpan Data;
        } s;
        s.Name = uint32_t(Get(table, at, 4));
        s.Type = uint32_t(Get(table, at + 4, 4));
        s.Data.Offset = qint64(wide ? Get(table, at + 24, 8) : Get(table, at + 16, 4));
        s.Data.Size = qint64(wide ? Get(table, at + 32, 8) : Get(table, at + 20, 4));
        return s;
    };
    constexpr uint32_t kNoBits = 8;
    const auto names = section(strIndex);
    QByteArray strings;
    if (names.Type == kNoBits || names.Data.Size > (qint64(1) << 24) ||
        !Read(names.Data.Offset, names.Data.Size, strings))
        return std::nullopt;

    for (int i = 0; i < count; ++i) {
        const auto s = section(i);
        if (s.Type == kNoBits || s.Name >= uint32_t(strings.size()))
            continue;
        const char* n = strings.constData() + s.Name;
        const size_t room = size_t(strings.size()) - s.Name;
        if (Name.size() < room && std::memcmp(n, Name.data(), Name.size()) == 0 &&
            n[Name.size()] == '\0')
            return s.Data;
    }
    return std::nullopt;
}

// Opens FileName when it is a regular file of at most kMaxVersionFileSize
// bytes. The open does not wait: a FIFO in its place would block a plain open
// until a writer came, and a device could be read without end.
bool OpenRegularFile(QFile& F) {
    const QByteArray path = QFile::encodeName(F.fileName());
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxVersionFileSize ||
        !F.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

std::optional<TSpan> VersionSection(QFile& F) {
    if (!OpenRegularFile(F))
        return std::nullopt;
    const auto span = TElfReader(F).FindSection(kVersionSectionName);
    if (!span || span->Size <= 0 || span->Size > qint64(kMaxVersionBlock) ||
        span->Offset > F.size() - span->Size)
        return std::nullopt;
    return span;
}

// ---- the block's nodes ----

// Every offset lies within the block: a node ends by its parent's end, its
// key and value by its own.
struct TNode {
    uint32_t Start = 0;
    uint32_t End = 0; // one past the node, within the parent
    uint16_t ValueLength = 0;
    bool IsText = false;
    QStringView Key;
    uint32_t Value = 0;
    uint32_t Children = 0;
};

uint32_t Align4(uint32_t v) {
    return (v + 3) & ~3u;
}

uint16_t WordAt(const unsigned char* B, uint32_t At) {
    return uint16_t(B[At] | (B[At + 1] << 8));
}

// Reads the node at Start that must end by Limit. A node that claims more
// room than its parent has is cut at the parent's end.
std::optional<TNode> NodeAt(const unsigned char* B, uint32_t Start, uint32_t Limit) {
    constexpr uint32_t kHeader = 6; // length, value length, type
    if (Start >= Limit || Limit - Start < kHeader)
        return std::nullopt;
    TNode n;
    n.Start = Start;
    const uint16_t length = WordAt(B, Start);
    if (length < kHeader)
        return std::nullopt; // a length of 0 would never move on
    n.End = std::min<uint32_t>(Start + length, Limit);
    n.ValueLength = WordAt(B, Start + 2);
    n.IsText = WordAt(B, Start + 4) == 1;
    uint32_t at = Start + kHeader;
    const uint32_t keyStart = at;
    while (at + 1 < n.End && WordAt(B, at) != 0)
        at += 2;
    if (at + 1 >= n.End)
        return std::nullopt; // no terminated key
    n.Key = QStringView(reinterpret_cast<const char16_t*>(B + keyStart), (at - keyStart) / 2);
    n.Value = std::min(Align4(at + 2), n.End);
    const uint32_t valueBytes = n.IsText ? uint32_t(n.ValueLength) * 2 : n.ValueLength;
    n.Children = std::min(Align4(n.Value + std::min(valueBytes, n.End - n.Value)), n.End);
    return n;
}

} // namespace

uint32_t GetFileVersionInfoSize(const QString& FileName) {
    QFile f(FileName);
    const auto span = VersionSection(f);
    return span ? uint32_t(span->Size) : 0;
}

bool GetFileVersionInfo(const QString& FileName, uint32_t Size, void* Block) {
    QFile f(FileName);
    const auto span = VersionSection(f);
    if (!span || !Block || span->Size != qint64(Size) || !f.seek(span->Offset))
        return false;
    return f.read(static_cast<char*>(Block), Size) == qint64(Size);
}

bool VerQueryValue(const void* Block, uint32_t BlockSize, const QString& SubBlock,
                   const void** Value, uint32_t* Length, bool* IsText) {
    if (!Block || BlockSize < 6 || BlockSize > kMaxVersionBlock ||
        reinterpret_cast<uintptr_t>(Block) % 2)
        return false;
    const auto* b = static_cast<const unsigned char*>(Block);
    std::optional<TNode> node = NodeAt(b, 0, BlockSize);
    if (!node)
        return false;
    for (const QStringView part : QStringView(SubBlock).split(u'\\', Qt::SkipEmptyParts)) {
        std::optional<TNode> found;
        for (uint32_t at = node->Children; at < node->End;) {
            const std::optional<TNode> child = NodeAt(b, at, node->End);
            if (!child)
                break;
            if (child->Key.compare(part, Qt::CaseInsensitive) == 0) {
                found = child;
                break;
            }
            at = Align4(child->End);
        }
        if (!found)
            return false;
        node = found;
    }
    const uint32_t room = node->Children - node->Value;
    const uint32_t length = node->IsText ? std::min<uint32_t>(node->ValueLength, room / 2)
                                         : std::min<uint32_t>(node->ValueLength, room);
    if (Value)
        *Value = b + node->Value;
    if (Length)
        *Length = length;
    if (IsText)
        *IsText = node->IsText;
    return true;
}

#include "kel_osutils.h"

#include "VersionResource.h"

#include <algorithm>

QString GetVersionInfoValue(const QString& FileName, const QString& Name) {
    const std::optional<TVersionInfoBlock> block = ReadVersionInfoBlock(FileName);
    if (!block)
        return QString();
    return QueryVersionString(*block, Name);
}

std::optional<TVersionInfoBlock> ReadVersionInfoBlock(const QString& FileName) {
    const uint32_t size = GetFileVersionInfoSize(FileName);
    if (size == 0)
        return std::nullopt;
    TVersionInfoBlock block(qsizetype(size), Qt::Uninitialized);
    if (!GetFileVersionInfo(FileName, size, block.data()))
        return std::nullopt;
    return block;
}

QString QueryVersionString(const TVersionInfoBlock& Block, const QString& Name) {
    const QString path = QStringLiteral("\\StringFileInfo\\040904E4\\") + Name;
    const void* value = nullptr;
    uint32_t length = 0;
    bool isText = false;
    if (!VerQueryValue(Block.constData(), uint32_t(Block.size()), path, &value, &length, &isText) ||
        !isText)
        return QString();
    // The value ends at its first NUL, at its length, and never beyond the block.
    const auto* text = static_cast<const char16_t*>(value);
    const auto room = (Block.constData() + Block.size() - static_cast<const char*>(value)) / 2;
    const uint32_t limit = uint32_t(std::min<qsizetype>(length, room));
    uint32_t n = 0;
    while (n < limit && text[n] != 0)
        ++n;
    return QString(reinterpret_cast<const QChar*>(text), qsizetype(n));
}

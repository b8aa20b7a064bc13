// The version block reader. Whatever the block holds, every value found lies
// inside it, and a text value is read no further than its length.

#include "FuzzSupport.h"
#include "VersionResource.h"
#include "kel_osutils.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>

namespace {
const char16_t* const kPaths[] = {
    u"\\StringFileInfo\\040904E4\\ProductVersion",
    u"\\StringFileInfo\\040904E4\\FileVersion",
    u"\\StringFileInfo\\040904E4",
    u"\\VarFileInfo\\Translation",
    u"\\",
};

// Touches every byte of the value, so that the sanitizer sees a value that
// reaches beyond the block.
unsigned Touch(const unsigned char* Bytes, uint32_t Size) {
    unsigned sum = 0;
    for (uint32_t i = 0; i < Size; ++i)
        sum += Bytes[i];
    return sum;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzApp(TFuzzApp::Core);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    // Not copied: the sanitizer guards the input's own bounds exactly.
    const QByteArray block =
        QByteArray::fromRawData(reinterpret_cast<const char*>(Data), qsizetype(Size));
    const char* end = block.constData() + block.size();
    volatile unsigned sink = 0;
    for (const char16_t* path : kPaths) {
        const void* value = nullptr;
        uint32_t length = 0;
        bool isText = false;
        if (!VerQueryValue(block.constData(), uint32_t(std::min<size_t>(Size, UINT32_MAX)),
                           QString::fromUtf16(path), &value, &length, &isText))
            continue;
        const auto* at = static_cast<const char*>(value);
        const qint64 bytes = isText ? qint64(length) * 2 : qint64(length);
        FUZZ_CHECK(at >= block.constData() && bytes <= end - at);
        sink = sink + Touch(static_cast<const unsigned char*>(value), uint32_t(bytes));
    }
    for (const char* name : {"ProductVersion", "FileVersion", ""}) {
        const QString text = QueryVersionString(block, QString::fromLatin1(name));
        FUZZ_CHECK(text.size() * 2 <= block.size());
        FUZZ_CHECK(!text.contains(QChar(0)));
    }
    return 0;
}

// The settings file's parser. A file it takes for a settings file is written
// back byte for byte when nothing changed, and a string set in it reads back;
// one it refuses leaves nothing behind.

#include "FuzzSupport.h"
#include "RegFile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzApp(TFuzzApp::Core);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const QByteArray bytes(reinterpret_cast<const char*>(Data), qsizetype(Size));
    const QString key = QStringLiteral("Software/Ostrand/VMR/Settings");
    const QString name = QStringLiteral("Data");
    TRegFile file;
    if (!file.LoadData(bytes)) {
        FUZZ_CHECK(!file.Error().isEmpty() && file.Serialize().isEmpty());
        return 0;
    }
    FUZZ_CHECK(file.Serialize() == bytes);
    if (const TRegLine* value = file.Find(key, name); value && value->IsString)
        (void)value->Text;
    (void)file.Damaged(key, name);

    // A value with a line break goes out as hex, one without as a quoted text.
    for (const QString& text : {QStringLiteral("a\"b\\c"), QStringLiteral("x\ny")}) {
        file.SetString(key, name, text);
        TRegFile again;
        FUZZ_CHECK(again.LoadData(file.Serialize()));
        const TRegLine* value = again.Find(key, name);
        FUZZ_CHECK(value && value->IsString && value->Text == text);
    }
    return 0;
}

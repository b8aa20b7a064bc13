// The editor's load of a body that is not RTF: plain text in one of its
// encodings. The text searches use must be what the editor shows.

#include "FuzzSupport.h"
#include "RichTextStream.h"
#include "RtfReader.h"

#include <QTextDocument>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzApp(TFuzzApp::Gui);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const QByteArrayView bytes(Data, qsizetype(Size));
    if (IsRtf(bytes))
        return -1; // the RTF harness covers it
    QTextDocument doc;
    LoadRichText(bytes, doc);
    FUZZ_CHECK(PlainTextOfRichText(bytes) == SearchText(doc));
    return 0;
}

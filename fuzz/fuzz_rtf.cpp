// The RTF reader on any bytes: it must neither crash nor grow beyond the
// input, and the text it gives without a document (searches use it) must be
// the text of the document it builds.

#include "FuzzSupport.h"
#include "RtfReader.h"

#include <QTextDocument>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzApp(TFuzzApp::Gui);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const QByteArrayView bytes(Data, qsizetype(Size));
    QTextDocument doc;
    if (!ReadRtf(bytes, doc))
        return -1; // not RTF: the plain-text harness covers it
    FUZZ_CHECK(RtfPlainText(bytes) == SearchText(doc));
    return 0;
}

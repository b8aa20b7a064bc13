// The vault reader on any bytes: damage is reported as EVaultDamaged, no
// length is trusted before it is checked, and what reads well writes back
// into a vault that reads the same.

#include "FuzzSupport.h"
#include "vmr_vault.h"

#include <memory>
#include <vector>

namespace {
struct TPages {
    TPageList List;
    ~TPages() { List.ClearAll(); }
};

// Titles and texts of every page read before any damage.
bool ReadInto(const QByteArray& Bytes, TPages& Pages) {
    try {
        ReadVaultData(Bytes, QStringLiteral("fuzz.pgs"), [&](TPage* p) { Pages.List.Add(p); });
        return true;
    } catch (const EVaultDamaged&) {
        return false;
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzApp(TFuzzApp::Core);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const QByteArray bytes(reinterpret_cast<const char*>(Data), qsizetype(Size));
    TPages first;
    ReadInto(bytes, first);
    // Pages read before damage are saved as they were read.
    TPages second;
    FUZZ_CHECK(ReadInto(VaultData(first.List, first.List.Count()), second));
    FUZZ_CHECK(second.List.Count() == first.List.Count());
    for (int i = 0; i < first.List.Count(); ++i) {
        FUZZ_CHECK(second.List.GetPages(i)->Title() == first.List.GetPages(i)->Title());
        FUZZ_CHECK(second.List.GetPages(i)->Text() == first.List.GetPages(i)->Text());
    }
    return 0;
}

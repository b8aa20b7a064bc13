// The XML reader of the persistence layer: any text either reads or raises
// one of its exceptions, with the objects read so far freed by their owner.

#include "PersistHarness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartPersistFuzzing();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(Data), qsizetype(Size));
    {
        TOwnedListObj obj = NewListObj(TNote::StaticClass());
        ReadsWell([&] { obj->SetXMLData(text); });
    }
    {
        TOwnedList list(KelNewCreated<TKelList>());
        ReadsWell([&] { list->SetXMLData(text); });
    }
    CheckNothingLeft();
    return 0;
}

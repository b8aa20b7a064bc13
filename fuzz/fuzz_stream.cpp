// The stream reader of the persistence layer, as a list object's record and
// as a bare list. What reads well is written out and read again to the same
// objects.

#include "PersistHarness.h"

namespace {
void ReadListObj(const QByteArray& Bytes) {
    TMemoryStream in(Bytes);
    TOwnedListObj obj = NewListObj();
    if (!ReadsWell([&] { obj->LoadFromStream(in); }))
        return;
    TMemoryStream out;
    obj->SaveToStream(out);
    out.SetPosition(0);
    TOwnedListObj again = NewListObj();
    FUZZ_CHECK(ReadsWell([&] { again->LoadFromStream(out); }));
    FUZZ_CHECK(Describe(again.get()) == Describe(obj.get()));
}

void ReadList(const QByteArray& Bytes) {
    TMemoryStream in(Bytes);
    TOwnedList list(KelNewCreated<TKelList>());
    ReadsWell([&] { list->LoadFromStream(in, TNote::StaticClass()); });
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartPersistFuzzing();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const QByteArray bytes(reinterpret_cast<const char*>(Data), qsizetype(Size));
    ReadListObj(bytes);
    ReadList(bytes);
    CheckNothingLeft();
    return 0;
}

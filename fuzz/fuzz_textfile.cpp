// The text-file reader of the persistence layer. What reads well is written
// out and read again to the same objects.

#include "PersistHarness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartPersistFuzzing();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    {
        TTextFile f(QByteArray(reinterpret_cast<const char*>(Data), qsizetype(Size)));
        TOwnedListObj obj = NewListObj();
        if (ReadsWell([&] { obj->LoadFromF(f); })) {
            TTextFile out;
            obj->SaveToF(out);
            TTextFile in(out.Data());
            TOwnedListObj again = NewListObj();
            FUZZ_CHECK(ReadsWell([&] { again->LoadFromF(in); }));
            FUZZ_CHECK(Describe(again.get()) == Describe(obj.get()));
        }
    }
    CheckNothingLeft();
    return 0;
}

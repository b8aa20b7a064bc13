#pragma once
// Shared by the persistence harnesses: the test suite's element class, and
// a read that must end either well or in one of the readers' exceptions,
// freeing everything it made either way.

#include "FuzzSupport.h"
#include "kel/PersistFixtures.h"

#include <functional>

// Items without stored data are bounded by memory, not by the input's size;
// the limit keeps each run well inside the fuzzer's own.
inline void StartPersistFuzzing() {
    StartFuzzApp(TFuzzApp::Core);
    RegisterTestClasses();
    SetItemMemoryLimit(16 << 20);
}

// True when Read ran through; a reader's exception is the expected end of
// damaged input.
inline bool ReadsWell(const std::function<void()>& Read) {
    try {
        Read();
        return true;
    } catch (const Exception&) {
        return false;
    }
}

// Objects read from fuzzed data hold only what they read: every note made
// was freed with them.
inline void CheckNothingLeft() {
    FUZZ_CHECK(TNote::Live == 0);
}

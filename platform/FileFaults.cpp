#include "FileFaults.h"

#include <utility>

namespace {
TFileCallHook& Hook() {
    static TFileCallHook hook;
    return hook;
}
} // namespace

void SetFileCallHook(TFileCallHook Hook_) {
    Hook() = std::move(Hook_);
}

int InjectedFileError(TFileCall Call) {
    const TFileCallHook& hook = Hook();
    return hook ? hook(Call) : 0;
}

#pragma once
// The file seams set for one test and put back however it ends: a lock wait
// of the test's choosing, and a hook on the file calls.

#include "FileFaults.h"
#include "LockedFile.h"

#include <chrono>
#include <utility>

struct TLockWait {
    std::chrono::milliseconds Old = LockWait();
    explicit TLockWait(std::chrono::milliseconds Wait) { SetLockWait(Wait); }
    ~TLockWait() { SetLockWait(Old); }
    TLockWait(const TLockWait&) = delete;
    TLockWait& operator=(const TLockWait&) = delete;
};

struct TFileHook {
    explicit TFileHook(TFileCallHook Hook) { SetFileCallHook(std::move(Hook)); }
    ~TFileHook() { SetFileCallHook({}); }
    TFileHook(const TFileHook&) = delete;
    TFileHook& operator=(const TFileHook&) = delete;
};

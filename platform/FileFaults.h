#pragma once
// A seam for the system calls that read, lock and replace a file, so that
// tests can make one of them fail as a full disk or a failing drive would, or
// act while a lock is being waited for. The program never sets a hook.

#include <functional>

enum class TFileCall {
    OpenUnnamed, // the nameless temporary file (O_TMPFILE)
    Write,
    Sync,   // fsync of the new file or of its folder
    Link,   // naming the nameless file
    Rename, // putting the new file in place
    Lock,   // each try for a file's lock (flock), also while waiting for it
    Read,   // reading a file's bytes
};

// Returns the errno the call fails with, or 0 to let it run.
using TFileCallHook = std::function<int(TFileCall)>;
void SetFileCallHook(TFileCallHook Hook); // an empty hook lets every call run

// The injected error for Call; 0 when there is none.
int InjectedFileError(TFileCall Call);

#pragma once
// The process's memory holds pages and passwords in plain text; no image of
// it may land on disk.

// Sets the core file size limit to 0 and makes the process non-dumpable,
// which also keeps other processes of the user from reading its memory.
// Called first thing in main.
void DisableCoreDumps();

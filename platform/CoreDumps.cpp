#include "CoreDumps.h"

#include <sys/prctl.h>
#include <sys/resource.h>

void DisableCoreDumps() {
    // Lowering a limit cannot be refused; the hard limit goes too, so that
    // nothing started from here raises it again.
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

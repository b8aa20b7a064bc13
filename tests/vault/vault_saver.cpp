// Saves a vault over and over until it is killed: vault_saver <vault>
// <first generation> [fallback]. Before each save it writes the generation
// number to its standard output, so the parent knows which two contents the
// file may hold when it kills it. "fallback" makes the nameless temporary
// file unavailable, so the named one is used.

#include "CoreDumps.h"
#include "FileFaults.h"
#include "SaverPages.h"
#include "vmr_vault.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    // As the program does: the saver runs non-dumpable, where /proc/self/fd
    // must still serve to name the new file.
    DisableCoreDumps();
    if (argc > 3 && std::string(argv[3]) == "fallback")
        SetFileCallHook(
            [](TFileCall Call) { return Call == TFileCall::OpenUnnamed ? EOPNOTSUPP : 0; });
    const QString vault = QString::fromLocal8Bit(argv[1]);
    TOwnedPages variants[kSaverVariants];
    for (int v = 0; v < kSaverVariants; ++v)
        FillSaverPages(variants[v], v);
    try {
        for (long long g = std::stoll(argv[2]);; ++g) {
            const std::string line = std::to_string(g) + '\n';
            if (::write(1, line.data(), line.size()) != ssize_t(line.size()))
                return 3;
            const TPageList& pages = *variants[g % kSaverVariants].List;
            WriteVaultFile(vault, pages, pages.Count());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

#include "cCipherUtils.h"

#include <cstring>

void SecureZero(void* Buffer, std::ptrdiff_t Count) noexcept {
    if (Buffer == nullptr || Count <= 0)
        return;
    std::memset(Buffer, 0, static_cast<size_t>(Count));
    // The optimiser must assume the zeros are read, so it keeps the memset.
    __asm__ __volatile__("" : : "r"(Buffer) : "memory");
}

void SecureZero(std::string& s) noexcept {
    // Wipe the whole buffer, not just the used part: shorter contents may have
    // left older secrets behind the terminator.
    s.resize(s.capacity());
    SecureZero(s.data(), static_cast<std::ptrdiff_t>(s.size()));
    s.clear();
}

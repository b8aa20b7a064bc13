#include "cCipherUtils.h"

void SecureZero(void* Buffer, std::ptrdiff_t Count) noexcept {
    if (Buffer == nullptr || Count <= 0)
        return;
    volatile unsigned char* p = static_cast<volatile unsigned char*>(Buffer);
    for (std::ptrdiff_t i = 0; i < Count; ++i)
        p[i] = 0;
}

void SecureZero(std::string& s) noexcept {
    // Wipe the whole buffer, not just the used part: shorter contents may have
    // left older secrets behind the terminator.
    s.resize(s.capacity());
    SecureZero(s.data(), static_cast<std::ptrdiff_t>(s.size()));
    s.clear();
}

#pragma once
// The cipher's own exception and the wipe routine. Standard library only.

#include "Exception.h"

#include <cstddef>
#include <cstdint>
#include <string>

class ECipher : public Exception {
public:
    ECipher(int32_t errorCode, const std::string& msg) : Exception(msg), FErrorCode(errorCode) {}
    int32_t ErrorCode() const noexcept { return FErrorCode; }

private:
    int32_t FErrorCode;
};

// Writes Count zero bytes at Buffer in a way the optimiser may not drop.
// Does nothing when Count is 0 or negative.
void SecureZero(void* Buffer, std::ptrdiff_t Count) noexcept;

// Wipes a byte string's whole storage and empties it.
void SecureZero(std::string& s) noexcept;

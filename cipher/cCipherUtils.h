#pragma once
// The system's base exception class, the cipher's own exception and the wipe
// routine. Standard library only: every other folder builds on this one.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

// Base of every error the system raises. The message is UTF-8 text and is what
// the error box shows.
class Exception : public std::exception {
public:
    explicit Exception(std::string msg) : FMessage(std::move(msg)) {}
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const noexcept { return FMessage; }

private:
    std::string FMessage;
};

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

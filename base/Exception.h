#pragma once
// The system's base exception class. Standard library only, and below every
// library: the cipher and everything built on it include it.

#include <exception>
#include <string>
#include <utility>

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

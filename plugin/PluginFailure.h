// The failure kinds raised inside the plug-in and caught only at its entry point: a message
// for the host to show, or a host result code. Anything else thrown counts as the third kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

// A failure whose text the host shows to the user (result errReportString).
class CMessageFailure : public std::runtime_error {
public:
    explicit CMessageFailure(const std::string& message) : std::runtime_error(message) {}
};

// A failure reported to the host as its own 16-bit result code.
class CHostCodeFailure : public std::exception {
public:
    explicit CHostCodeFailure(int16_t code) : m_code(code) {}
    int16_t Code() const { return m_code; }
    const char* what() const noexcept override { return "host error code"; }

private:
    int16_t m_code;
};

// Host result codes the plug-in raises itself.
constexpr int16_t kUserCanceledErr = -128;
constexpr int16_t kFilterBadMode = -30101;
constexpr int16_t kErrReportString = -30904;
constexpr int16_t kErrMissingParameter = -1715;
constexpr int16_t kReadErr = -19;
constexpr int16_t kOtherFailure = -1;

// Stores `message` as a Pascal string (length byte, then the characters) in a 256-byte
// buffer; a message of 256 characters or more does not fit and leaves the buffer unchanged.
inline bool StorePascalString(unsigned char* buffer, const char* message) {
    size_t length = 0;
    while (message[length] && length < 256) ++length;
    if (length >= 256)
        return false;
    buffer[0] = static_cast<unsigned char>(length);
    for (size_t i = 0; i < length; ++i) buffer[1 + i] = static_cast<unsigned char>(message[i]);
    return true;
}

[[noreturn]] inline void FailMessage(const std::string& message) {
    throw CMessageFailure(message);
}

[[noreturn]] inline void FailCode(int16_t code) {
    throw CHostCodeFailure(code);
}

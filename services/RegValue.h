// The typed cache of one registry value and the conversions its readers use; portable, so the
// registry classes keep only the Windows calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Entry types, numbered as the registry's own value types.
enum class RegType : uint32_t {
    None = 0,      // nothing cached yet: a looked-up name the key does not hold
    Text = 1,      // REG_SZ
    Bytes = 3,     // REG_BINARY
    Number = 4,    // REG_DWORD
    TextList = 7,  // REG_MULTI_SZ
};

// One cached value. Owns a 2048-byte text buffer (allocated on first need) that holds assigned
// text and the text form returned by Text(); the pointer Text() returns stays valid until
// the next assignment or Text() call.
class CRegValue {
public:
    static constexpr size_t kTextSize = 2048;  // text buffer, terminator included

    CRegValue() = default;
    CRegValue(const CRegValue&) = delete;
    CRegValue& operator=(const CRegValue&) = delete;

    // Text cut to the buffer, terminator included.
    void AssignText(const char* text);
    // Text as the registry returns it: `length` bytes that need not be terminated.
    void AssignTextData(const void* data, size_t length);
    void AssignNumber(uint32_t number);
    // Length 0 leaves the value as it was and returns false.
    bool AssignBytes(const void* bytes, size_t length);
    void AssignTextList(const void* block, size_t length);

    RegType Type() const { return m_type; }
    uint32_t Number() const { return m_number; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    const std::vector<std::string>& TextList() const { return m_list; }

    // The value as text: bytes up to 2047 of them, a number in decimal, a list as consecutive
    // terminated strings, nothing as the empty text.
    const char* Text();
    // Text and bytes converted as a base-10 long, a number as is, anything else 0.
    int32_t Int();
    bool Bool() { return Int() != 0; }

private:
    char* Buffer();

    RegType m_type = RegType::None;
    uint32_t m_number = 0;
    std::unique_ptr<char[]> m_text;
    std::vector<uint8_t> m_bytes;
    std::vector<std::string> m_list;
};

// The typed cache of one registry value.
#include "RegValue.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "RegText.h"

char* CRegValue::Buffer() {
    if (!m_text) {
        m_text = std::make_unique<char[]>(kTextSize);
        m_text[0] = '\0';
    }
    return m_text.get();
}

void CRegValue::AssignText(const char* text) {
    regtext::CopyText(text ? std::string_view(text) : std::string_view(), Buffer(), kTextSize);
    m_type = RegType::Text;
}

void CRegValue::AssignTextData(const void* data, size_t length) {
    const char* p = static_cast<const char*>(data);
    size_t n = 0;
    if (p != nullptr) {
        const void* nul = std::memchr(p, '\0', length);
        n = nul ? static_cast<size_t>(static_cast<const char*>(nul) - p) : length;
    }
    regtext::CopyText(std::string_view(p ? p : "", n), Buffer(), kTextSize);
    m_type = RegType::Text;
}

void CRegValue::AssignNumber(uint32_t number) {
    m_number = number;
    m_type = RegType::Number;
}

bool CRegValue::AssignBytes(const void* bytes, size_t length) {
    if (bytes == nullptr || length == 0) {
        return false;
    }
    const auto* p = static_cast<const uint8_t*>(bytes);
    m_bytes.assign(p, p + length);
    m_type = RegType::Bytes;
    return true;
}

void CRegValue::AssignTextList(const void* block, size_t length) {
    m_list = regtext::SplitMultiSz(block, length);
    m_type = RegType::TextList;
}

const char* CRegValue::Text() {
    char* buffer = Buffer();
    switch (m_type) {
        case RegType::Bytes: {
            const size_t n = m_bytes.size() < kTextSize - 1 ? m_bytes.size() : kTextSize - 1;
            if (n > 0) {
                std::memcpy(buffer, m_bytes.data(), n);
            }
            buffer[n] = '\0';
            break;
        }
        case RegType::Number:
            std::snprintf(buffer, kTextSize, "%lu", static_cast<unsigned long>(m_number));
            break;
        case RegType::TextList:
            regtext::JoinMultiSz(m_list, buffer, kTextSize);
            break;
        case RegType::Text:
            break;
        case RegType::None:
            buffer[0] = '\0';
            break;
    }
    return buffer;
}

int32_t CRegValue::Int() {
    switch (m_type) {
        case RegType::Text:
        case RegType::Bytes:
            return regtext::ParseLong(Text());
        case RegType::Number:
            return static_cast<int32_t>(m_number);
        default:
            return 0;
    }
}

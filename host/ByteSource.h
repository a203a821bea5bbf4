// Random access to the bytes of a file, so that metadata is read without loading whole
// images. Portable; the Windows file behind it is in ImageFileWin.cpp.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vg::host {

class CByteSource {
public:
    virtual ~CByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly n bytes at offset; false when they are not all there or the read fails.
    virtual bool Read(uint64_t offset, void* out, size_t n) = 0;

    // n bytes at offset as text; false as Read.
    bool ReadText(uint64_t offset, size_t n, std::string* out) {
        if (offset > Size() || n > Size() - offset)
            return false;
        out->resize(n);
        return n == 0 || Read(offset, &(*out)[0], n);
    }
};

// Bytes held in memory (borrowed: they must outlive the source).
class CMemorySource : public CByteSource {
public:
    explicit CMemorySource(std::string_view bytes) : m_bytes(bytes) {}
    uint64_t Size() const override { return m_bytes.size(); }
    bool Read(uint64_t offset, void* out, size_t n) override {
        if (offset > m_bytes.size() || n > m_bytes.size() - offset)
            return false;
        if (n > 0)
            std::memcpy(out, m_bytes.data() + offset, n);
        return true;
    }

private:
    std::string_view m_bytes;
};

}  // namespace vg::host

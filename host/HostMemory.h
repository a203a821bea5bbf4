// Memory a host lends a plug-in: handles (handle procs), buffers (buffer procs) and blocks of
// the buffer suite, with the free space the host reports. Portable.
#pragma once

#include "sdk/PluginInterface.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vg::host {

// Owns every handle, buffer and suite block it hands out until the plug-in frees it (or the
// run ends, for buffers and blocks). A Handle is the address of the owning record's pointer
// field, so *h is the block. Calls with pointers that are not ours are ignored or refused,
// never followed. Buffers and blocks together never exceed the space limit.
class CHostMemory {
public:
    static constexpr int32_t kMaxHandleSize = 1 << 30;

    explicit CHostMemory(int64_t maxSpace = int64_t(1) << 30) : m_maxSpace(maxSpace) {}
    CHostMemory(const CHostMemory&) = delete;
    CHostMemory& operator=(const CHostMemory&) = delete;

    void SetMaxSpace(int64_t maxSpace) { m_maxSpace = maxSpace; }

    // Handles: zero-filled, 0 to kMaxHandleSize bytes; nullptr when refused.
    ps::Handle NewHandle(int32_t size);
    void DisposeHandle(ps::Handle h);
    bool Owns(ps::Handle h) const { return m_handles.count(h) != 0; }
    int32_t HandleSize(ps::Handle h) const;  // 0 for a handle that is not ours
    // Resizes keeping the contents; a locked handle keeps its address and cannot grow.
    ps::OSErr SetHandleSize(ps::Handle h, int32_t size);
    ps::Ptr LockHandle(ps::Handle h);
    void UnlockHandle(ps::Handle h);
    ps::Handle HandleFromBytes(const std::string& bytes);
    std::string HandleBytes(ps::Handle h) const;
    int32_t LiveHandles() const { return int32_t(m_handles.size()); }

    // Buffers and suite blocks, limited by the space left.
    int64_t Space() const;
    ps::OSErr AllocateBuffer(int64_t size, ps::BufferID* id);
    ps::Ptr LockBuffer(ps::BufferID id);
    void FreeBuffer(ps::BufferID id);
    // At least minimum and at most requested bytes (minimum wins over requested); nullptr when
    // not even minimum fits.
    ps::Ptr SuiteNew(uint64_t requested, uint64_t minimum, uint64_t* granted);
    void SuiteDispose(ps::Ptr* p);
    uint64_t SuiteSize(ps::Ptr p) const;
    // Frees every buffer and block; returns how many there were.
    int32_t FreeAllBuffers();

    // Most bytes held in buffers and blocks at once since the last reset.
    int64_t PeakBytes() const { return m_peakBytes; }
    void ResetPeak() { m_peakBytes = m_heldBytes; }

private:
    struct HandleBlock {
        char* ptr = nullptr;  // first member: the Handle is the address of this pointer
        int32_t size = 0;
        bool locked = false;
        HandleBlock() = default;
        ~HandleBlock() { delete[] ptr; }
        HandleBlock(const HandleBlock&) = delete;
        HandleBlock& operator=(const HandleBlock&) = delete;
    };

    HandleBlock* Find(ps::Handle h) const;
    void Held(int64_t delta);

    int64_t m_maxSpace;
    std::map<ps::Handle, std::unique_ptr<HandleBlock>> m_handles;
    struct Buffer {
        std::vector<char> data;  // at least one byte, so that even an empty buffer has an address
        int64_t size = 0;        // as requested and counted against the space
    };

    std::map<ps::BufferID, std::unique_ptr<Buffer>> m_buffers;
    std::map<ps::Ptr, std::pair<std::unique_ptr<char[]>, size_t>> m_blocks;
    int64_t m_heldBytes = 0;
    int64_t m_peakBytes = 0;
};

}  // namespace vg::host

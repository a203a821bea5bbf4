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
// Large suite blocks the plug-in gives back stay allocated as spares and serve later requests
// of about their size, in this run or the next: a host keeps its memory between runs, and
// fresh memory costs a page fault per page on first touch, which for an image-sized working
// plane is as much as a filter pass. Held blocks and spares together stay within the limit;
// spares are released when the limit needs their room and with the object.
class CHostMemory {
public:
    static constexpr int32_t kMaxHandleSize = 1 << 30;

    // Suite blocks of at least this many bytes are kept as spares when given back.
    static constexpr uint64_t kSpareMinBytes = uint64_t(1) << 20;

    explicit CHostMemory(int64_t maxSpace = int64_t(1) << 30) : m_maxSpace(maxSpace) {}
    CHostMemory(const CHostMemory&) = delete;
    CHostMemory& operator=(const CHostMemory&) = delete;

    void SetMaxSpace(int64_t maxSpace);

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
    // not even minimum fits. The contents are undefined, as with any host's buffer suite: a
    // spare still holds what its last user wrote.
    ps::Ptr SuiteNew(uint64_t requested, uint64_t minimum, uint64_t* granted);
    void SuiteDispose(ps::Ptr* p);
    uint64_t SuiteSize(ps::Ptr p) const;
    // Frees every buffer and block; returns how many there were. Spares stay.
    int32_t FreeAllBuffers();
    // Bytes kept in spare blocks, how many requests they served, and giving them all back.
    int64_t SpareBytes() const { return m_spareBytes; }
    int64_t SparesReused() const { return m_sparesReused; }
    void ReleaseSpares();

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

    struct SuiteBlock {
        std::unique_ptr<char[]> data;
        size_t size = 0;      // granted and counted against the space
        size_t capacity = 0;  // allocated; more than size when a larger spare served it
    };

    HandleBlock* Find(ps::Handle h) const;
    void Held(int64_t delta);
    // Releases spares, largest first, until held blocks + spares + extra fit within the limit.
    void TrimSpares(uint64_t extra);

    int64_t m_maxSpace;
    std::map<ps::Handle, std::unique_ptr<HandleBlock>> m_handles;
    struct Buffer {
        std::vector<char> data;  // at least one byte, so that even an empty buffer has an address
        int64_t size = 0;        // as requested and counted against the space
    };

    std::map<ps::BufferID, std::unique_ptr<Buffer>> m_buffers;
    std::map<ps::Ptr, SuiteBlock> m_blocks;
    std::multimap<size_t, std::unique_ptr<char[]>> m_spares;  // by capacity
    int64_t m_spareBytes = 0;
    int64_t m_slackBytes = 0;  // capacity of held blocks beyond their granted size
    int64_t m_sparesReused = 0;
    int64_t m_heldBytes = 0;
    int64_t m_peakBytes = 0;
};

}  // namespace vg::host

// Host memory lent to a plug-in.
#include "host/HostMemory.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

namespace vg::host {

// No exception may reach the plug-in's frames: every entry point that allocates catches.

ps::Handle CHostMemory::NewHandle(int32_t size) {
    try {
        if (size < 0 || size > kMaxHandleSize)
            return nullptr;
        auto block = std::make_unique<HandleBlock>();
        block->ptr = new (std::nothrow) char[size_t(std::max(size, 1))]();
        if (block->ptr == nullptr)
            return nullptr;
        block->size = size;
        ps::Handle h = &block->ptr;
        m_handles[h] = std::move(block);
        return h;
    } catch (...) {
        return nullptr;
    }
}

CHostMemory::HandleBlock* CHostMemory::Find(ps::Handle h) const {
    auto it = m_handles.find(h);
    return it == m_handles.end() ? nullptr : it->second.get();
}

void CHostMemory::DisposeHandle(ps::Handle h) {
    m_handles.erase(h);  // not ours (or already gone): nothing happens
}

int32_t CHostMemory::HandleSize(ps::Handle h) const {
    const HandleBlock* block = Find(h);
    return block ? block->size : 0;
}

ps::OSErr CHostMemory::SetHandleSize(ps::Handle h, int32_t size) {
    HandleBlock* block = Find(h);
    if (block == nullptr)
        return ps::nilHandleErr;
    if (size < 0 || size > kMaxHandleSize)
        return ps::memFullErr;
    if (block->locked && size > block->size)
        return ps::memFullErr;  // a locked block cannot move
    if (size == block->size)
        return ps::noErr;
    if (block->locked) {
        // Shrinking in place keeps the locked address.
        block->size = size;
        return ps::noErr;
    }
    char* p = new (std::nothrow) char[size_t(std::max(size, 1))]();
    if (p == nullptr)
        return ps::memFullErr;
    std::memcpy(p, block->ptr, size_t(std::min(size, block->size)));
    delete[] block->ptr;
    block->ptr = p;
    block->size = size;
    return ps::noErr;
}

ps::Ptr CHostMemory::LockHandle(ps::Handle h) {
    HandleBlock* block = Find(h);
    if (block == nullptr)
        return nullptr;
    block->locked = true;
    return block->ptr;
}

void CHostMemory::UnlockHandle(ps::Handle h) {
    if (HandleBlock* block = Find(h))
        block->locked = false;
}

ps::Handle CHostMemory::HandleFromBytes(const std::string& bytes) {
    if (bytes.size() > size_t(kMaxHandleSize))
        return nullptr;
    ps::Handle h = NewHandle(int32_t(bytes.size()));
    if (h != nullptr && !bytes.empty())
        std::memcpy(*h, bytes.data(), bytes.size());
    return h;
}

std::string CHostMemory::HandleBytes(ps::Handle h) const {
    try {
        const HandleBlock* block = Find(h);
        return block ? std::string(block->ptr, size_t(block->size)) : std::string();
    } catch (...) {
        return std::string();
    }
}

int64_t CHostMemory::Space() const {
    return std::max<int64_t>(0, m_maxSpace - m_heldBytes);
}

void CHostMemory::Held(int64_t delta) {
    m_heldBytes += delta;
    m_peakBytes = std::max(m_peakBytes, m_heldBytes);
}

ps::OSErr CHostMemory::AllocateBuffer(int64_t size, ps::BufferID* id) {
    try {
        if (id == nullptr || size < 0)
            return ps::paramErr;
        *id = nullptr;
        if (size > Space())
            return ps::memFullErr;
        auto buffer = std::make_unique<Buffer>();
        buffer->data.assign(size_t(std::max<int64_t>(size, 1)), 0);
        buffer->size = size;
        ps::BufferID bid = reinterpret_cast<ps::BufferID>(buffer.get());
        m_buffers[bid] = std::move(buffer);
        Held(size);
        *id = bid;
        return ps::noErr;
    } catch (...) {
        return ps::memFullErr;
    }
}

ps::Ptr CHostMemory::LockBuffer(ps::BufferID id) {
    auto it = m_buffers.find(id);
    return it == m_buffers.end() ? nullptr : it->second->data.data();
}

void CHostMemory::FreeBuffer(ps::BufferID id) {
    auto it = m_buffers.find(id);
    if (it == m_buffers.end())
        return;
    Held(-it->second->size);
    m_buffers.erase(it);
}

ps::Ptr CHostMemory::SuiteNew(uint64_t requested, uint64_t minimum, uint64_t* granted) {
    try {
        uint64_t size = std::max(requested, minimum);
        const uint64_t space = uint64_t(Space());
        if (size > space)
            size = std::max(minimum, space);
        if (size > space || size > (uint64_t(1) << 40))
            return nullptr;
        SuiteBlock block;
        block.size = size_t(size);
        // A spare serves a request of its size down to two thirds of it (the next photograph of
        // a batch may be a little smaller), so that at most a third of it is wasted.
        auto spare = size >= kSpareMinBytes ? m_spares.lower_bound(size_t(size)) : m_spares.end();
        if (spare != m_spares.end() && spare->first - size <= size / 2) {
            block.capacity = spare->first;
            block.data = std::move(spare->second);
            m_spares.erase(spare);
            m_spareBytes -= int64_t(block.capacity);
            ++m_sparesReused;
        } else {
            TrimSpares(size);
            block.capacity = size_t(std::max<uint64_t>(size, 1));
            block.data.reset(new (std::nothrow) char[block.capacity]);
            if (!block.data)
                return nullptr;
        }
        ps::Ptr p = block.data.get();
        const int64_t slack = int64_t(block.capacity - block.size);
        m_blocks[p] = std::move(block);
        m_slackBytes += slack;
        Held(int64_t(size));
        if (granted)
            *granted = size;
        return p;
    } catch (...) {
        return nullptr;
    }
}

void CHostMemory::SuiteDispose(ps::Ptr* p) {
    if (p == nullptr || *p == nullptr)
        return;
    auto it = m_blocks.find(*p);
    if (it != m_blocks.end()) {
        SuiteBlock block = std::move(it->second);
        m_blocks.erase(it);
        Held(-int64_t(block.size));
        m_slackBytes -= int64_t(block.capacity - block.size);
        if (block.capacity >= kSpareMinBytes) {
            try {
                TrimSpares(block.capacity);
                if (m_heldBytes + m_slackBytes + m_spareBytes + int64_t(block.capacity) <=
                    m_maxSpace) {
                    m_spares.emplace(block.capacity, std::move(block.data));
                    m_spareBytes += int64_t(block.capacity);
                }
            } catch (...) {
                // No room to note the spare: the block is simply freed.
            }
        }
    }
    *p = nullptr;
}

uint64_t CHostMemory::SuiteSize(ps::Ptr p) const {
    auto it = m_blocks.find(p);
    return it == m_blocks.end() ? 0 : it->second.size;
}

void CHostMemory::TrimSpares(uint64_t extra) {
    while (!m_spares.empty() && uint64_t(m_heldBytes + m_slackBytes + m_spareBytes) + extra >
                                    uint64_t(std::max<int64_t>(m_maxSpace, 0))) {
        auto largest = std::prev(m_spares.end());
        m_spareBytes -= int64_t(largest->first);
        m_spares.erase(largest);
    }
}

void CHostMemory::ReleaseSpares() {
    m_spares.clear();
    m_spareBytes = 0;
}

void CHostMemory::SetMaxSpace(int64_t maxSpace) {
    m_maxSpace = maxSpace;
    TrimSpares(0);
}

int32_t CHostMemory::FreeAllBuffers() {
    const int32_t n = int32_t(m_buffers.size() + m_blocks.size());
    m_buffers.clear();
    m_blocks.clear();
    m_heldBytes = 0;
    m_slackBytes = 0;
    return n;
}

}  // namespace vg::host

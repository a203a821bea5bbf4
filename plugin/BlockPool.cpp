// The plug-in's own heap for the engine, with blocks kept between engine calls.
#include "plugin/BlockPool.h"

#include <cstdlib>
#include <new>

CBlockPool::~CBlockPool() {
    Trim();
    for (const auto& used : m_inUse) std::free(used.first);
}

void* CBlockPool::Alloc(uint32_t size) {
    const std::size_t want = size ? size : 1;
    // The smallest kept block that fits, unless it would waste more than it holds.
    auto kept = m_kept.lower_bound(want);
    if (kept != m_kept.end() && kept->first <= 2 * want) {
        void* block = kept->second;
        const std::size_t have = kept->first;
        try {
            m_inUse.emplace(block, have);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        m_kept.erase(kept);
        m_keptBytes -= have;
        return block;
    }
    void* block = std::malloc(want);
    if (block == nullptr && !m_kept.empty()) {
        Trim();  // kept memory must never cause an out-of-memory
        block = std::malloc(want);
    }
    if (block == nullptr)
        return nullptr;
    try {
        m_inUse.emplace(block, want);
    } catch (const std::bad_alloc&) {
        std::free(block);
        return nullptr;
    }
    return block;
}

bool CBlockPool::Free(void* block) {
    const auto used = m_inUse.find(block);
    if (used == m_inUse.end())
        return false;
    const std::size_t size = used->second;
    m_inUse.erase(used);
    if (m_keptBytes + size <= kKeepBytes) {
        try {
            m_kept.emplace(size, block);
            m_keptBytes += size;
            return true;
        } catch (const std::bad_alloc&) {
        }
    }
    std::free(block);
    return true;
}

void CBlockPool::Trim() {
    for (const auto& kept : m_kept) std::free(kept.second);
    m_kept.clear();
    m_keptBytes = 0;
}

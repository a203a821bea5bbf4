// The plug-in's own heap for the engine's working memory when the host offers no buffer
// suite: blocks the engine gives back are kept for its next call within the same host call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

// Owns every block it handed out and every block it keeps. A preview asks for the same
// blocks on every call; the C runtime's heap hands blocks of more than about half a megabyte
// straight back to the system, so each call would fault in and zero all of its pages again
// (a quarter of a 500 x 500 preview's time under Wine). Kept blocks are given back by Trim,
// which the plug-in calls before it returns to the host, and whenever the heap refuses a
// block; at most kKeepBytes are kept.
class CBlockPool {
public:
    static constexpr std::size_t kKeepBytes = std::size_t{256} << 20;

    CBlockPool() = default;
    ~CBlockPool();
    CBlockPool(const CBlockPool&) = delete;
    CBlockPool& operator=(const CBlockPool&) = delete;

    // A block of at least `size` bytes (a kept one of at most twice that size, or a new
    // one); null when the heap has none.
    void* Alloc(uint32_t size);
    // Takes back a block from Alloc, to keep or to free; false for any other pointer.
    bool Free(void* block);
    // Frees the kept blocks.
    void Trim();

    std::size_t BlocksInUse() const { return m_inUse.size(); }
    std::size_t BlocksKept() const { return m_kept.size(); }

private:
    std::map<void*, std::size_t> m_inUse;      // block -> its size
    std::multimap<std::size_t, void*> m_kept;  // size -> block
    std::size_t m_keptBytes = 0;
};

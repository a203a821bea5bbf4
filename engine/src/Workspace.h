// Working memory of one engine call, taken from the host's allocator and always given back.
#pragma once

#include "Plane.h"
#include "vwGlaze.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vg {

// Owns every block it obtained through the host's allocator and frees them all on destruction,
// so each exit path of a call is balanced. A freed full-size plane's block is kept for the next
// plane of that size: fresh host memory costs a page fault per page on first touch, which for
// full-size planes is as much as a filter pass. Used from the calling thread only.
class CWorkspace {
public:
    CWorkspace(VwAllocProc allocProc, VwFreeProc freeProc, void* context)
        : m_alloc(allocProc), m_free(freeProc), m_context(context) {}
    ~CWorkspace();
    CWorkspace(const CWorkspace&) = delete;
    CWorkspace& operator=(const CWorkspace&) = delete;

    // Returns null when the host has no memory or the size cannot be expressed as 32 bits.
    void* Alloc(std::size_t bytes);
    void Free(void* block);

    // count floats aligned to 64 bytes, given back with the workspace; null when out of memory.
    float* AllocFloats(std::size_t count);
    void FreeFloats(float* data);

    // A plane with rows padded to a multiple of 16 floats (narrow planes are not padded, so a
    // tall, thin image costs no more than its pixels); false when out of memory.
    bool AllocPlane(Plane& plane, int width, int height);
    // The row stride, in floats, of such a plane.
    static std::size_t PlaneStride(int width) {
        return width < 16 ? static_cast<std::size_t>(width)
                          : (static_cast<std::size_t>(width) + 15) & ~std::size_t{15};
    }
    void FreePlane(Plane& plane);
    bool AllocPlanes(Planes3& planes, int width, int height);
    void FreePlanes(Planes3& planes);

    std::size_t BlocksHeld() const { return m_blocks.size(); }

private:
    VwAllocProc m_alloc;
    VwFreeProc m_free;
    void* m_context;
    std::vector<void*> m_blocks;
    struct PlaneBlock {
        float* data;  // aligned start
        void* block;  // the host's block
        std::size_t floats;
    };
    std::vector<PlaneBlock> m_planeBlocks;  // in use
    std::vector<PlaneBlock> m_floatBlocks;  // AllocFloats blocks in use
    std::vector<PlaneBlock> m_spare;        // freed full-size planes, kept for reuse
    std::size_t m_largestPlane = 0;
};

}  // namespace vg

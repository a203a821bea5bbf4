// Host-allocated working memory with balanced release.
#include "Workspace.h"

#include "WorkerTeam.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace vg {

namespace {
constexpr std::size_t kAlign = 64;
}  // namespace

CWorkspace::~CWorkspace() {
    const CHostFloatScope hostMode;
    for (auto it = m_blocks.rbegin(); it != m_blocks.rend(); ++it) {
        m_free(*it, m_context);
    }
}

void* CWorkspace::Alloc(std::size_t bytes) {
    if (bytes == 0 || bytes > UINT32_MAX) {
        return nullptr;
    }
    try {
        m_blocks.reserve(m_blocks.size() + 1);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    void* block;
    {
        const CHostFloatScope hostMode;
        block = m_alloc(static_cast<uint32_t>(bytes), m_context);
    }
    if (block != nullptr) {
        m_blocks.push_back(block);
    }
    return block;
}

void CWorkspace::Free(void* block) {
    if (block == nullptr) {
        return;
    }
    auto it = std::find(m_blocks.begin(), m_blocks.end(), block);
    if (it != m_blocks.end()) {
        m_blocks.erase(it);
        const CHostFloatScope hostMode;
        m_free(block, m_context);
    }
}

float* CWorkspace::AllocFloats(std::size_t count) {
    if (count == 0 || count > (UINT32_MAX - kAlign) / sizeof(float)) {
        return nullptr;
    }
    try {
        m_floatBlocks.reserve(m_floatBlocks.size() + 1);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    void* block = Alloc(count * sizeof(float) + kAlign);
    if (block == nullptr) {
        return nullptr;
    }
    // Host blocks carry no alignment promise.
    auto address = reinterpret_cast<std::uintptr_t>(block);
    address = (address + kAlign - 1) & ~static_cast<std::uintptr_t>(kAlign - 1);
    m_floatBlocks.push_back({reinterpret_cast<float*>(address), block, count});
    return m_floatBlocks.back().data;
}

void CWorkspace::FreeFloats(float* data) {
    for (auto it = m_floatBlocks.begin(); it != m_floatBlocks.end(); ++it) {
        if (it->data == data) {
            void* block = it->block;
            m_floatBlocks.erase(it);
            Free(block);
            return;
        }
    }
}

bool CWorkspace::AllocPlane(Plane& plane, int width, int height) {
    plane = Plane{};
    if (width <= 0 || height <= 0) {
        return false;
    }
    const std::size_t stride = PlaneStride(width);
    const std::size_t floats = stride * static_cast<std::size_t>(height);
    if (floats > (UINT32_MAX - kAlign) / sizeof(float)) {
        return false;
    }
    try {
        m_planeBlocks.reserve(m_planeBlocks.size() + 1);
        m_spare.reserve(m_spare.size() + m_planeBlocks.size() + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    PlaneBlock pb{};
    for (auto it = m_spare.begin(); it != m_spare.end(); ++it) {
        if (it->floats == floats) {
            pb = *it;
            m_spare.erase(it);
            break;
        }
    }
    if (pb.block == nullptr) {
        // Host blocks carry no alignment promise; align the rows for the vector kernels.
        void* block = Alloc(floats * sizeof(float) + kAlign);
        if (block == nullptr) {
            return false;
        }
        auto address = reinterpret_cast<std::uintptr_t>(block);
        address = (address + kAlign - 1) & ~static_cast<std::uintptr_t>(kAlign - 1);
        pb = {reinterpret_cast<float*>(address), block, floats};
    }
    m_largestPlane = std::max(m_largestPlane, floats);
    plane.data = pb.data;
    plane.width = width;
    plane.height = height;
    plane.stride = static_cast<std::ptrdiff_t>(stride);
    m_planeBlocks.push_back(pb);
    return true;
}

void CWorkspace::FreePlane(Plane& plane) {
    if (plane.data == nullptr) {
        return;
    }
    for (auto it = m_planeBlocks.begin(); it != m_planeBlocks.end(); ++it) {
        if (it->data == plane.data) {
            const PlaneBlock pb = *it;
            m_planeBlocks.erase(it);
            if (pb.floats >= m_largestPlane) {
                m_spare.push_back(pb);  // capacity reserved when the plane was made
            } else {
                Free(pb.block);  // reduced-resolution planes are cheap to make again
            }
            break;
        }
    }
    plane = Plane{};
}

bool CWorkspace::AllocPlanes(Planes3& planes, int width, int height) {
    for (Plane& p : planes.c) {
        if (!AllocPlane(p, width, height)) {
            FreePlanes(planes);
            return false;
        }
    }
    return true;
}

void CWorkspace::FreePlanes(Planes3& planes) {
    for (Plane& p : planes.c) {
        FreePlane(p);
    }
}

}  // namespace vg

// Void-and-cluster construction of the dither mask (Ulichney 1993).
#include "BlueNoise.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace vg {

namespace {

constexpr int kN = kBlueNoiseSize;
constexpr int kCells = kN * kN;
constexpr int kReach = 6;

// Energy of every cell under a toroidal Gaussian around each set cell.
class CEnergy {
public:
    CEnergy() : m_energy(kCells, 0.0f), m_kernel(kCells) {
        const float sigma = 1.5f;
        for (int dy = 0; dy < kN; ++dy) {
            for (int dx = 0; dx < kN; ++dx) {
                const int ex = dx > kN / 2 ? kN - dx : dx, ey = dy > kN / 2 ? kN - dy : dy;
                m_kernel[dy * kN + dx] = std::exp(-(ex * ex + ey * ey) / (2.0f * sigma * sigma));
            }
        }
    }
    // Only cells within kReach are updated: the Gaussian is below 1e-4 beyond.
    void Add(int cell, float sign) {
        const int cx = cell % kN, cy = cell / kN;
        for (int dy = -kReach; dy <= kReach; ++dy) {
            const int y = (cy + dy) & (kN - 1);
            for (int dx = -kReach; dx <= kReach; ++dx) {
                const int x = (cx + dx) & (kN - 1);
                m_energy[y * kN + x] += sign * m_kernel[(dy & (kN - 1)) * kN + (dx & (kN - 1))];
            }
        }
    }
    // The set cell of highest energy (tightest cluster) or the free cell of lowest (largest
    // void); ties go to the lowest index, so the result is the same everywhere.
    int Tightest(const std::vector<uint8_t>& set) const { return Extreme(set, 1, true); }
    int LargestVoid(const std::vector<uint8_t>& set) const { return Extreme(set, 0, false); }

private:
    int Extreme(const std::vector<uint8_t>& set, uint8_t want, bool highest) const {
        int best = -1;
        for (int i = 0; i < kCells; ++i) {
            if (set[i] != want) continue;
            if (best < 0 || (highest ? m_energy[i] > m_energy[best] : m_energy[i] < m_energy[best]))
                best = i;
        }
        return best;
    }
    std::vector<float> m_energy;
    std::vector<float> m_kernel;
};

std::array<float, kCells> MakeMask() {
    std::vector<uint8_t> set(kCells, 0);
    CEnergy energy;
    // An initial pattern of about a tenth of the cells from a fixed generator, then moved
    // from its tightest clusters into its largest voids until it is even.
    uint32_t state = 0x9E3779B9u;
    int ones = 0;
    while (ones < kCells / 10) {
        state = state * 1664525u + 1013904223u;
        const int cell = static_cast<int>(state >> 20) % kCells;
        if (!set[cell]) {
            set[cell] = 1;
            energy.Add(cell, 1.0f);
            ++ones;
        }
    }
    for (;;) {
        const int cluster = energy.Tightest(set);
        set[cluster] = 0;
        energy.Add(cluster, -1.0f);
        const int hole = energy.LargestVoid(set);
        set[hole] = 1;
        energy.Add(hole, 1.0f);
        if (hole == cluster) break;
    }
    std::vector<int> rank(kCells, 0);
    // Ranks below the initial count: take away the tightest clusters of a copy.
    {
        std::vector<uint8_t> s = set;
        CEnergy e = energy;
        for (int r = ones - 1; r >= 0; --r) {
            const int cell = e.Tightest(s);
            s[cell] = 0;
            e.Add(cell, -1.0f);
            rank[cell] = r;
        }
    }
    // Ranks above it: fill the largest voids, then (past half) the set cells' complement's
    // tightest clusters, which is the same as the largest voids of the ones.
    for (int r = ones; r < kCells; ++r) {
        const int cell = energy.LargestVoid(set);
        set[cell] = 1;
        energy.Add(cell, 1.0f);
        rank[cell] = r;
    }
    std::array<float, kCells> mask{};
    for (int i = 0; i < kCells; ++i) {
        mask[i] = (static_cast<float>(rank[i]) + 0.5f) / kCells;
    }
    return mask;
}

}  // namespace

const float* BlueNoiseMask() {
    static const std::array<float, kCells> mask = MakeMask();
    return mask.data();
}

}  // namespace vg

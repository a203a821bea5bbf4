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

// The pattern's set cells and the energy of every cell under a toroidal Gaussian around each
// set cell. Each row keeps its set cell of highest energy and its free cell of lowest, so a
// pick looks at 64 rows, not 4096 cells (the mask is made on the first run after every load
// of the engine, and the full scans took about 16 ms).
class CEnergy {
public:
    CEnergy()
        : m_energy(kCells, 0.0f), m_kernel(kCells), m_set(kCells, 0), m_high(kN), m_low(kN) {
        const float sigma = 1.5f;
        for (int dy = 0; dy < kN; ++dy) {
            for (int dx = 0; dx < kN; ++dx) {
                const int ex = dx > kN / 2 ? kN - dx : dx, ey = dy > kN / 2 ? kN - dy : dy;
                m_kernel[dy * kN + dx] = std::exp(-(ex * ex + ey * ey) / (2.0f * sigma * sigma));
            }
        }
        for (int y = 0; y < kN; ++y) UpdateRow(y);
    }
    bool IsSet(int cell) const { return m_set[cell] != 0; }
    void Set(int cell, bool on) {
        m_set[cell] = on ? 1 : 0;
        Add(cell, on ? 1.0f : -1.0f);
    }
    // The set cell of highest energy (tightest cluster) or the free cell of lowest (largest
    // void); ties go to the lowest index, so the result is the same everywhere.
    int Tightest() const { return Pick(m_high, true); }
    int LargestVoid() const { return Pick(m_low, false); }

private:
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
        for (int dy = -kReach; dy <= kReach; ++dy) UpdateRow((cy + dy) & (kN - 1));
    }
    void UpdateRow(int y) {
        // The extremes kept in registers: reading them back through the index made each
        // comparison wait for a load.
        int high = -1, low = -1;
        float highE = -HUGE_VALF, lowE = HUGE_VALF;
        for (int i = y * kN; i < (y + 1) * kN; ++i) {
            const float e = m_energy[i];
            if (m_set[i]) {
                if (high < 0 || e > highE) {
                    high = i;
                    highE = e;
                }
            } else if (low < 0 || e < lowE) {
                low = i;
                lowE = e;
            }
        }
        m_high[y] = high;
        m_low[y] = low;
    }
    int Pick(const std::vector<int>& rows, bool highest) const {
        int best = -1;
        for (int i : rows) {
            if (i < 0) continue;
            if (best < 0 || (highest ? m_energy[i] > m_energy[best] : m_energy[i] < m_energy[best]))
                best = i;
        }
        return best;
    }
    std::vector<float> m_energy;
    std::vector<float> m_kernel;
    std::vector<uint8_t> m_set;
    std::vector<int> m_high, m_low;  // per row: the cell, or -1 when the row has none
};

std::array<float, kCells> MakeMask() {
    CEnergy energy;
    // An initial pattern of about a tenth of the cells from a fixed generator, then moved
    // from its tightest clusters into its largest voids until it is even.
    uint32_t state = 0x9E3779B9u;
    int ones = 0;
    while (ones < kCells / 10) {
        state = state * 1664525u + 1013904223u;
        const int cell = static_cast<int>(state >> 20) % kCells;
        if (!energy.IsSet(cell)) {
            energy.Set(cell, true);
            ++ones;
        }
    }
    for (;;) {
        const int cluster = energy.Tightest();
        energy.Set(cluster, false);
        const int hole = energy.LargestVoid();
        energy.Set(hole, true);
        if (hole == cluster) break;
    }
    std::vector<int> rank(kCells, 0);
    // Ranks below the initial count: take away the tightest clusters of a copy.
    {
        CEnergy e = energy;
        for (int r = ones - 1; r >= 0; --r) {
            const int cell = e.Tightest();
            e.Set(cell, false);
            rank[cell] = r;
        }
    }
    // Ranks above it: fill the largest voids, then (past half) the set cells' complement's
    // tightest clusters, which is the same as the largest voids of the ones.
    for (int r = ones; r < kCells; ++r) {
        const int cell = energy.LargestVoid();
        energy.Set(cell, true);
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

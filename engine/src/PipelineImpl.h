// The glaze pipeline, compiled once per instruction set into namespace VG_KERNEL_NS (after
// KernelsImpl.h): clean (rolling guidance on a bilateral grid and a residual gate), accent
// (coherent shock steps), texture (an edge-aware detail band with a power remap), and the
// output pass (clamped steepening, texture, dithered conversion).
#include "BlueNoise.h"
#include "GlazeRunImpl.h"
#include "StageAccentImpl.h"
#include "StageCleanImpl.h"
#include "StageOutputImpl.h"

namespace vg {
namespace VG_KERNEL_NS {
namespace {

// The number of parallel loops Run will make, for the progress total; it follows the stages
// loop for loop (a Gaussian is 2, a grid filter 1, and 2 with a guide whose ranges it finds).
int CGlazeRun::EstimatePasses() const {
    int passes = ReadsHostRows() ? 1 : 2;  // input planes (where made) and output
    if (m_s.cleanIterations > 0) {
        // Box reduction, the seed and its guides, per guided pass three grids (their guides'
        // ranges come with the guides) and the next guides, and the gate (the energy rows
        // about its bands' borders, then the bands).
        const int reduced = CleanReduction() > 1 ? 1 : 0;
        const int k = m_s.cleanIterations;
        passes += reduced + 2 + k * 3 + (k - 1) + 2;
        passes += 2;  // the colour lines: rows set aside, then the rows
        if (reduced != 0 && m_s.factors[0] + m_s.factors[1] + m_s.factors[2] > 0.0f) {
            passes += 1;  // the last pass's guides
        }
    }
    if (m_s.edgeAccent > 0) {
        // 14 loops in the first iteration (with the structure tensor and its flow field), in
        // each further one 3 and the blurred luminance's.
        const float re = std::max(0.5f, m_s.edgeRadius / m_n);
        passes += 14 + (m_s.edgeAccent - 1) * (3 + LuminanceGaussLoops(re));
    }
    if (m_s.edgeAccent > 0 && kAccentAntialias / m_n >= kMinBlurSigma) {
        // The contours' antialiasing blur, by how far the accent moved each pixel: the input's
        // finer-scale blur, the luminance and its finer-scale blur (a copy where that is too
        // fine), the three blurs and the blend.
        const float re = std::max(0.5f, m_s.edgeRadius / m_n);
        const bool fine = kShockFineScale * re >= kMinBlurSigma;
        passes += (fine ? 2 : 0) + 1 + (fine ? 2 : 1) + 3 * 2 + 1;
    }
    if (m_s.textureStrength > 0.0f) {
        passes += 5;  // luminance, a guided grid, the steps' share and the band
        if (m_s.textureGamma < 1.0f) {
            passes += 1;  // the boost's detail
        }
    }
    return passes;
}

int32_t CGlazeRun::Run() {
    m_team.PlanPasses(EstimatePasses());
    m_scratchStride =
        (static_cast<std::size_t>(std::min(m_w, kOutputTile)) + 2 * kMaxFirRadius + 32) &
        ~std::size_t{15};
    m_scratch =
        NewFloats(m_scratchStride * kScratchRows * static_cast<std::size_t>(m_team.Threads()));
    // Everything that reads the source runs before Output writes the destination, which may
    // be the same buffer. A reduced clean stage and the texture read the host's rows directly,
    // where they need the input: fresh host memory costs a page fault per page, and three
    // float planes of the input are the largest part of a run's.
    const bool direct = ReadsHostRows();
    Planes3 in;
    if (!direct) {
        in = NewPlanes(m_w, m_h);
        ReadInput(in);
    }
    const Planes3* input = direct ? nullptr : &in;
    const bool clean = m_s.cleanIterations > 0;
    const bool texture = m_s.textureStrength > 0.0f;
    Planes3 s = in;
    if (clean) {
        s = Planes3{};
        Clean(input, s);  // makes s
    }
    Plane tex;
    auto makeTexture = [&] {
        // The image's own texture, from the input's luminance.
        Plane lum = NewPlane(m_w, m_h);
        tex = NewPlane(m_w, m_h);
        Luminance(input, lum);
        TextureBase(lum, tex);
        float gain = m_s.textureStrength;
        const float size = m_s.textureSize / m_n;
        if (size < 0.5f) {
            gain *= size / 0.5f;  // a band finer than the sampled grid is mostly averaged away
        }
        TextureBand(lum, tex, gain);
        m_ws.FreePlane(lum);
    };
    // Read from the host's rows, the texture can wait until after the accent and take two of
    // the planes it leaves: fresh host memory costs a page fault per page on first touch. From
    // input planes it comes first, so that they can go before the accent.
    if (texture && !direct) {
        makeTexture();
    }
    if (clean) {
        m_ws.FreePlanes(in);
    }
    if (m_s.edgeAccent > 0) {
        Accent(s);
    }
    if (texture && direct) {
        makeTexture();
    }
    Output(s, texture ? &tex : nullptr);
    return m_team.Finish() ? VWGLAZE_DONE : VWGLAZE_CANCELLED;
}

}  // namespace

int32_t RunPipeline(const EngineImage& image, const GlazeSettings& settings, int threads) {
    const CFastFloatScope floatMode;
    try {
        CGlazeRun run(image, settings, threads);
        try {
            return run.Run();
        } catch (const Stop& stop) {
            return stop.code;
        }
    } catch (const std::bad_alloc&) {
        return VWGLAZE_NO_MEMORY;
    } catch (...) {
        return VWGLAZE_INTERNAL_ERROR;
    }
}

}  // namespace VG_KERNEL_NS
}  // namespace vg

// The accent stage (part of the per-instruction-set pipeline, after GlazeRunImpl.h): coherent
// contours from flow smoothing along the structure tensor's tangent and a shock step across
// it, both row kernels.

namespace vg {
namespace VG_KERNEL_NS {

// One coherence step per iteration: smooth along the local edge direction (so contours become
// smooth and, with more iterations, flowing), then a shock step across it that moves each
// pixel towards the brighter or darker side with a smooth sign, which steepens edges without
// overshoot and keeps them antialiased.
void CGlazeRun::Accent(Planes3& s) {
    const float re = std::max(0.5f, m_s.edgeRadius / m_n);
    Planes3 flow = NewPlanes(m_w, m_h);
    Plane jxx = NewPlane(m_w, m_h), jxy = NewPlane(m_w, m_h), jyy = NewPlane(m_w, m_h);
    // The Gaussians' spare plane: the first flow plane is free whenever they run (before the
    // flow step of an iteration, and after the last shock step).
    Plane& tmp = flow.c[0];
    // Luminance with a one-pixel frame, continued by odd reflection so that a ramp has no
    // curvature at the border.
    Plane framed = NewPlane(m_w + 2, m_h + 2);
    Plane lum = framed;
    lum.data = framed.data + framed.stride + 1;
    lum.width = m_w;
    lum.height = m_h;
    float taps[kFlowTaps];
    {
        float sum = 0.0f;
        for (int k = 0; k < kFlowTaps; ++k) {
            const float t = static_cast<float>(k - kFlowTaps / 2) / (kFlowTaps / 2) * 2.5f;
            taps[k] = std::exp(-0.5f * t * t);
            sum += taps[k];
        }
        for (float& t : taps) t /= sum;
    }
    const float tangentSigma = re;
    // Each iteration's luminance, blurred in place to the finer scale for the shock step.
    Plane fine = NewPlane(m_w, m_h);
    FlowRowArgs fa{};
    fa.stride = s.c[0].stride;
    fa.width = m_w;
    fa.height = m_h;
    fa.taps = taps;
    ShockRowArgs sa{};
    sa.stride = s.c[0].stride;
    sa.width = m_w;
    sa.height = m_h;
    sa.re = re;
    sa.knee = m_s.knee;
    sa.shockStep = std::max(0.5f, 0.75f * re);
    for (int c = 0; c < 3; ++c) {
        fa.planes[c] = s.c[c].data;
        sa.planes[c] = flow.c[c].data;
    }
    for (int it = 0; it < m_s.edgeAccent; ++it) {
        Luminance(&s, fine);
        Gauss(fine, lum, re, tmp);
        Gauss(fine, fine, kShockFineScale * re, tmp);
        ForRows(m_h, [&](int y, int) {
            float* row = lum.Row(y);
            row[-1] = 2.0f * row[0] - row[Mirror(1, m_w)];
            row[m_w] = 2.0f * row[m_w - 1] - row[Mirror(m_w - 2, m_w)];
        });
        for (int y : {-1, m_h}) {
            const int edge = y < 0 ? 0 : m_h - 1;
            const float* e = lum.Row(edge) - 1;
            const float* m = lum.Row(Mirror(y, m_h)) - 1;
            float* o = lum.Row(y) - 1;
            for (int x = 0; x < m_w + 2; ++x) o[x] = 2.0f * e[x] - m[x];
        }
        // The structure tensor of the first iteration's input guides every iteration: the
        // contours it follows are the picture's own, and the later steps only sharpen and
        // smooth along them (recomputing it each time moved no contour visibly). It is kept as
        // the flow field, in place: each pixel's tangent step and blend.
        if (it == 0) {
            ForRows(m_h, [&](int y, int) {
                const float* up = lum.Row(y - 1);
                const float* mid = lum.Row(y);
                const float* down = lum.Row(y + 1);
                float* a = jxx.Row(y);
                float* b = jxy.Row(y);
                float* c = jyy.Row(y);
                for (int x = 0; x < m_w; ++x) {
                    const float gx = 0.5f * (mid[x + 1] - mid[x - 1]);
                    const float gy = 0.5f * (down[x] - up[x]);
                    a[x] = gx * gx;
                    b[x] = gx * gy;
                    c[x] = gy * gy;
                }
            });
            Gauss(jxx, jxx, re, tmp);
            Gauss(jxy, jxy, re, tmp);
            Gauss(jyy, jyy, re, tmp);
            const float tapStep = tangentSigma * 2.5f / (kFlowTaps / 2);
            const float flatEnergy = 0.0625f * m_s.knee * m_s.knee;
            ForRows(m_h, [&](int y, int) {
                m_k.flowField(jxx.Row(y), jxy.Row(y), jyy.Row(y), tapStep, re * 2.5f, flatEnergy,
                              jxx.Row(y), jxy.Row(y), jyy.Row(y), m_w);
            });
        }
        ForRows(m_h, [&](int y, int) {
            FlowRowArgs a = fa;
            a.y = y;
            a.tx = jxx.Row(y);
            a.ty = jxy.Row(y);
            a.blend = jyy.Row(y);
            for (int c = 0; c < 3; ++c) a.out[c] = flow.c[c].Row(y);
            m_k.flowRow(a);
        });
        ForRows(m_h, [&](int y, int) {
            ShockRowArgs a = sa;
            a.y = y;
            a.lum[0] = lum.Row(y - 1);
            a.lum[1] = lum.Row(y);
            a.lum[2] = lum.Row(y + 1);
            for (int c = 0; c < 3; ++c) a.out[c] = s.c[c].Row(y);
            if (y > 0 && y < m_h - 1) {
                for (int j = 0; j < 3; ++j) a.fine[j] = fine.Row(y - 1 + j);
            }
            m_k.shockRow(a);
        });
    }
    // The shock steps leave contours one pixel wide: a light blur gives them back an antialiased
    // profile (at the sampling step's scale, so that a preview looks like the full result).
    const float antialias = kAccentAntialias / m_n;
    if (antialias >= kMinBlurSigma) {
        for (int c = 0; c < 3; ++c) Gauss(s.c[c], s.c[c], antialias, tmp);
    }
    m_ws.FreePlane(fine);
    m_ws.FreePlane(framed);
    m_ws.FreePlanes(flow);
    m_ws.FreePlane(jxx);
    m_ws.FreePlane(jxy);
    m_ws.FreePlane(jyy);
}

}  // namespace VG_KERNEL_NS
}  // namespace vg

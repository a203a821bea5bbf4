#!/usr/bin/python3
# The look's measures on any photographs, through bench/glaze_apply (OpenCV only measures):
# anisotropy of the gradient directions in the most textured 192 x 192 crop (input, defaults,
# strength 8 radius 25), shift invariance (99.9th percentile of the difference between a
# 720 x 720 crop and the same crop shifted by 1, 37 and 200 pixels, both ways; the worst, at
# the defaults, strength 8 radius 25 and every slider at its maximum), noisy-photograph PSNR
# (the benchmark's sensor noise model on the central 800 x 600; input, defaults and OpenCV's
# edgePreservingFilter), 8-bit plateaus in the smoothest 320 x 160 crop, the 10-90 % rise
# across strong edges (input, accent 3, accent 5, maximum), overshoot beyond the input's 9 x 9
# range (share of pixels over 6 levels, and the 99.99th percentile) and the 8- against 16-bit
# difference. One JSON line per image.
# Usage: scripts/look-measures.py [--apply build/bench/bench/glaze_apply] IMAGE...
#        (WHAT=aniso,shift,noise,sky,edge,b16 picks measures; all by default)
#        SHIFT_SETS="name:key=value,key=value name2:..." measures the shift at those settings
#        instead (an empty list after the colon: the defaults), SHIFTS=1 only by one pixel; each
#        set then gives [across, down], each the 99.9th percentile and the largest difference.
import cv2, numpy as np, subprocess, os, sys, json, tempfile, shutil

args = sys.argv[1:]
APPLY = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'build', 'bench', 'bench',
                     'glaze_apply')
if args[:1] == ['--apply']:
    APPLY, args = args[1], args[2:]
TMP = tempfile.mkdtemp(prefix='look-measures-')
DEFAULTS = {}
STRONG = {'cleanStrength': 8, 'cleanRadius': 25}
MAXIMUM = dict(cleanStrength=8, cleanRadius=25, cleanThreshold=1.5, edgeSharpness=3, edgeRadius=4,
               edgeAccent=5, textureStrength=1, textureBoost=4, textureSize=6)


def run(bgr, params, step=1, bits=8):
    i, o = TMP + '/in.png', TMP + '/out.png'
    cv2.imwrite(i, bgr)
    args = [APPLY, i, o] + ['%s=%g' % kv for kv in params.items()] + ['step=%d' % step]
    if bits == 16:
        args += ['bits=16', 'keep16=1']
    r = subprocess.run(args, capture_output=True)
    if r.returncode != 0:
        raise RuntimeError('glaze_apply failed %d %s' % (r.returncode, r.stderr))
    return cv2.imread(o, cv2.IMREAD_UNCHANGED)


def lum(bgr):
    b = bgr.astype(np.float64)
    return 0.299 * b[..., 2] + 0.587 * b[..., 1] + 0.114 * b[..., 0]


def anisotropy(bgr):
    l = lum(bgr) / 255.0
    k = np.exp(-0.5 * np.arange(-3, 4) ** 2)
    k /= k.sum()
    l = cv2.sepFilter2D(l, cv2.CV_64F, k, k, borderType=cv2.BORDER_REPLICATE)
    gx = 0.5 * (l[1:-1, 2:] - l[1:-1, :-2])
    gy = 0.5 * (l[2:, 1:-1] - l[:-2, 1:-1])
    g2 = gx * gx + gy * gy + 1e-12
    num = (((gx * gx - gy * gy) ** 2 - 4 * gx * gx * gy * gy) / g2).sum()
    return num / g2.sum()


def grad(bgr):
    l = lum(bgr)
    gx = cv2.Sobel(l, cv2.CV_64F, 1, 0) / 8
    gy = cv2.Sobel(l, cv2.CV_64F, 0, 1) / 8
    return np.hypot(gx, gy)


def pick(bgr, w, h, score):
    H, W = bgr.shape[:2]
    best = None
    for y in range(0, max(1, H - h + 1), max(1, h // 2)):
        for x in range(0, max(1, W - w + 1), max(1, w // 2)):
            s = score(bgr[y:y + h, x:x + w])
            if s is not None and (best is None or s > best[0]):
                best = (s, x, y)
    return best


def texture_crop(bgr):
    def score(c):
        return float(np.median(grad(c)))
    s, x, y = pick(bgr, 192, 192, score)
    return x, y


def sky_crop(bgr):
    def score(c):
        l = lum(c)
        if l.mean() < 25 or l.mean() > 235:
            return None
        g = grad(c)
        return -float(np.percentile(g, 90))
    r = pick(bgr, 320, 160, score)
    return (r[1], r[2]) if r else None  # no mid-tone crop (a night sky)


def plateau(bgr):
    g = bgr[..., 1].astype(np.int32)
    runs = 1 + (g[:, 1:] != g[:, :-1]).sum(axis=1)
    return float(np.mean(g.shape[1] / runs))


def shift_diff(photo, params, s, vertical, margin):
    H, W = photo.shape[:2]
    w, h = W - (0 if vertical else s), H - (s if vertical else 0)
    dx, dy = (0, s) if vertical else (s, 0)
    if h - 2 * margin - dy <= 0 or w - 2 * margin - dx <= 0:
        return None  # nothing left inside the margins (a shift as large as the picture)
    a = run(np.ascontiguousarray(photo[0:h, 0:w]), params).astype(np.int32)
    b = run(np.ascontiguousarray(photo[dy:dy + h, dx:dx + w]), params).astype(np.int32)
    A = a[margin + dy:h - margin, margin + dx:w - margin]
    B = b[margin:h - margin - dy, margin:w - margin - dx]
    if A.size == 0:
        return 0.0
    return float(np.percentile(np.abs(A - B), 99.9, method='lower'))


def shift_sets(spec):
    sets = []
    for item in spec.split():
        name, _, kv = item.partition(':')
        sets.append((name, {k: float(v) for k, v in (a.split('=') for a in kv.split(',') if a)}))
    return sets


def shift_both(photo, params, s, margin):
    # [p99.9, largest] of the interior difference, across and down.
    out = []
    for vertical in (False, True):
        H, W = photo.shape[:2]
        w, h = W - (0 if vertical else s), H - (s if vertical else 0)
        dx, dy = (0, s) if vertical else (s, 0)
        if h - 2 * margin - dy <= 0 or w - 2 * margin - dx <= 0:
            out.append(None)
            continue
        a = run(np.ascontiguousarray(photo[0:h, 0:w]), params).astype(np.int32)
        b = run(np.ascontiguousarray(photo[dy:dy + h, dx:dx + w]), params).astype(np.int32)
        d = np.abs(a[margin + dy:h - margin, margin + dx:w - margin] -
                   b[margin:h - margin - dy, margin:w - margin - dx])
        out.append([int(np.percentile(d, 99.9, method='lower')), int(d.max())])
    return out


def noisy(clean):
    rng = np.random.default_rng(5)
    lin = (clean / 255.0) ** 2.2 * 600.0
    e = np.clip((rng.poisson(lin) + rng.normal(0, 4.0, clean.shape)) / 600.0, 0, 1)
    return np.minimum(255.0, e ** (1 / 2.2) * 255.0 + 0.5).astype(np.uint8)


def edge_rise(inp, out, minc=60):
    # 10-90 % rise across strong, straight edges of the input, in the input and the output.
    l_in, l_out = lum(inp), lum(out)
    ls = cv2.GaussianBlur(l_in, (0, 0), 1.0)
    gx = cv2.Sobel(ls, cv2.CV_64F, 1, 0) / 8
    gy = cv2.Sobel(ls, cv2.CV_64F, 0, 1) / 8
    m = np.hypot(gx, gy)
    H, W = l_in.shape
    ys, xs = np.nonzero(m > 8)
    keep = (ys > 10) & (ys < H - 10) & (xs > 10) & (xs < W - 10)
    ys, xs = ys[keep], xs[keep]
    if len(ys) > 4000:
        sel = np.random.default_rng(1).choice(len(ys), 4000, replace=False)
        ys, xs = ys[sel], xs[sel]
    t = np.arange(-6, 6.01, 0.1)
    res_in, res_out = [], []
    for y, x in zip(ys, xs):
        # local maximum of the gradient along its direction
        nx, ny = gx[y, x] / m[y, x], gy[y, x] / m[y, x]
        px, py = x + nx * t, y + ny * t
        mx = cv2.remap(m.astype(np.float32), px.astype(np.float32)[None], py.astype(np.float32)[None],
                       cv2.INTER_LINEAR)[0]
        if np.argmax(mx[50:71]) != 10:
            continue
        pin = cv2.remap(l_in.astype(np.float32), px.astype(np.float32)[None],
                        py.astype(np.float32)[None], cv2.INTER_LINEAR)[0]
        if pin[-1] - pin[0] < minc:
            continue
        # monotone enough: a single edge
        if np.min(np.diff(pin[::5])) < -3:
            continue
        pout = cv2.remap(l_out.astype(np.float32), px.astype(np.float32)[None],
                         py.astype(np.float32)[None], cv2.INTER_LINEAR)[0]
        for p, res in ((pin, res_in), (pout, res_out)):
            lo, hi = p[:10].mean(), p[-10:].mean()
            if hi - lo < minc / 2:
                res.append(np.nan)
                continue
            a = np.argmax(p >= lo + 0.1 * (hi - lo))
            b = np.argmax(p >= lo + 0.9 * (hi - lo))
            res.append((b - a) * 0.1)
    if not res_in:
        return None
    return float(np.nanmedian(res_in)), float(np.nanmedian(res_out)), len(res_in)


def overshoot(inp, out, tol=6):
    # Share of pixels whose luminance leaves the input's 9 x 9 range by more than tol levels,
    # and the 99.99th percentile of that excess (strong smoothing and texture boost leave the
    # range by design: look at the pictures before calling such a pixel a halo).
    li, lo = lum(inp), lum(out)
    k = np.ones((9, 9), np.uint8)
    mx = cv2.dilate(li.astype(np.float32), k)
    mn = cv2.erode(li.astype(np.float32), k)
    ex = np.maximum(lo - mx, mn - lo)
    ex = np.maximum(ex, 0)
    return float((ex > tol).mean()), float(np.percentile(ex, 99.99))


def center_crop(bgr, cx, cy, w, h):
    H, W = bgr.shape[:2]
    w, h = min(w, W), min(h, H)
    x = int(np.clip(cx - w // 2, 0, W - w))
    y = int(np.clip(cy - h // 2, 0, H - h))
    return np.ascontiguousarray(bgr[y:y + h, x:x + w]), x, y


def main():
    what = os.environ.get('WHAT', 'all').split(',')
    for path in args:
        name = os.path.basename(path).rsplit('.', 1)[0]
        bgr = cv2.imread(path, cv2.IMREAD_COLOR)
        r = {'image': name, 'size': [bgr.shape[1], bgr.shape[0]]}
        tx, ty = texture_crop(bgr)
        r['texture_crop'] = [tx, ty]
        if 'all' in what or 'aniso' in what:
            c = np.ascontiguousarray(bgr[ty:ty + 192, tx:tx + 192])
            r['aniso_in'] = anisotropy(c)
            r['aniso_def'] = anisotropy(run(c, DEFAULTS))
            r['aniso_strong'] = anisotropy(run(c, STRONG))
        big, bx, by = center_crop(bgr, tx + 96, ty + 96, 720, 720)
        if os.environ.get('SHIFT_SETS'):
            shifts = [int(v) for v in os.environ.get('SHIFTS', '1,37,200').split(',')]
            for lname, p in shift_sets(os.environ['SHIFT_SETS']):
                margin = int(3 * p.get('cleanRadius', 8)) + 16
                for s in shifts:
                    r['shift%d_%s' % (s, lname)] = shift_both(big, p, s, margin)
        elif 'all' in what or 'shift' in what:
            worst = {}
            for lname, p, rad in (('def', DEFAULTS, 8), ('strong', STRONG, 25), ('max', MAXIMUM, 25)):
                margin = 3 * rad + 16
                d = []
                for s in (1, 37, 200):
                    for v in (False, True):
                        if (big.shape[0] if v else big.shape[1]) - 2 * s < 2 * margin + 32:
                            continue
                        d.append(shift_diff(big, p, s, v, margin))
                worst['shift_' + lname] = max(d) if d else None
            r.update(worst)
        if 'all' in what or 'noise' in what:
            clean, _, _ = center_crop(bgr, bgr.shape[1] // 2, bgr.shape[0] // 2, 800, 600)
            n = noisy(clean)
            epf = cv2.edgePreservingFilter(n, flags=cv2.RECURS_FILTER, sigma_s=60, sigma_r=0.4)
            r['psnr_in'] = cv2.PSNR(n, clean)
            r['psnr_def'] = cv2.PSNR(run(n, DEFAULTS), clean)
            r['psnr_epf'] = cv2.PSNR(epf, clean)
        if 'all' in what or 'sky' in what:
            crop = sky_crop(bgr)
            if crop:
                sx, sy = crop
                c = np.ascontiguousarray(bgr[sy:sy + 160, sx:sx + 320])
                r['sky_crop'] = [sx, sy]
                r['plateau_in'] = plateau(c)
                r['plateau_def'] = plateau(run(c, DEFAULTS))
                r['plateau_strong'] = plateau(run(c, STRONG))
        if 'all' in what or 'edge' in what:
            for lname, p in (('a3', {'edgeAccent': 3}), ('a5', {'edgeAccent': 5}), ('max', MAXIMUM)):
                out = run(big, p)
                e = edge_rise(big, out)
                if e:
                    r['rise_in'], r['rise_' + lname], r['rise_n'] = e
                r['over_' + lname] = overshoot(big, out)
            r['over_def'] = overshoot(big, run(big, DEFAULTS))
        if 'all' in what or 'b16' in what:
            o8 = run(big, DEFAULTS).astype(np.float64)
            o16 = run(big, DEFAULTS, bits=16).astype(np.float64) * 255.0 / 32768.0
            r['b16_p999'] = float(np.percentile(np.abs(o8 - o16), 99.9))
        print(json.dumps(r), flush=True)


if __name__ == '__main__':
    try:
        main()
    finally:
        shutil.rmtree(TMP, ignore_errors=True)

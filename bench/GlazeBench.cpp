// Engine speed, side by side with OpenCV's edge-preserving and look filters in the same run.
// glaze_bench [photo [copy.ppm]]: the photo is centre-cropped (or scaled up) to 4000 x 3000;
// the copy, when named, is what glaze_wine_bench times.
#include "Glaze.h"
#include "plugin/EngineCall.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/photo.hpp>
#include <opencv2/ximgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include <sys/resource.h>

namespace {

void* HostAlloc(uint32_t size, void*) {
    return std::malloc(size);
}
void HostFree(void* p, void*) {
    std::free(p);
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + 1e-6 * (u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

// Best wall time of the runs; *cpu gets the process CPU time of that run, which a busy
// machine inflates far less than the wall time.
double BestSeconds(int runs, const std::function<void()>& f, double* cpu = nullptr) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const double c0 = CpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const auto t1 = std::chrono::steady_clock::now();
        const double wall = std::chrono::duration<double>(t1 - t0).count();
        if (wall < best) {
            best = wall;
            if (cpu != nullptr)
                *cpu = CpuSeconds() - c0;
        }
    }
    return best;
}

int Glaze(const cv::Mat& src, cv::Mat& dst, int step, const FilterParams& p,
          const vg::RunOptions& options) {
    EngineImage im{};
    im.pixelFormat = src.depth() == CV_16U ? VWGLAZE_FORMAT_RGB16 : VWGLAZE_FORMAT_RGB8;
    im.srcData = src.data;
    im.srcRowBytes = static_cast<int32_t>(src.step);
    im.dstData = dst.data;
    im.dstRowBytes = static_cast<int32_t>(dst.step);
    im.width = src.cols;
    im.height = src.rows;
    im.sampleStep = step;
    im.allocProc = HostAlloc;
    im.freeProc = HostFree;
    const EngineArgs a = MakeEngineArgs(p);
    return vg::GlazeRGB(options, &im, a.mode, a.cleanStrength, a.channelThresholds, a.cleanRadius,
                        a.channelFactors, a.edgeRadius, a.edgeSharpness, a.edgeAccent, a.constant,
                        a.textureStrength, a.textureInvBoost, a.textureSize);
}

cv::Mat Decimate(const cv::Mat& m, int n) {
    cv::Mat out((m.rows + n - 1) / n, (m.cols + n - 1) / n, m.type());
    for (int y = 0; y < out.rows; ++y)
        for (int x = 0; x < out.cols; ++x) out.at<cv::Vec3b>(y, x) = m.at<cv::Vec3b>(y * n, x * n);
    return out;
}

// A photograph as a sensor would record it in poor light: Poisson noise of 600 electrons at
// white plus 4 electrons of read noise, on linear light (gamma 2.2). Seeded, so every run
// compares the same noisy picture.
cv::Mat Noisy(const cv::Mat& clean) {
    std::mt19937 rng(5);
    std::normal_distribution<double> read(0.0, 4.0);
    cv::Mat out = clean.clone();
    // Every sample of every channel (an iterator of uchar over a three-channel picture would
    // step a whole pixel at a time).
    cv::Mat samples = out.reshape(1);
    for (auto it = samples.begin<uchar>(); it != samples.end<uchar>(); ++it) {
        const double lin = std::pow(*it / 255.0, 2.2) * 600.0;
        std::poisson_distribution<int> shot(lin);
        const double e = std::clamp((shot(rng) + read(rng)) / 600.0, 0.0, 1.0);
        *it = cv::saturate_cast<uchar>(std::pow(e, 1.0 / 2.2) * 255.0 + 0.5);
    }
    return out;
}

// Noise removal on photographs against the common edge-preserving filter, same pictures:
// three small photographs beside `path` and the main photograph reduced to 1000 x 750.
void NoisyPhotographs(const std::string& path, const cv::Mat& bgr, const FilterParams& def,
                      const vg::RunOptions& opt) {
    std::printf("\nnoisy photographs, PSNR against the clean picture (dB):\n");
    const std::string dir = path.substr(0, path.find_last_of('/') + 1);
    cv::Mat reduced;
    cv::resize(bgr, reduced, cv::Size(1000, 750), 0, 0, cv::INTER_AREA);
    struct Test {
        std::string name;
        cv::Mat picture;
    } tests[] = {{"astronaut", cv::imread(dir + "astronaut.png", cv::IMREAD_COLOR)},
                 {"chelsea", cv::imread(dir + "chelsea.png", cv::IMREAD_COLOR)},
                 {"coffee", cv::imread(dir + "coffee.png", cv::IMREAD_COLOR)},
                 {"main photograph at 1000x750", reduced}};
    for (const Test& t : tests) {
        if (t.picture.empty())
            continue;
        const cv::Mat noisy = Noisy(t.picture);
        cv::Mat noisyRgb, filtered, epf;
        cv::cvtColor(noisy, noisyRgb, cv::COLOR_BGR2RGB);
        filtered = noisyRgb.clone();
        Glaze(noisyRgb, filtered, 1, def, opt);
        cv::cvtColor(filtered, filtered, cv::COLOR_RGB2BGR);
        cv::edgePreservingFilter(noisy, epf, cv::RECURS_FILTER, 60, 0.4f);
        std::printf("  %-30s input %.2f  engine defaults %.2f  edgePreservingFilter %.2f\n",
                    t.name.c_str(), cv::PSNR(noisy, t.picture), cv::PSNR(filtered, t.picture),
                    cv::PSNR(epf, t.picture));
    }
}

}  // namespace

int main(int argc, char** argv) {
    // --quick: the engine's main rows and one anchor (for quick comparisons while tuning);
    // --noisy: only the noisy photographs (for tuning the look).
    bool quick = false, noisyOnly = false;
    if (argc > 1 && (std::string(argv[1]) == "--quick" || std::string(argv[1]) == "--noisy")) {
        quick = std::string(argv[1]) == "--quick";
        noisyOnly = !quick;
        --argc;
        ++argv;
    }
    std::string path = argc > 1 ? argv[1] : "build/test-images/seeding.jpg";
    cv::Mat photo = cv::imread(path, cv::IMREAD_COLOR);
    if (photo.empty()) {
        std::fprintf(stderr, "cannot read %s (run scripts/fetch-test-images.sh)\n", path.c_str());
        return 1;
    }
    if (photo.cols < 4000 || photo.rows < 3000) {
        const double scale = std::max(4000.0 / photo.cols, 3000.0 / photo.rows);
        cv::Mat big;
        cv::resize(photo, big, cv::Size(), scale * 1.001, scale * 1.001, cv::INTER_CUBIC);
        photo = big;
    }
    cv::Mat bgr =
        photo(cv::Rect((photo.cols - 4000) / 2, (photo.rows - 3000) / 2, 4000, 3000)).clone();
    cv::Mat rgb;
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    if (argc > 2) {
        // The same pixels for the Windows build's timing under Wine.
        cv::imwrite(argv[2], bgr);
    }
    const double mp = rgb.total() / 1e6;
    std::printf("image %s, %dx%d (%.1f MP), %u hardware threads, kernels %s\n", path.c_str(),
                rgb.cols, rgb.rows, mp, std::thread::hardware_concurrency(), vg::GetKernels().name);

    vg::RunOptions opt;
    cv::Mat out = rgb.clone();
    const FilterParams def = DefaultParams();
    const FilterParams max = {8, 25, 1.5, 3, 4, 5, 1, 4, 6};

    struct Row {
        std::string name;
        double seconds;
        double mpix;
    };
    std::vector<Row> rows;
    if (noisyOnly) {
        NoisyPhotographs(path, bgr, def, opt);
        return 0;
    }
    auto engine = [&](const std::string& name, const cv::Mat& in, int step, const FilterParams& p,
                      const vg::RunOptions& o, int runs) {
        cv::Mat dst = in.clone();
        int rc = 0;
        double cpu = 0;
        const double s = BestSeconds(
            runs, [&] { rc = Glaze(in, dst, step, p, o); }, &cpu);
        if (rc != VWGLAZE_DONE)
            std::printf("  %s returned %d\n", name.c_str(), rc);
        rows.push_back({name, s, in.total() / 1e6});
        std::printf("%-44s %8.1f ms %8.1f MP/s  (cpu %7.1f ms)\n", name.c_str(), s * 1e3,
                    in.total() / 1e6 / s, cpu * 1e3);
        std::fflush(stdout);
        return s;
    };
    const double tDef = engine("engine defaults, 8-bit", rgb, 1, def, opt, 3);
    if (quick) {
        const double tMax = engine("engine maximum settings, 8-bit", rgb, 1, max, opt, 2);
        const cv::Mat region = rgb(cv::Rect(1750, 1250, 500, 500)).clone();
        engine("preview region 500x500 (0.25 MP), defaults", region, 1, def, opt, 5);
        cv::Mat o;
        const double tDt = BestSeconds(
            2, [&] { cv::ximgproc::dtFilter(bgr, bgr, o, 8, 13, cv::ximgproc::DTF_RF, 3); });
        std::printf("dtFilter %.1f ms: defaults %.2fx, maximum %.2fx\n", tDt * 1e3, tDt / tDef,
                    tDt / tMax);
        return 0;
    }
    vg::RunOptions base;
    base.kernels = &vg::BaselineKernels();
    engine("engine defaults, 8-bit, baseline kernels", rgb, 1, def, base, 2);
    vg::RunOptions one;
    one.threads = 1;
    engine("engine defaults, 8-bit, 1 thread", rgb, 1, def, one, 1);
    cv::Mat rgb16;
    rgb.convertTo(rgb16, CV_16UC3, 32768.0 / 255.0);
    const double t16 = engine("engine defaults, 16-bit", rgb16, 1, def, opt, 3);
    const double tMax = engine("engine maximum settings, 8-bit", rgb, 1, max, opt, 2);
    const cv::Mat half = Decimate(rgb, 2), quarter = Decimate(rgb, 4);
    engine("engine defaults, n=2 (decimated 3 MP)", half, 2, def, opt, 3);
    engine("engine defaults, n=4 (decimated 0.75 MP)", quarter, 4, def, opt, 3);
    engine("engine maximum, n=2", half, 2, max, opt, 2);
    engine("engine maximum, n=4", quarter, 4, max, opt, 2);
    const cv::Mat region = rgb(cv::Rect(1750, 1250, 500, 500)).clone();
    const double tPrev =
        engine("preview region 500x500 (0.25 MP), defaults", region, 1, def, opt, 5);
    engine("preview region 500x500, maximum", region, 1, max, opt, 3);

    std::printf("\nanchors (OpenCV %s, same image, same run):\n", CV_VERSION);
    cv::Mat o;
    struct Anchor {
        std::string name;
        double seconds;
    };
    std::vector<Anchor> anchors;
    auto anchor = [&](const std::string& name, int runs, const std::function<void()>& f) {
        double cpu = 0;
        const double s = BestSeconds(runs, f, &cpu);
        anchors.push_back({name, s});
        std::printf("%-44s %8.1f ms %8.1f MP/s  (cpu %7.1f ms)\n", name.c_str(), s * 1e3, mp / s,
                    cpu * 1e3);
        std::fflush(stdout);
    };
    anchor("bilateralFilter d9 sc13 ss4", 3, [&] { cv::bilateralFilter(bgr, o, 9, 13, 4); });
    anchor("ximgproc dtFilter RF ss8 sc13 x3", 3,
           [&] { cv::ximgproc::dtFilter(bgr, bgr, o, 8, 13, cv::ximgproc::DTF_RF, 3); });
    anchor("detailEnhance ss10 sr0.15", 1, [&] { cv::detailEnhance(bgr, o, 10, 0.15f); });
    anchor("edgePreservingFilter RECURS ss60 sr0.4", 1,
           [&] { cv::edgePreservingFilter(bgr, o, cv::RECURS_FILTER, 60, 0.4f); });
    anchor("stylization ss60 sr0.45", 1, [&] { cv::stylization(bgr, o, 60, 0.45f); });

    NoisyPhotographs(path, bgr, def, opt);

    std::printf(
        "\nsummary: defaults %.1f MP/s (12 MP in %.2f s), maximum %.1f MP/s, "
        "16-bit/8-bit time %.2f, preview %.1f ms\n",
        mp / tDef, tDef, mp / tMax, t16 / tDef, tPrev * 1e3);
    std::printf("speed ratio, engine defaults vs anchor (>1 = engine faster):\n");
    for (const Anchor& a : anchors) {
        std::printf("  %-42s %6.2fx   (engine maximum: %6.2fx)\n", a.name.c_str(), a.seconds / tDef,
                    a.seconds / tMax);
    }
    return 0;
}

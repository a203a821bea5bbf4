// Times two builds of the engine library side by side in one process, on the same pixels:
//   glaze_ab A.so B.so IMAGE PAIRS [crop=x,y,w,h] [step=n] [bits=16] [clock=cpu]
//            [name=value ...]
// with the plug-in's nine parameter names. Each pair runs A and B once, in alternating order,
// so drift of the machine's speed falls on both; the report is B's time over A's (median and
// mean of the pairs, and the ratio of the best times) and whether the two outputs agree.
// clock=cpu times the processor time of the whole process (every engine thread) instead of the
// elapsed time: on a machine that others load, elapsed times of one build scatter by a third,
// processor times by a few per cent.
// Build each library in its own tree and copy it to its own file name before comparing.
#include "plugin/EngineCall.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <dlfcn.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {
void* HostAlloc(uint32_t size, void*) {
    return std::malloc(size);
}
void HostFree(void* p, void*) {
    std::free(p);
}

VwGlazeRGB2Proc Load(const char* path) {
    void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        std::exit(1);
    }
    auto* proc = reinterpret_cast<VwGlazeRGB2Proc>(dlsym(lib, kEngineExport));
    if (proc == nullptr) {
        std::fprintf(stderr, "%s has no %s\n", path, kEngineExport);
        std::exit(1);
    }
    return proc;
}

double ProcessSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr,
                     "usage: glaze_ab A.so B.so IMAGE PAIRS [crop=x,y,w,h] [step=n] [bits=16] "
                     "[clock=cpu] [name=value ...]\n");
        return 2;
    }
    const VwGlazeRGB2Proc engines[2] = {Load(argv[1]), Load(argv[2])};
    const int pairs = std::max(1, std::atoi(argv[4]));
    FilterParams params = DefaultParams();
    std::map<std::string, double> named;
    for (int i = 0; i < kParamCount; ++i) named[ParamInfoAt(i).field] = GetParam(params, i);
    int step = 1, bits = 8;
    bool cpuClock = false;
    cv::Rect crop;
    for (int i = 5; i < argc; ++i) {
        const char* eq = std::strchr(argv[i], '=');
        const std::string key = eq ? std::string(argv[i], eq - argv[i]) : argv[i];
        if (key == "crop" && std::sscanf(eq + 1, "%d,%d,%d,%d", &crop.x, &crop.y, &crop.width,
                                         &crop.height) == 4)
            continue;
        if (key == "step") {
            step = std::max(1, std::atoi(eq + 1));
            continue;
        }
        if (key == "clock" && std::strcmp(eq + 1, "cpu") == 0) {
            cpuClock = true;
            continue;
        }
        if (key == "bits") {
            bits = std::atoi(eq + 1);
            continue;
        }
        if (eq == nullptr || named.find(key) == named.end()) {
            std::fprintf(stderr, "unknown argument %s\n", argv[i]);
            return 2;
        }
        named[key] = std::atof(eq + 1);
    }
    for (int i = 0; i < kParamCount; ++i) SetParam(params, i, named[ParamInfoAt(i).field]);

    cv::Mat bgr = cv::imread(argv[3], cv::IMREAD_COLOR);
    if (bgr.empty()) {
        std::fprintf(stderr, "cannot read %s\n", argv[3]);
        return 1;
    }
    if (crop.area() > 0)
        bgr = bgr(crop & cv::Rect(0, 0, bgr.cols, bgr.rows)).clone();
    cv::Mat rgb;
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    if (bits == 16)
        rgb.convertTo(rgb, CV_16UC3, 32768.0 / 255.0);
    cv::Mat out[2] = {rgb.clone(), rgb.clone()};
    const EngineArgs args = MakeEngineArgs(params);

    auto run = [&](int which) {
        EngineImage im{};
        im.pixelFormat = bits == 16 ? VWGLAZE_FORMAT_RGB16 : VWGLAZE_FORMAT_RGB8;
        im.srcData = rgb.data;
        im.srcRowBytes = static_cast<int32_t>(rgb.step);
        im.dstData = out[which].data;
        im.dstRowBytes = static_cast<int32_t>(out[which].step);
        im.width = rgb.cols;
        im.height = rgb.rows;
        im.sampleStep = step;
        im.allocProc = HostAlloc;
        im.freeProc = HostFree;
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = ProcessSeconds();
        const int rc = InvokeEngine(engines[which], im, args);
        const double c1 = ProcessSeconds();
        const auto t1 = std::chrono::steady_clock::now();
        if (rc != VWGLAZE_DONE) {
            std::fprintf(stderr, "%s returned %d\n", argv[1 + which], rc);
            std::exit(1);
        }
        return cpuClock ? c1 - c0 : std::chrono::duration<double>(t1 - t0).count();
    };
    run(0);
    run(1);
    std::vector<double> ratios;
    double best[2] = {1e30, 1e30}, sum[2] = {0, 0};
    for (int p = 0; p < pairs; ++p) {
        double t[2];
        const int first = p % 2;
        t[first] = run(first);
        t[1 - first] = run(1 - first);
        for (int k = 0; k < 2; ++k) {
            best[k] = std::min(best[k], t[k]);
            sum[k] += t[k];
        }
        ratios.push_back(t[1] / t[0]);
    }
    double meanRatio = 0;
    for (double r : ratios) meanRatio += r;
    meanRatio /= static_cast<double>(ratios.size());

    cv::Mat diff;
    cv::absdiff(out[0].reshape(1), out[1].reshape(1), diff);
    double maxDiff = 0;
    cv::minMaxLoc(diff, nullptr, &maxDiff);
    std::printf("%dx%d step %d, %d-bit, %d pairs, %s time\n", rgb.cols, rgb.rows, step, bits, pairs,
                cpuClock ? "processor" : "elapsed");
    std::printf("A best %.2f ms mean %.2f ms | B best %.2f ms mean %.2f ms\n", best[0] * 1e3,
                sum[0] / pairs * 1e3, best[1] * 1e3, sum[1] / pairs * 1e3);
    std::printf("B/A: median %.3f  mean %.3f  best %.3f\n", Median(ratios), meanRatio,
                best[1] / best[0]);
    std::printf("outputs %s (largest difference %.0f, %d samples differ)\n",
                maxDiff == 0 ? "identical" : "differ", maxDiff, cv::countNonZero(diff));
    return 0;
}

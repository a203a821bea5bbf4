// Filters one image file with the engine and writes the result: for looking at the look.
// glaze_apply IN OUT [name=value ...] with the plug-in's nine parameter names, plus step=n
// (filters a 1/n point-decimated copy, like the dialog's preview) and bits=16 (with keep16=1 the
// result is written as it is, 0..32768, for formats that hold 16 bits: for comparing builds);
// in16=1 reads a 16-bit file's samples as they are (0..32768, such a result) and filters at 16
// bits.
#include "plugin/EngineCall.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {
void* HostAlloc(uint32_t size, void*) {
    return std::malloc(size);
}
void HostFree(void* p, void*) {
    std::free(p);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: glaze_apply IN OUT [name=value ...]\n");
        return 2;
    }
    FilterParams params = DefaultParams();
    std::map<std::string, double> p;
    for (int i = 0; i < kParamCount; ++i) p[ParamInfoAt(i).field] = GetParam(params, i);
    p["step"] = 1;
    p["bits"] = 8;
    p["keep16"] = 0;
    p["in16"] = 0;
    for (int i = 3; i < argc; ++i) {
        const char* eq = std::strchr(argv[i], '=');
        if (eq == nullptr ||
            p.find(std::string(argv[i], static_cast<std::size_t>(eq - argv[i]))) == p.end()) {
            std::fprintf(stderr, "unknown argument %s\n", argv[i]);
            return 2;
        }
        p[std::string(argv[i], static_cast<std::size_t>(eq - argv[i]))] = std::atof(eq + 1);
    }
    const bool in16 = p["in16"] != 0;
    cv::Mat bgr =
        cv::imread(argv[1], in16 ? cv::IMREAD_ANYDEPTH | cv::IMREAD_COLOR : cv::IMREAD_COLOR);
    if (in16 && !bgr.empty() && bgr.depth() != CV_16U) {
        std::fprintf(stderr, "in16=1 needs a 16-bit file\n");
        return 1;
    }
    if (bgr.empty()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const int step = static_cast<int>(p["step"]);
    if (step > 1) {
        cv::Mat small((bgr.rows + step - 1) / step, (bgr.cols + step - 1) / step, bgr.type());
        for (int y = 0; y < small.rows; ++y)
            for (int x = 0; x < small.cols; ++x)
                if (in16)
                    small.at<cv::Vec3w>(y, x) = bgr.at<cv::Vec3w>(y * step, x * step);
                else
                    small.at<cv::Vec3b>(y, x) = bgr.at<cv::Vec3b>(y * step, x * step);
        bgr = small;
    }
    cv::Mat rgb;
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    const bool wide = in16 || p["bits"] == 16;
    if (wide && !in16) {
        rgb.convertTo(rgb, CV_16UC3, 32768.0 / 255.0);
    }
    cv::Mat out = rgb.clone();
    EngineImage im{};
    im.pixelFormat = wide ? VWGLAZE_FORMAT_RGB16 : VWGLAZE_FORMAT_RGB8;
    im.srcData = rgb.data;
    im.srcRowBytes = static_cast<int32_t>(rgb.step);
    im.dstData = out.data;
    im.dstRowBytes = static_cast<int32_t>(out.step);
    im.width = rgb.cols;
    im.height = rgb.rows;
    im.sampleStep = step;
    im.allocProc = HostAlloc;
    im.freeProc = HostFree;
    for (int i = 0; i < kParamCount; ++i) SetParam(params, i, p[ParamInfoAt(i).field]);
    const int rc = InvokeEngine(&vwGlazeRGB2, im, MakeEngineArgs(params));
    if (rc != VWGLAZE_DONE) {
        std::fprintf(stderr, "engine returned %d\n", rc);
        return 1;
    }
    if (wide && p["keep16"] == 0) {
        out.convertTo(out, CV_8UC3, 255.0 / 32768.0);
    }
    cv::cvtColor(out, bgr, cv::COLOR_RGB2BGR);
    return cv::imwrite(argv[2], bgr) ? 0 : 1;
}

// End-to-end runs of the built module in the project's host library, with the real engine
// beside it: 8 and 16 bits, and hosts that lack PICA, big documents or descriptors.
#include "PluginTestPaths.h"
#include "host/FilterHost.h"
#include "plugin/FilterParams.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace vg::host;

CHostImage Gradient(int32_t depth) {
    CHostImage image;
    std::string error;
    EXPECT_TRUE(image.Create(160, 96, 3, depth, false, &error)) << error;
    for (int32_t y = 0; y < image.Height(); ++y)
        for (int32_t x = 0; x < image.Width(); ++x)
            for (int32_t c = 0; c < 3; ++c) {
                // Smooth ramps with a fine checker on top: something for the filter to clean.
                uint32_t v = uint32_t((x * 5 + y * 3 + c * 40) % 220) + ((x + y) % 2) * 30;
                image.SetSample(x, y, c, v * image.MaxSample() / 255);
            }
    return image;
}

RunOptions Replay(double cleanStrength) {
    RunOptions options;
    options.replay = true;
    options.replayDescriptor.SetFloat(FourCC("CIT_"), cleanStrength);
    return options;
}

struct HostCase {
    const char* name;
    HostOptions options;
};

std::vector<HostCase> HostCases() {
    std::vector<HostCase> cases;
    cases.push_back({"complete host", HostOptions{}});
    HostOptions bare;
    bare.pica = false;
    bare.bigDocument = false;
    bare.recordSize = ps::kFilterRecordSize552;
    bare.samplingSupport = ps::hostDoesNotSupportSampling;
    cases.push_back({"no PICA, no big document, 552-byte record", bare});
    HostOptions noScripting;
    noScripting.descriptors = false;
    noScripting.recordSize = ps::kFilterRecordSize556;
    cases.push_back({"no descriptors", noScripting});
    return cases;
}

TEST(PluginHostRun, RealEngineFiltersEightAndSixteenBitImagesInEveryHost) {
    for (const HostCase& hc : HostCases()) {
        for (int32_t depth : {8, 16}) {
            CFilterHost host(hc.options);
            std::string error;
            ASSERT_TRUE(host.Load(TestPath("realengine/VarenGlaze2.8bf"), &error)) << error;
            const CHostImage before = Gradient(depth);
            CHostImage image = before;
            const RunResult r = host.Run(image, Replay(6));
            ASSERT_TRUE(r.ok()) << hc.name << " " << depth << ": " << DescribeResult(r);
            EXPECT_FALSE(image == before) << hc.name << " " << depth << ": output written";
            // One request of the whole image at full resolution in Start, then empty ones.
            ASSERT_FALSE(r.requests.empty());
            const AdvanceRequest& first = r.requests.front();
            EXPECT_EQ(first.selector, ps::filterSelectorStart);
            EXPECT_EQ(first.inRect.right - first.inRect.left, 160);
            EXPECT_EQ(first.inRect.bottom - first.inRect.top, 96);
            EXPECT_EQ(first.inputRate, ps::kFixedOne);
            EXPECT_EQ(r.requests.size(), 1u) << hc.name;
            EXPECT_EQ(r.leakedBuffers, 0) << hc.name;
            EXPECT_EQ(r.suitesNotReleased, 0) << hc.name;
            EXPECT_EQ(r.bufferSpace, 60000000);
            if (hc.options.descriptors) {
                ASSERT_TRUE(r.descriptorReturned) << hc.name;
                ASSERT_EQ(r.recorded.items.size(), 9u);
                EXPECT_EQ(r.recorded.items[0].key, FourCC("CIT_"));
                EXPECT_EQ(r.recorded.items[0].number, 6.0);
            }
        }
    }
}

}  // namespace

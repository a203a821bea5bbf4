// glazehost's command line.
#include "host/CommandLine.h"

#include "sdk/PluginInterface.h"

#include <gtest/gtest.h>

namespace vg::host {
namespace {

TEST(HostCommandLine, ReadsEveryOption) {
    HostCommandLine c;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"--set",
                                  "CIT_=4",
                                  "--set",
                                  "CRD_=8.5",
                                  "--set",
                                  "CIT_=5",
                                  "in.png",
                                  "--plugin",
                                  "x.8bf",
                                  "--record",
                                  "r.txt",
                                  "--descriptor",
                                  "d.txt",
                                  "--dialog",
                                  "--runs",
                                  "3",
                                  "--no-bigdoc",
                                  "--no-pica",
                                  "--no-descriptors",
                                  "--no-sampling",
                                  "--no-persistence",
                                  "--record-size",
                                  "552",
                                  "--cancel-after",
                                  "9",
                                  "--quiet",
                                  "out.tif"},
                                 &c, &error))
        << error;
    EXPECT_EQ(c.inputs, std::vector<std::string>{"in.png"});
    EXPECT_EQ(c.output, "out.tif");
    EXPECT_FALSE(c.Batch());
    EXPECT_EQ(c.plugin, "x.8bf");
    ASSERT_EQ(c.sets.items.size(), 2u);  // a repeated key replaces the earlier value
    EXPECT_EQ(c.sets.Find(ps::FourCC("CIT_"))->number, 5.0);
    EXPECT_EQ(c.sets.Find(ps::FourCC("CRD_"))->number, 8.5);
    EXPECT_TRUE(c.dialog && c.noBigDocument && c.noPica && c.noDescriptors && c.noSampling &&
                c.noPersistence && c.quiet);
    EXPECT_EQ(c.runs, 3);
    EXPECT_EQ(c.recordSize, 552);
    EXPECT_EQ(c.cancelAfter, 9);
    EXPECT_EQ(c.recordFile, "r.txt");
    EXPECT_EQ(c.descriptorFile, "d.txt");
}

TEST(HostCommandLine, ReadsABatch) {
    HostCommandLine c;
    std::string error;
    ASSERT_TRUE(
        ParseCommandLine({"shoot\\*.jpg", "-o", "out", "extra.tif", "--name", "{n}-{stem}.{ext}",
                          "--format", "JPEG", "--quality", "80", "--overwrite", "-r", "--strip",
                          "--preset", "Soft", "--preset-dir", "p"},
                         &c, &error))
        << error;
    EXPECT_TRUE(c.Batch());
    EXPECT_EQ(c.inputs, (std::vector<std::string>{"shoot\\*.jpg", "extra.tif"}));
    EXPECT_EQ(c.outputFolder, "out");
    EXPECT_EQ(c.namePattern, "{n}-{stem}.{ext}");
    EXPECT_EQ(c.format, ImageFormat::Jpeg);
    EXPECT_EQ(c.quality, 80);
    EXPECT_TRUE(c.overwrite && c.recursive && c.strip);
    EXPECT_EQ(c.preset, "Soft");
    EXPECT_EQ(c.presetDir, "p");

    ASSERT_TRUE(ParseCommandLine({"-o", "out", "a.png"}, &c, &error)) << error;
    EXPECT_EQ(c.namePattern, "{stem}-glazed.{ext}");
    EXPECT_EQ(c.quality, 92);
    EXPECT_EQ(c.format, ImageFormat::Unknown);
}

TEST(HostCommandLine, RefusesBadValuesWithAReason) {
    const std::vector<std::vector<std::string>> bad = {
        {"in.png"},
        {"a", "b", "c"},
        {"--runs", "0", "a", "b"},
        {"--runs", "1001", "a", "b"},
        {"--runs", "2x", "a", "b"},
        {"--record-size", "600", "a", "b"},
        {"--set", "CIT_", "a", "b"},
        {"--set", "CIT_=", "a", "b"},
        {"--set", "CIT_=nan", "a", "b"},
        {"--set", "CI=1", "a", "b"},
        {"--frobnicate", "a", "b"},
        {"a", "b", "--plugin"},
        {"--about", "a"},
        {"-o", "out"},
        {"-o", "", "a.png"},
        {"a.png", "b.png", "--name", "{stem}.png"},
        {"-o", "out", "a.png", "--name", "{stem}/x.png"},
        {"-o", "out", "a.png", "--name", "{size}.png"},
        {"-o", "out", "a.png", "--name", "{stem.png"},
        {"-o", "out", "a.png", "--name", "CON"},
        {"-o", "out", "a.png", "--format", "bmp"},
        {"-o", "out", "a.png", "--quality", "0"},
        {"-o", "out", "a.png", "--quality", "101"},
        {"-o", "out", "a.png", "--preset", ""},
    };
    for (const auto& args : bad) {
        HostCommandLine c;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(args, &c, &error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
    HostCommandLine c;
    std::string error;
    EXPECT_TRUE(ParseCommandLine({"--about"}, &c, &error));
    EXPECT_TRUE(ParseCommandLine({"--help"}, &c, &error) && c.help);
}

}  // namespace
}  // namespace vg::host

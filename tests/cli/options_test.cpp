#include "cli/options.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/cpu_count.h"
#include "orvanel_version.h"

namespace {

struct Parsed {
    ParseResult result;
    std::string out;
    std::string err;
};

Parsed parse(std::vector<std::string> arguments) {
    std::ostringstream out, err;
    ParseResult result = parseOptions(arguments, out, err);
    return {result, out.str(), err.str()};
}

TEST(Options, DefaultsAreTheViewersDefaults) {
    const Parsed parsed = parse({"scene.txt", "-o", "out.png"});
    ASSERT_TRUE(parsed.result.options);
    const CliOptions& options = *parsed.result.options;
    EXPECT_EQ(options.scenePath, "scene.txt");
    EXPECT_EQ(options.outputPath, "out.png");
    EXPECT_EQ(options.format, ImageFormat::Png);
    EXPECT_EQ(options.width, 300);
    EXPECT_EQ(options.settings.recursionDepth, 0);
    EXPECT_EQ(options.settings.antiAliasing, AntiAliasingMode::None);
    EXPECT_EQ(options.settings.shadowMode, ShadowMode::Hard);
    EXPECT_EQ(options.settings.lights, LightsSetting::Off);
    EXPECT_EQ(options.threads, availableCpuCount());
    EXPECT_FALSE(options.linearSearch);
    EXPECT_FALSE(options.stats);
    EXPECT_FALSE(options.quiet);
    EXPECT_EQ(parsed.out + parsed.err, "");
}

TEST(Options, EveryValueReachesItsSetting) {
    const Parsed parsed =
        parse({"--width", "64", "--depth", "9", "--aa", "10x10", "--shadows", "soft-jitter", "--lights", "on",
               "--threads", "4", "--no-accel", "--stats", "--quiet", "s.txt", "-o", "o.PPM"});
    ASSERT_TRUE(parsed.result.options) << parsed.err;
    const CliOptions& options = *parsed.result.options;
    EXPECT_EQ(options.width, 64);
    EXPECT_EQ(options.settings.recursionDepth, 9);
    EXPECT_EQ(options.settings.antiAliasing, AntiAliasingMode::Supersampling);
    EXPECT_EQ(options.settings.shadowMode, ShadowMode::SoftJitter);
    EXPECT_EQ(options.settings.lights, LightsSetting::On);
    EXPECT_EQ(options.threads, 4);
    EXPECT_TRUE(options.linearSearch);
    EXPECT_TRUE(options.stats);
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(options.format, ImageFormat::Ppm);
}

TEST(Options, EachShadowWordNamesItsMode) {
    const std::pair<const char*, ShadowMode> cases[] = {{"hard", ShadowMode::Hard},
                                                        {"soft-axes", ShadowMode::SoftAxes},
                                                        {"none", ShadowMode::None},
                                                        {"soft-jitter", ShadowMode::SoftJitter}};
    for (const auto& [word, mode] : cases) {
        const Parsed parsed = parse({"s.txt", "-o", "o.png", "--shadows", word});
        ASSERT_TRUE(parsed.result.options) << word;
        EXPECT_EQ(parsed.result.options->settings.shadowMode, mode) << word;
    }
    const Parsed off = parse({"s.txt", "-o", "o.png", "--lights", "off", "--aa", "none"});
    ASSERT_TRUE(off.result.options);
    EXPECT_EQ(off.result.options->settings.lights, LightsSetting::Off);
    EXPECT_EQ(off.result.options->settings.antiAliasing, AntiAliasingMode::None);
}

TEST(Options, BadValuesAreUsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {"--width", "0"},   {"--width", "-5"},   {"--width", "16385"}, {"--width", "wide"}, {"--depth", "-1"},
        {"--depth", "10"},  {"--aa", "1"},       {"--aa", "10X10"},    {"--aa", "4x4"},     {"--shadows", "soft"},
        {"--shadows", "2"}, {"--lights", "yes"}, {"--threads", "0"},   {"--bogus"},         {"extra.txt"},
    };
    for (const auto& extra : cases) {
        std::vector<std::string> arguments = {"s.txt", "-o", "o.png"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const Parsed parsed = parse(arguments);
        EXPECT_FALSE(parsed.result.options) << extra[0];
        EXPECT_EQ(parsed.result.exitStatus, kExitUsage) << extra[0];
        EXPECT_NE(parsed.err.find("error: "), std::string::npos) << extra[0];
        EXPECT_NE(parsed.err.find("Usage: orvanel-render"), std::string::npos) << extra[0];
    }
}

TEST(Options, SceneAndOutputAreRequired) {
    EXPECT_EQ(parse({"-o", "o.png"}).result.exitStatus, kExitUsage);
    EXPECT_EQ(parse({"s.txt"}).result.exitStatus, kExitUsage);
    EXPECT_EQ(parse({}).result.exitStatus, kExitUsage);
}

TEST(Options, OutputMustBePngOrPpm) {
    for (const char* name : {"o.jpg", "o", "o.png.txt", "dir/"}) {
        const Parsed parsed = parse({"s.txt", "-o", name});
        EXPECT_EQ(parsed.result.exitStatus, kExitUsage) << name;
        EXPECT_NE(parsed.err.find(".png, .ppm, .pfm or .exr"), std::string::npos) << name;
    }
    EXPECT_EQ(imageFormatFor("dir.ppm/picture.Png"), ImageFormat::Png);
    EXPECT_EQ(imageFormatFor("x.PPM"), ImageFormat::Ppm);
    EXPECT_EQ(imageFormatFor("x.Pfm"), ImageFormat::Pfm);
    EXPECT_EQ(imageFormatFor("x.EXR"), ImageFormat::Exr);
    EXPECT_EQ(imageFormatFor(".png"), std::nullopt);  // a hidden file named "png", no extension
}

TEST(Options, HelpGoesToStandardOutputAndNamesTheDefaults) {
    const Parsed parsed = parse({"--help"});
    EXPECT_FALSE(parsed.result.options);
    EXPECT_EQ(parsed.result.exitStatus, kExitSuccess);
    EXPECT_EQ(parsed.err, "");
    EXPECT_NE(parsed.out.find("width 300, depth 0, no anti-aliasing, hard shadows, lights off"), std::string::npos);
    EXPECT_NE(parsed.out.find("hard|soft-axes|none|soft-jitter"), std::string::npos);
}

TEST(Options, VersionAndCheckNeedNoOutput) {
    const Parsed version = parse({"--version"});
    EXPECT_EQ(version.result.exitStatus, kExitSuccess);
    EXPECT_FALSE(version.result.options);
    EXPECT_EQ(version.out, std::string("orvanel-render ") + kOrvanelVersion + "\n");

    const Parsed checking = parse({"--check", "-", "--width", "40"});
    ASSERT_TRUE(checking.result.options) << checking.err;
    EXPECT_TRUE(checking.result.options->check);
    EXPECT_EQ(checking.result.options->scenePath, "-");

    const Parsed noOutput = parse({"s.txt"});
    EXPECT_EQ(noOutput.result.exitStatus, kExitUsage);
    EXPECT_NE(noOutput.err.find("--output is required"), std::string::npos) << noOutput.err;
}

}  // namespace

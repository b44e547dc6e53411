#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "cli/plan/arguments.h"
#include "cli/plan/names.h"

namespace {

using Args = std::vector<std::string>;

struct Accepted {
    const char* what;
    Args args;
    std::function<void(const RunOptions&)> check;
};

// Every option with a good value, and the value it leaves in the options.
const Accepted kAccepted[] = {
    {"mode",
     {"--mode", "weighted", "a.png", "b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.mode, kSixPointWeighted); }},
    {"field",
     {"--field", "odd", "a.png", "b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.field, kOddLines); }},
    {"mask",
     {"--mask", "m.png", "a.png", "b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.maskPath, "m.png"); }},
    {"config",
     {"--config", "c.cfg", "a.png", "b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.configPath, "c.cfg"); }},
    {"save-config alone",
     {"--save-config", "w.cfg"},
     [](const RunOptions& o) {
         EXPECT_EQ(o.saveConfigPath, "w.cfg");
         EXPECT_TRUE(o.inputs.empty());
     }},
    {"out-dir",
     {"--out-dir", "d", "a.png", "b.tif"},
     [](const RunOptions& o) {
         EXPECT_EQ(o.outDir, "d");
         EXPECT_EQ(o.inputs, (Args{"a.png", "b.tif"}));
     }},
    {"setup", {"--setup", "a.png", "b.png"}, [](const RunOptions& o) { EXPECT_TRUE(o.setup); }},
    {"about alone", {"--about"}, [](const RunOptions& o) { EXPECT_TRUE(o.about); }},
    {"jobs",
     {"--jobs", "9999", "a.png", "b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.jobs, 9999); }},
    {"raw",
     {"--raw", "65535x1", "-", "-"},
     [](const RunOptions& o) {
         ASSERT_TRUE(o.raw);
         EXPECT_EQ(o.raw->width, 65535);
         EXPECT_EQ(o.raw->height, 1);
         EXPECT_EQ(o.inputs, Args{"-"});
         EXPECT_EQ(o.output, "-");
     }},
    {"depth",
     {"--depth", "8", "a.png", "b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.encoding.bitsPerChannel, 8); }},
    {"png-level",
     {"--png-level", "0", "a.png", "b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.encoding.pngLevel, 0); }},
    {"png-filter",
     {"--png-filter", "paeth", "a.png", "b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.encoding.pngFilter, image_files::PngFilter::Paeth); }},
    {"tiff-compression",
     {"--tiff-compression", "lzw", "a.png", "b.tif"},
     [](const RunOptions& o) {
         EXPECT_EQ(o.encoding.tiffCompression, image_files::TiffCompression::Lzw);
     }},
    {"quiet", {"--quiet", "a.png", "b.png"}, [](const RunOptions& o) { EXPECT_TRUE(o.quiet); }},
    {"help alone", {"--help"}, [](const RunOptions& o) { EXPECT_TRUE(o.help); }},
    {"version alone", {"--version"}, [](const RunOptions& o) { EXPECT_TRUE(o.version); }},
    {"defaults",
     {"a.png", "b.png"},
     [](const RunOptions& o) {
         EXPECT_FALSE(o.mode);
         EXPECT_FALSE(o.field);
         EXPECT_EQ(o.jobs, 0);
         EXPECT_EQ(o.encoding.bitsPerChannel, 16);
         EXPECT_FALSE(o.encoding.pngLevel);
         EXPECT_FALSE(o.raw);
         EXPECT_EQ(o.inputs, Args{"a.png"});
         EXPECT_EQ(o.output, "b.png");
     }},
    {"-- ends the options",
     {"--", "--mode", "-x"},
     [](const RunOptions& o) {
         EXPECT_FALSE(o.mode);
         EXPECT_EQ(o.inputs, Args{"--mode"});
         EXPECT_EQ(o.output, "-x");
     }},
    {"both eyes, left eye on the first row by default",
     {"--both-eyes", "top-bottom", "a.png", "b.png"},
     [](const RunOptions& o) {
         ASSERT_TRUE(o.bothEyes);
         EXPECT_EQ(o.bothEyes->layout, EyeLayout::TopBottom);
         EXPECT_EQ(o.bothEyes->firstRow, Eye::Left);
         EXPECT_EQ(o.output, "b.png");
         EXPECT_EQ(o.rightOutput, "");
     }},
    {"both eyes as two outputs, right eye first",
     {"--first-row", "right", "--both-eyes", "two-outputs", "a.png", "l.png", "r.tif"},
     [](const RunOptions& o) {
         ASSERT_TRUE(o.bothEyes);
         EXPECT_EQ(o.bothEyes->layout, EyeLayout::TwoOutputs);
         EXPECT_EQ(o.bothEyes->firstRow, Eye::Right);
         EXPECT_EQ(o.inputs, Args{"a.png"});
         EXPECT_EQ(o.output, "l.png");
         EXPECT_EQ(o.rightOutput, "r.tif");
     }},
    {"both eyes side by side at the largest raw width",
     {"--raw", "32767x65535", "--both-eyes", "side-by-side", "-", "-"},
     [](const RunOptions& o) { EXPECT_EQ(o.bothEyes->layout, EyeLayout::SideBySide); }},
    {"frames",
     {"--frames", "5,1-3", "a.%04d.png", "b.%04d.png"},
     [](const RunOptions& o) {
         EXPECT_EQ(o.frames, (std::vector<FrameRange>{{1, 3}, {5, 5}}));
     }},
    {"inputs",
     {"--inputs", "-", "--out-dir", "d"},
     [](const RunOptions& o) {
         EXPECT_EQ(o.inputsList, "-");
         EXPECT_FALSE(o.inputsNul);
         EXPECT_TRUE(o.inputs.empty());
     }},
    {"inputs0 with INPUTs",
     {"--inputs0", "l.txt", "--out-dir", "d", "a.png"},
     [](const RunOptions& o) {
         EXPECT_EQ(o.inputsList, "l.txt");
         EXPECT_TRUE(o.inputsNul);
         EXPECT_EQ(o.inputs, Args{"a.png"});
     }},
    {"skip-existing",
     {"--skip-existing", "a.png", "b.png"},
     [](const RunOptions& o) { EXPECT_TRUE(o.skipExisting); }},
    {"last value wins",
     {"--mode", "copy", "--mode", "linear", "a.png", "b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.mode, kTwoPointLinear); }},
};

class AcceptedArguments : public ::testing::TestWithParam<Accepted> {};

TEST_P(AcceptedArguments, SetTheirValue) {
    RunOptions options;
    const Failure failure = ParseArguments(GetParam().args, options);
    ASSERT_FALSE(failure) << failure.reason;
    GetParam().check(options);
}

INSTANTIATE_TEST_SUITE_P(EveryOption, AcceptedArguments, ::testing::ValuesIn(kAccepted));

struct Refused {
    Args args;
    const char* message;  // a part of the one line
};

// Every bad value and misplaced argument: exit 2 with a line that names the mistake.
const Refused kRefused[] = {
    {{"--mode", "cubic", "a.png", "b.png"}, "--mode must be copy, linear or weighted"},
    {{"--mode", "Copy", "a.png", "b.png"}, "not 'Copy'"},
    {{"--field", "both", "a.png", "b.png"}, "--field must be even or odd"},
    {{"--depth", "12", "a.png", "b.png"}, "--depth must be 16 or 8"},
    {{"--png-level", "10", "a.png", "b.png"}, "--png-level must be a whole number from 0"},
    {{"--png-level", "-1", "a.png", "b.png"}, "not '-1'"},
    {{"--png-filter", "zip", "a.png", "b.png"},
     "--png-filter must be none, sub, up, average, paeth or adaptive"},
    {{"--tiff-compression", "jpeg", "a.png", "b.tif"},
     "--tiff-compression must be none, lzw or deflate"},
    {{"--jobs", "0", "a.png", "b.png"}, "--jobs must be a whole number from 1 to 9999"},
    {{"--jobs", "10000", "a.png", "b.png"}, "not '10000'"},
    {{"--jobs", "+2", "a.png", "b.png"}, "not '+2'"},
    {{"--jobs", "2 ", "a.png", "b.png"}, "not '2 '"},
    {{"--raw", "0x4", "-", "-"}, "--raw must be WIDTHxHEIGHT"},
    {{"--raw", "4x65536", "-", "-"}, "not '4x65536'"},
    {{"--raw", "4", "-", "-"}, "not '4'"},
    {{"--raw", "4x4x4", "-", "-"}, "not '4x4x4'"},
    {{"--raw", "x4", "-", "-"}, "not 'x4'"},
    {{"--mask"}, "--mask needs a value"},
    {{"--config", "", "a.png", "b.png"}, "--config needs a non-empty value"},
    {{"--frobnicate", "a.png", "b.png"}, "unknown option --frobnicate"},
    {{}, "expected INPUT and OUTPUT"},
    {{"a.png"}, "expected INPUT and OUTPUT"},
    {{"a.png", "b.png", "c.png"}, "use --out-dir for several inputs"},
    {{"--out-dir", "d"}, "--out-dir needs at least one INPUT"},
    {{"--frames", "9-1", "a.%d.png", "b.%d.png"}, "--frames: '9-1' runs backwards"},
    {{"--frames", "-3", "a.%d.png", "b.%d.png"}, "a negative number"},
    {{"--inputs", "l.txt", "a.png", "b.png"}, "--inputs and --inputs0 need --out-dir"},
    {{"--inputs0", "-"}, "need --out-dir"},
    {{"--raw", "4x4", "--frames", "1-2", "-", "-"}, "--raw streams take neither --frames"},
    {{"--raw", "4x4", "--skip-existing", "-", "-"}, "nor --skip-existing"},
    {{"--raw", "4x4", "--out-dir", "d", "a.raw"}, "--raw and --out-dir exclude each other"},
    {{"--raw", "4x4", "--save-config", "w.cfg"}, "expected INPUT and OUTPUT"},
    {{"--raw", "4x4", "-", ""}, "an INPUT or OUTPUT is empty"},
    {{"", "b.png"}, "an INPUT or OUTPUT is empty"},
    {{"--both-eyes", "stacked", "a.png", "b.png"},
     "--both-eyes must be side-by-side, top-bottom or two-outputs"},
    {{"--first-row", "right", "a.png", "b.png"}, "--first-row goes with --both-eyes"},
    {{"--both-eyes", "top-bottom", "--field", "odd", "a.png", "b.png"},
     "--field and --both-eyes exclude each other"},
    {{"--both-eyes", "two-outputs", "a.png", "l.png"}, "expected INPUT, LEFT and RIGHT"},
    {{"--both-eyes", "two-outputs", "a.png", "l.png", "r.png", "x.png"},
     "expected INPUT, LEFT and RIGHT"},
    {{"--both-eyes", "side-by-side", "a.png", "l.png", "r.png"}, "use --out-dir"},
    {{"--raw", "32768x2", "--both-eyes", "side-by-side", "-", "-"}, "65536 x 2"},
    {{"--raw", "2x32768", "--both-eyes", "top-bottom", "-", "-"}, "2 x 65536"},
    {{"--out-dir", "d", "a.png", ""}, "an INPUT or OUTPUT is empty"},
};

class RefusedArguments : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedArguments, AreUsageErrors) {
    RunOptions options;
    const Failure failure = ParseArguments(GetParam().args, options);
    EXPECT_EQ(failure.code, FailureCode::Usage);
    EXPECT_NE(failure.reason.find(GetParam().message), std::string::npos) << failure.reason;
    EXPECT_EQ(failure.reason.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(EveryMistake, RefusedArguments, ::testing::ValuesIn(kRefused));

// The command line's names come from the tables, whatever order the enums have.
template <class Value, std::size_t N, class Member>
void ExpectEveryNameParses(const char* option, const NamedValue<Value> (&names)[N], Member member) {
    for (const NamedValue<Value>& entry : names) {
        RunOptions options;
        ASSERT_FALSE(ParseArguments({option, entry.name.text, "a.png", "b.tif"}, options));
        EXPECT_EQ(member(options), entry.value) << entry.name.text;
    }
}

TEST(OptionNames, EveryTableNameParsesToItsValue) {
    ExpectEveryNameParses("--mode", kKernelNames, [](const RunOptions& o) { return *o.mode; });
    ExpectEveryNameParses("--field", kFieldNames, [](const RunOptions& o) { return *o.field; });
    ExpectEveryNameParses("--depth", kDepthNames,
                          [](const RunOptions& o) { return o.encoding.bitsPerChannel; });
    ExpectEveryNameParses("--png-filter", kPngFilterNames,
                          [](const RunOptions& o) { return *o.encoding.pngFilter; });
    ExpectEveryNameParses("--tiff-compression", kTiffCompressionNames,
                          [](const RunOptions& o) { return *o.encoding.tiffCompression; });
}

TEST(OptionNames, DescriptionsOfBlocksWithAndWithoutNames) {
    EXPECT_EQ(DescribeMode(kSixPointWeighted), "six-point weighted");
    EXPECT_EQ(DescribeMode(static_cast<Kernel>(7)), "mode 7");
    EXPECT_EQ(DescribeField(kOddLines), "odd lines");
    EXPECT_EQ(DescribeField(static_cast<Field>(-1)), "field -1");
    EXPECT_EQ(NumberedModes(), "0 copy, 1 linear, 2 weighted");
    EXPECT_EQ(NumberedFields(), "0 even, 1 odd");
}

}  // namespace

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "cli/plan/arguments.h"
#include "cli/plan/names.h"
#include "hosting/win32_text.h"

namespace {

using Args = std::vector<std::wstring>;

struct Accepted {
    const char* what;
    Args args;
    std::function<void(const RunOptions&)> check;
};

// Every option with a good value, and the value it leaves in the options.
const Accepted kAccepted[] = {
    {"mode",
     {L"--mode", L"weighted", L"a.png", L"b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.mode, kSixPointWeighted); }},
    {"field",
     {L"--field", L"odd", L"a.png", L"b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.field, kOddLines); }},
    {"mask",
     {L"--mask", L"m.png", L"a.png", L"b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.maskPath, L"m.png"); }},
    {"config",
     {L"--config", L"c.cfg", L"a.png", L"b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.configPath, L"c.cfg"); }},
    {"save-config alone",
     {L"--save-config", L"w.cfg"},
     [](const RunOptions& o) {
         EXPECT_EQ(o.saveConfigPath, L"w.cfg");
         EXPECT_TRUE(o.inputs.empty());
     }},
    {"out-dir",
     {L"--out-dir", L"d", L"a.png", L"b.tif"},
     [](const RunOptions& o) {
         EXPECT_EQ(o.outDir, L"d");
         EXPECT_EQ(o.inputs, (Args{L"a.png", L"b.tif"}));
     }},
    {"setup", {L"--setup", L"a.png", L"b.png"}, [](const RunOptions& o) { EXPECT_TRUE(o.setup); }},
    {"about alone", {L"--about"}, [](const RunOptions& o) { EXPECT_TRUE(o.about); }},
    {"jobs",
     {L"--jobs", L"9999", L"a.png", L"b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.jobs, 9999); }},
    {"raw",
     {L"--raw", L"65535x1", L"-", L"-"},
     [](const RunOptions& o) {
         ASSERT_TRUE(o.raw);
         EXPECT_EQ(o.raw->width, 65535);
         EXPECT_EQ(o.raw->height, 1);
         EXPECT_EQ(o.inputs, Args{L"-"});
         EXPECT_EQ(o.output, L"-");
     }},
    {"depth",
     {L"--depth", L"8", L"a.png", L"b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.encoding.bitsPerChannel, 8); }},
    {"png-level",
     {L"--png-level", L"0", L"a.png", L"b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.encoding.pngLevel, 0); }},
    {"png-filter",
     {L"--png-filter", L"paeth", L"a.png", L"b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.encoding.pngFilter, image_files::PngFilter::Paeth); }},
    {"tiff-compression",
     {L"--tiff-compression", L"lzw", L"a.png", L"b.tif"},
     [](const RunOptions& o) {
         EXPECT_EQ(o.encoding.tiffCompression, image_files::TiffCompression::Lzw);
     }},
    {"quiet", {L"--quiet", L"a.png", L"b.png"}, [](const RunOptions& o) { EXPECT_TRUE(o.quiet); }},
    {"help alone", {L"--help"}, [](const RunOptions& o) { EXPECT_TRUE(o.help); }},
    {"version alone", {L"--version"}, [](const RunOptions& o) { EXPECT_TRUE(o.version); }},
    {"defaults",
     {L"a.png", L"b.png"},
     [](const RunOptions& o) {
         EXPECT_FALSE(o.mode);
         EXPECT_FALSE(o.field);
         EXPECT_EQ(o.jobs, 0);
         EXPECT_EQ(o.encoding.bitsPerChannel, 16);
         EXPECT_FALSE(o.encoding.pngLevel);
         EXPECT_FALSE(o.raw);
         EXPECT_EQ(o.inputs, Args{L"a.png"});
         EXPECT_EQ(o.output, L"b.png");
     }},
    {"-- ends the options",
     {L"--", L"--mode", L"-x"},
     [](const RunOptions& o) {
         EXPECT_FALSE(o.mode);
         EXPECT_EQ(o.inputs, Args{L"--mode"});
         EXPECT_EQ(o.output, L"-x");
     }},
    {"last value wins",
     {L"--mode", L"copy", L"--mode", L"linear", L"a.png", L"b.png"},
     [](const RunOptions& o) { EXPECT_EQ(o.mode, kTwoPointLinear); }},
};

class AcceptedArguments : public ::testing::TestWithParam<Accepted> {};

TEST_P(AcceptedArguments, SetTheirValue) {
    RunOptions options;
    const Failure failure = ParseArguments(GetParam().args, options);
    ASSERT_FALSE(failure) << ToUtf8(failure.message);
    GetParam().check(options);
}

INSTANTIATE_TEST_SUITE_P(EveryOption, AcceptedArguments, ::testing::ValuesIn(kAccepted));

struct Refused {
    Args args;
    const wchar_t* message;  // a part of the one line
};

// Every bad value and misplaced argument: exit 2 with a line that names the mistake.
const Refused kRefused[] = {
    {{L"--mode", L"cubic", L"a.png", L"b.png"}, L"--mode must be copy, linear or weighted"},
    {{L"--mode", L"Copy", L"a.png", L"b.png"}, L"not 'Copy'"},
    {{L"--field", L"both", L"a.png", L"b.png"}, L"--field must be even or odd"},
    {{L"--depth", L"12", L"a.png", L"b.png"}, L"--depth must be 16 or 8"},
    {{L"--png-level", L"10", L"a.png", L"b.png"}, L"--png-level must be a whole number from 0"},
    {{L"--png-level", L"-1", L"a.png", L"b.png"}, L"not '-1'"},
    {{L"--png-filter", L"zip", L"a.png", L"b.png"},
     L"--png-filter must be none, sub, up, average, paeth or adaptive"},
    {{L"--tiff-compression", L"jpeg", L"a.png", L"b.tif"},
     L"--tiff-compression must be none, lzw or deflate"},
    {{L"--jobs", L"0", L"a.png", L"b.png"}, L"--jobs must be a whole number from 1 to 9999"},
    {{L"--jobs", L"10000", L"a.png", L"b.png"}, L"not '10000'"},
    {{L"--jobs", L"+2", L"a.png", L"b.png"}, L"not '+2'"},
    {{L"--jobs", L"2 ", L"a.png", L"b.png"}, L"not '2 '"},
    {{L"--raw", L"0x4", L"-", L"-"}, L"--raw must be WIDTHxHEIGHT"},
    {{L"--raw", L"4x65536", L"-", L"-"}, L"not '4x65536'"},
    {{L"--raw", L"4", L"-", L"-"}, L"not '4'"},
    {{L"--raw", L"4x4x4", L"-", L"-"}, L"not '4x4x4'"},
    {{L"--raw", L"x4", L"-", L"-"}, L"not 'x4'"},
    {{L"--mask"}, L"--mask needs a value"},
    {{L"--config", L"", L"a.png", L"b.png"}, L"--config needs a non-empty value"},
    {{L"--frobnicate", L"a.png", L"b.png"}, L"unknown option --frobnicate"},
    {{}, L"expected INPUT and OUTPUT"},
    {{L"a.png"}, L"expected INPUT and OUTPUT"},
    {{L"a.png", L"b.png", L"c.png"}, L"use --out-dir for several inputs"},
    {{L"--out-dir", L"d"}, L"--out-dir needs at least one INPUT"},
    {{L"--raw", L"4x4", L"--out-dir", L"d", L"a.raw"}, L"--raw and --out-dir exclude each other"},
    {{L"--raw", L"4x4", L"--save-config", L"w.cfg"}, L"expected INPUT and OUTPUT"},
    {{L"--raw", L"4x4", L"-", L""}, L"an INPUT or OUTPUT is empty"},
    {{L"", L"b.png"}, L"an INPUT or OUTPUT is empty"},
    {{L"--out-dir", L"d", L"a.png", L""}, L"an INPUT or OUTPUT is empty"},
};

class RefusedArguments : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedArguments, AreUsageErrors) {
    RunOptions options;
    const Failure failure = ParseArguments(GetParam().args, options);
    EXPECT_EQ(failure.code, kExitUsage);
    EXPECT_NE(failure.message.find(GetParam().message), std::wstring::npos)
        << ToUtf8(failure.message);
    EXPECT_EQ(failure.message.find(L'\n'), std::wstring::npos);
}

INSTANTIATE_TEST_SUITE_P(EveryMistake, RefusedArguments, ::testing::ValuesIn(kRefused));

// The command line's names come from the tables, whatever order the enums have.
template <class Value, std::size_t N, class Member>
void ExpectEveryNameParses(const wchar_t* option, const NamedValue<Value> (&names)[N],
                           Member member) {
    for (const NamedValue<Value>& entry : names) {
        RunOptions options;
        ASSERT_FALSE(ParseArguments({option, entry.name.wide, L"a.png", L"b.tif"}, options));
        EXPECT_EQ(member(options), entry.value) << entry.name.text;
    }
}

TEST(OptionNames, EveryTableNameParsesToItsValue) {
    ExpectEveryNameParses(L"--mode", kKernelNames, [](const RunOptions& o) { return *o.mode; });
    ExpectEveryNameParses(L"--field", kFieldNames, [](const RunOptions& o) { return *o.field; });
    ExpectEveryNameParses(L"--depth", kDepthNames,
                          [](const RunOptions& o) { return o.encoding.bitsPerChannel; });
    ExpectEveryNameParses(L"--png-filter", kPngFilterNames,
                          [](const RunOptions& o) { return *o.encoding.pngFilter; });
    ExpectEveryNameParses(L"--tiff-compression", kTiffCompressionNames,
                          [](const RunOptions& o) { return *o.encoding.tiffCompression; });
}

TEST(OptionNames, DescriptionsOfBlocksWithAndWithoutNames) {
    EXPECT_EQ(DescribeMode(kSixPointWeighted), L"six-point weighted");
    EXPECT_EQ(DescribeMode(static_cast<Kernel>(7)), L"mode 7");
    EXPECT_EQ(DescribeField(kOddLines), L"odd lines");
    EXPECT_EQ(DescribeField(static_cast<Field>(-1)), L"field -1");
    EXPECT_EQ(NumberedModes(), L"0 copy, 1 linear, 2 weighted");
    EXPECT_EQ(NumberedFields(), L"0 even, 1 odd");
}

}  // namespace

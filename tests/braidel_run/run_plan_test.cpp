#include <gtest/gtest.h>

#include <vector>

#include "cli/plan/arguments.h"
#include "cli/plan/run_plan.h"
#include "hosting/win32_text.h"

namespace {

using image_files::FileFormat;

struct Planned {
    const char* what;
    std::vector<std::wstring> args;
    ExitCode code;
    std::vector<FileFormat> formats;  // of the frames, when planned
};

// Every output's format and every clash is settled by the plan, before a file is touched. The
// names do not exist: nothing here reads or writes.
const Planned kPlans[] = {
    {"png", {L"a.png", L"b.png"}, kExitSuccess, {FileFormat::Png}},
    {"tif in capitals", {L"a.png", L"b.TIF"}, kExitSuccess, {FileFormat::Tiff}},
    {"tiff", {L"a.png", L"b.tiff"}, kExitSuccess, {FileFormat::Tiff}},
    {"jpeg", {L"a.png", L"b.jpg"}, kExitUsage, {}},
    {"no extension", {L"a.png", L"b"}, kExitUsage, {}},
    {"a dot in the folder only", {L"a.png", L"d.png\\b"}, kExitUsage, {}},
    {"batch",
     {L"--out-dir", L"o", L"a.png", L"b.tif"},
     kExitSuccess,
     {FileFormat::Png, FileFormat::Tiff}},
    {"batch with a text file", {L"--out-dir", L"o", L"a.png", L"notes.txt"}, kExitUsage, {}},
    {"batch, one name twice", {L"--out-dir", L"o", L"x\\a.png", L"y\\A.PNG"}, kExitUsage, {}},
    {"configuration saved over the output",
     {L"--save-config", L"b.png", L"a.png", L"b.png"},
     kExitUsage,
     {}},
    {"raw stream", {L"--raw", L"2x2", L"in.raw", L"out.raw"}, kExitSuccess, {}},
};

class RunPlan : public ::testing::TestWithParam<Planned> {};

TEST_P(RunPlan, DecidesFormatsAndClashes) {
    RunOptions options;
    ASSERT_FALSE(ParseArguments(GetParam().args, options));
    RunFiles files;
    const Failure failure = PlanRun(options, files);
    EXPECT_EQ(failure.code, GetParam().code) << ToUtf8(failure.message);
    if (failure) return;
    std::vector<FileFormat> formats;
    for (const FrameTask& task : files.frames) formats.push_back(task.format);
    EXPECT_EQ(formats, GetParam().formats);
    EXPECT_EQ(files.stream.has_value(), options.raw.has_value());
}

INSTANTIATE_TEST_SUITE_P(Plans, RunPlan, ::testing::ValuesIn(kPlans));

TEST(RunPlan, BatchOutputsTakeTheInputsNamesInTheFolder) {
    RunOptions options;
    ASSERT_FALSE(ParseArguments({L"--out-dir", L"o", L"x\\a.png", L"b.tif"}, options));
    RunFiles files;
    ASSERT_FALSE(PlanRun(options, files));
    ASSERT_EQ(files.frames.size(), 2u);
    EXPECT_EQ(files.frames[0].output.shown, L"o/a.png");
    EXPECT_EQ(files.frames[1].output.shown, L"o/b.tif");
}

}  // namespace

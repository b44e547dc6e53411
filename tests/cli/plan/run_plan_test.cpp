#include <gtest/gtest.h>

#include <vector>

#include "cli/plan/arguments.h"
#include "cli/plan/run_plan.h"

namespace {

using image_files::FileFormat;

struct Planned {
    const char* what;
    std::vector<std::string> args;
    FailureCode code;
    std::vector<FileFormat> formats;  // of the frames, when planned
    const char* says = nullptr;       // a fragment of the failure's line
};

// Every output's format and every clash is settled by the plan, before a file is touched. The
// names do not exist: nothing here reads or writes.
const Planned kPlans[] = {
    {"png", {"a.png", "b.png"}, FailureCode::None, {FileFormat::Png}},
    {"tif in capitals", {"a.png", "b.TIF"}, FailureCode::None, {FileFormat::Tiff}},
    {"tiff", {"a.png", "b.tiff"}, FailureCode::None, {FileFormat::Tiff}},
    {"jpeg", {"a.png", "b.jpg"}, FailureCode::Usage, {}},
    {"no extension", {"a.png", "b"}, FailureCode::Usage, {}},
    {"a dot in the folder only", {"a.png", "d.png\\b"}, FailureCode::Usage, {}},
    {"batch",
     {"--out-dir", "o", "a.png", "b.tif"},
     FailureCode::None,
     {FileFormat::Png, FileFormat::Tiff}},
    {"batch with a text file", {"--out-dir", "o", "a.png", "notes.txt"}, FailureCode::Usage, {}},
    {"batch, one name twice", {"--out-dir", "o", "x/a.png", "y/a.png"}, FailureCode::Usage, {}},
#if defined(_WIN32)
    {"batch, one name in two cases",
     {"--out-dir", "o", "x\\a.png", "y\\A.PNG"},
     FailureCode::Usage,
     {}},
    {"batch, one name with digits in two cases",
     {"--out-dir", "o", "x\\\u00c41.png", "y\\\u00e41.PNG"},
     FailureCode::Usage,
     {},
     "o/\u00e41.PNG and o/\u00c41.png are the same file"},
    {"both eyes, outputs that differ only in case",
     {"--both-eyes", "two-outputs", "a.png", "F1.png", "f1.PNG"},
     FailureCode::Usage,
     {},
     "f1.PNG and F1.png are the same file"},
    // Wine's short name for the long one; a short name shares no shape with its long name.
    {"batch, a name and its short name",
     {"--out-dir", "o", "x\\holiday photographs.png", "y\\HOLI~5TQ.PNG"},
     FailureCode::Usage,
     {}},
    {"both eyes, an output and its short name",
     {"--both-eyes", "two-outputs", "a.png", "HOLI~5TQ.PNG", "holiday photographs.png"},
     FailureCode::Usage,
     {},
     "holiday photographs.png and HOLI~5TQ.PNG are the same file"},
    {"batch, of two clashes the one whose second file comes first",
     {"--save-config", "o/A.png", "--out-dir", "o", "x/b.png", "y/B.png", "z/a.png"},
     FailureCode::Usage,
     {},
     "o/B.png and o/b.png are the same file"},
#else
    // A POSIX name is its bytes: another case is another file, and "\\" no separator.
    {"batch, one name in two cases",
     {"--out-dir", "o", "x/a.png", "y/A.PNG"},
     FailureCode::None,
     {FileFormat::Png, FileFormat::Png}},
    {"both eyes, outputs that differ only in case",
     {"--both-eyes", "two-outputs", "a.png", "F1.png", "f1.PNG"},
     FailureCode::None,
     {FileFormat::Png}},
    {"batch, a name with a tilde",
     {"--out-dir", "o", "x/holiday photographs.png", "y/HOLI~5TQ.PNG"},
     FailureCode::None,
     {FileFormat::Png, FileFormat::Png}},
    {"batch, a backslash in a name",
     {"--out-dir", "o", "x\\a.png", "y\\a.png"},
     FailureCode::None,
     {FileFormat::Png, FileFormat::Png}},
    {"a name longer than the file system takes",
     {"a.png", std::string(252, 'n') + ".png"},
     FailureCode::Usage,
     {}},
#endif
    // A new file's key leaves "." out. Two clashes, (1, 2) and (0, 3): the one whose second file
    // comes first is told.
    {"batch in a new folder, of two clashes the one whose second file comes first",
     {"--save-config", "o/./a.png", "--out-dir", "o", "x/b.png", "y/b.png", "z/a.png"},
     FailureCode::Usage,
     {},
     "o/b.png and o/b.png are the same file"},
    {"raw outputs in a new folder, named otherwise",
     {"--save-config", "nf/c.raw", "--raw", "2x2", "--both-eyes", "two-outputs", "in.raw",
      "nf/./c.raw", "nf/c.raw"},
     FailureCode::Usage,
     {},
     "nf/./c.raw and nf/c.raw are the same file"},
    {"batch, names that differ only in digits",
     {"--out-dir", "o", "x/f1.png", "y/f2.png", "z/f12.png", "w/f21.png"},
     FailureCode::None,
     {FileFormat::Png, FileFormat::Png, FileFormat::Png, FileFormat::Png}},
    // Two clashes, (1, 2) and (0, 3): the one whose second file comes first is told.
    {"batch here, of two clashes the one whose second file comes first",
     {"--save-config", "a.png", "--out-dir", ".", "x/b.png", "y/b.png", "z/a.png"},
     FailureCode::Usage,
     {},
     "./b.png and ./b.png are the same file"},
    {"configuration saved over an output, both named otherwise",
     {"--save-config", "c.png", "--both-eyes", "two-outputs", "a.png", "./c.png", "c.png"},
     FailureCode::Usage,
     {},
     "./c.png and c.png are the same file"},
    {"configuration saved over the output",
     {"--save-config", "b.png", "a.png", "b.png"},
     FailureCode::Usage,
     {}},
    {"raw stream", {"--raw", "2x2", "in.raw", "out.raw"}, FailureCode::None, {}},
    {"both eyes as two outputs",
     {"--both-eyes", "two-outputs", "a.png", "l.tif", "r.png"},
     FailureCode::None,
     {FileFormat::Tiff}},
    {"both eyes, right output not an image",
     {"--both-eyes", "two-outputs", "a.png", "l.png", "r.jpg"},
     FailureCode::Usage,
     {}},
    {"both eyes, one output for both",
     {"--both-eyes", "two-outputs", "a.png", "l.png", "l.png"},
     FailureCode::Usage,
     {}},
    {"both eyes, configuration saved over the right output",
     {"--save-config", "r.png", "--both-eyes", "two-outputs", "a.png", "l.png", "r.png"},
     FailureCode::Usage,
     {}},
    {"both eyes as two raw outputs",
     {"--raw", "2x2", "--both-eyes", "two-outputs", "in.raw", "l.raw", "r.raw"},
     FailureCode::None,
     {}},
    {"both eyes, one raw output for both",
     {"--raw", "2x2", "--both-eyes", "two-outputs", "in.raw", "l.raw", "l.raw"},
     FailureCode::Usage,
     {}},
    {"a sequence into one file", {"a.%04d.png", "b.png"}, FailureCode::Usage, {}},
    {"one file into a sequence", {"a.png", "b.####.png"}, FailureCode::Usage, {}},
    {"frames of no sequence", {"--frames", "1", "a.png", "b.png"}, FailureCode::Usage, {}},
    {"a frame asked for that is missing",
     {"--frames", "1-2", "no-such-folder/a.%04d.png", "b.%04d.png"},
     FailureCode::Usage,
     {}},
    {"both eyes, a sequence into one right output",
     {"--both-eyes", "two-outputs", "a.%04d.png", "l.%04d.png", "r.png"},
     FailureCode::Usage,
     {}},
    {"a sequence with no frame in its folder",
     {"--out-dir", "o", "no-such-folder/a.####.png"},
     FailureCode::BadInput,
     {}},
};

class RunPlan : public ::testing::TestWithParam<Planned> {};

TEST_P(RunPlan, DecidesFormatsAndClashes) {
    RunOptions options;
    ASSERT_FALSE(ParseArguments(GetParam().args, options));
    RunFiles files;
    const Failure failure = PlanRun(options, files);
    EXPECT_EQ(failure.code, GetParam().code) << failure.reason;
    if (GetParam().says) {
        EXPECT_NE(failure.reason.find(GetParam().says), std::string::npos) << failure.reason;
    }
    if (failure) return;
    std::vector<FileFormat> formats;
    for (const FrameTask& task : files.frames) formats.push_back(task.format);
    EXPECT_EQ(formats, GetParam().formats);
    EXPECT_EQ(files.stream.has_value(), options.raw.has_value());
}

INSTANTIATE_TEST_SUITE_P(Plans, RunPlan, ::testing::ValuesIn(kPlans));

TEST(RunPlan, BatchOutputsTakeTheInputsNamesInTheFolder) {
    RunOptions options;
    ASSERT_FALSE(ParseArguments({"--out-dir", "o", "x/a.png", "b.tif"}, options));
    RunFiles files;
    ASSERT_FALSE(PlanRun(options, files));
    ASSERT_EQ(files.frames.size(), 2u);
    EXPECT_EQ(files.frames[0].output.shown, "o/a.png");
    EXPECT_EQ(files.frames[1].output.shown, "o/b.tif");
}

TEST(RunPlan, BothEyesInTheFolderNameTheirEye) {
    RunOptions options;
    ASSERT_FALSE(ParseArguments(
        {"--both-eyes", "two-outputs", "--out-dir", "o", "x/a.png", "b.v2.tif"}, options));
    RunFiles files;
    ASSERT_FALSE(PlanRun(options, files));
    ASSERT_EQ(files.frames.size(), 2u);
    EXPECT_EQ(files.frames[0].output.shown, "o/a-left.png");
    EXPECT_EQ(files.frames[0].rightOutput.shown, "o/a-right.png");
    EXPECT_EQ(files.frames[1].output.shown, "o/b.v2-left.tif");
    EXPECT_EQ(files.frames[1].rightOutput.shown, "o/b.v2-right.tif");
    EXPECT_EQ(files.frames[1].rightFormat, FileFormat::Tiff);
}

}  // namespace

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "cli/plan/frame_sequence.h"
#include "cli/plan/run_inputs.h"

namespace {

struct Named {
    const char* typed;
    FailureCode code;
    std::optional<SequenceName> sequence;  // when the name parses
};

const Named kNames[] = {
    {"shot.%d.png", FailureCode::None, SequenceName{"shot.", ".png", 0}},
    {"shot.%04d.png", FailureCode::None, SequenceName{"shot.", ".png", 4}},
    {"shot.%4d.png", FailureCode::None, SequenceName{"shot.", ".png", 4}},
    {"shot.####.png", FailureCode::None, SequenceName{"shot.", ".png", 4}},
    {"#.tif", FailureCode::None, SequenceName{"", ".tif", 1}},
    {"100%%_%03d.png", FailureCode::None, SequenceName{"100%_", ".png", 3}},
    {"a%%d.png", FailureCode::None, std::nullopt},  // %% then a plain d: no field
    {"50%.png", FailureCode::None, std::nullopt},
    {"plain.png", FailureCode::None, std::nullopt},
    // Only the file name holds the field; a folder's # and % stay as typed.
    {"take#2/%02d.png", FailureCode::None, SequenceName{"take#2/", ".png", 2}},
    {"100%/shot.#.png", FailureCode::None, SequenceName{"100%/shot.", ".png", 1}},
    {"%d\\a#/f.png", FailureCode::None, std::nullopt},
    // A printf field leaves # alone, and a # field leaves % alone.
    {"#%02d.png", FailureCode::None, SequenceName{"#", ".png", 2}},
    {"5%_##.png", FailureCode::None, SequenceName{"5%_", ".png", 2}},
    {"%d_%d.png", FailureCode::Usage, std::nullopt},
    {"##_##.png", FailureCode::Usage, std::nullopt},
    {"5%_%03d.png", FailureCode::Usage, std::nullopt},
    {"%033d.png", FailureCode::Usage, std::nullopt},
    {"%032d.png", FailureCode::None, SequenceName{"", ".png", 32}},
};

class SequenceNames : public ::testing::TestWithParam<Named> {};

TEST_P(SequenceNames, FindTheirField) {
    std::optional<SequenceName> sequence;
    const Failure failure = ParseSequenceName(GetParam().typed, sequence);
    EXPECT_EQ(failure.code, GetParam().code) << failure.reason;
    ASSERT_EQ(sequence.has_value(), GetParam().sequence.has_value());
    if (!sequence) return;
    EXPECT_EQ(sequence->before, GetParam().sequence->before);
    EXPECT_EQ(sequence->after, GetParam().sequence->after);
    EXPECT_EQ(sequence->width, GetParam().sequence->width);
}

INSTANTIATE_TEST_SUITE_P(Names, SequenceNames, ::testing::ValuesIn(kNames));

struct Numbered {
    SequenceName sequence;
    std::uint32_t number;
    const char* name;
};

// A frame's name, and that only that exact name is taken back for its number.
const Numbered kNumbered[] = {
    {{"f", ".png", 4}, 7, "f0007.png"},
    {{"f", ".png", 4}, 0, "f0000.png"},
    {{"f", ".png", 4}, 12345, "f12345.png"},  // wider than the padding
    {{"f", ".png", 0}, 0, "f0.png"},
    {{"f", ".png", 0}, 120, "f120.png"},
    {{"d/f", ".png", 2}, 999999999, "d/f999999999.png"},
};

class FrameNames : public ::testing::TestWithParam<Numbered> {};

TEST_P(FrameNames, RoundTrip) {
    const Numbered& row = GetParam();
    EXPECT_EQ(FrameName(row.sequence, row.number), row.name);
    const std::string name = row.name;
    const std::string fileName = name.substr(name.find_last_of('/') + 1);
    EXPECT_EQ(FrameNumberOf(FileNamePart(row.sequence), fileName), row.number);
}

INSTANTIATE_TEST_SUITE_P(Numbers, FrameNames, ::testing::ValuesIn(kNumbered));

TEST(FrameNames, OtherNamesInTheFolderAreNoFrames) {
    const SequenceName padded{"f", ".png", 4};
    const SequenceName plain{"f", ".png", 0};
    for (const char* name : {"f007.png", "f00007.png", "f.png", "f0007.tif", "g0007.png",
                             "f-007.png", "f+007.png", "f 007.png", "f1234567890.png"}) {
        EXPECT_FALSE(FrameNumberOf(padded, name)) << name;
    }
    for (const char* name : {"f07.png", "f00.png", "f.png", "f1a.png"}) {
        EXPECT_FALSE(FrameNumberOf(plain, name)) << name;
    }
}

struct Listed {
    const char* text;
    FailureCode code;
    std::vector<FrameRange> ranges;
};

const Listed kLists[] = {
    {"1-120", FailureCode::None, {{1, 120}}},
    {"7", FailureCode::None, {{7, 7}}},
    {"0", FailureCode::None, {{0, 0}}},
    {"1-10,20-30,42", FailureCode::None, {{1, 10}, {20, 30}, {42, 42}}},
    {"20-30,1-10", FailureCode::None, {{1, 10}, {20, 30}}},
    {"1-10,5-15,15", FailureCode::None, {{1, 15}}},  // overlapping: each frame once
    {"1-10,11-12", FailureCode::None, {{1, 12}}},
    {"3,3,3", FailureCode::None, {{3, 3}}},
    {"0-999999999", FailureCode::None, {{0, 999999999}}},
    {"10-1", FailureCode::Usage, {}},
    {"-5", FailureCode::Usage, {}},
    {"1--5", FailureCode::Usage, {}},
    {"-1-5", FailureCode::Usage, {}},
    {"1-", FailureCode::Usage, {}},
    {"1,,2", FailureCode::Usage, {}},
    {"1,", FailureCode::Usage, {}},
    {"1 - 5", FailureCode::Usage, {}},
    {"+1", FailureCode::Usage, {}},
    {"1000000000", FailureCode::Usage, {}},
    {"a-b", FailureCode::Usage, {}},
};

class FrameLists : public ::testing::TestWithParam<Listed> {};

TEST_P(FrameLists, ParseToSortedRanges) {
    std::vector<FrameRange> ranges;
    const Failure failure = ParseFrameList(GetParam().text, ranges);
    EXPECT_EQ(failure.code, GetParam().code) << failure.reason;
    if (failure) {
        EXPECT_NE(failure.reason.find(GetParam().text), std::string::npos);
    } else {
        EXPECT_EQ(ranges, GetParam().ranges);
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, FrameLists, ::testing::ValuesIn(kLists));

struct Split {
    std::string bytes;
    bool nul;
    std::vector<std::string> names;
};

const Split kSplits[] = {
    {"a.png\nb c.png\n", false, {"a.png", "b c.png"}},
    {"a.png\r\nb.png", false, {"a.png", "b.png"}},
    {"\n\na.png\n\n", false, {"a.png"}},
    {"a\rb.png\n", false, {"a\rb.png"}},
    {std::string("a\nb.png\0c.png\0", 14), true, {"a\nb.png", "c.png"}},
    {std::string("\0\0a.png", 7), true, {"a.png"}},
    {"", false, {}},
};

class NameLists : public ::testing::TestWithParam<Split> {};

TEST_P(NameLists, SplitIntoNames) {
    EXPECT_EQ(SplitNames(GetParam().bytes, GetParam().nul), GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(Lists, NameLists, ::testing::ValuesIn(kSplits));

}  // namespace

// The configuration block's file: exactly 8 bytes are a block, a block is written whole, only a
// block is ever replaced, and a block braidel-run uses selects a kernel and a field.

#include "cli/plan/config_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace {

// The block's bytes: mode, then field, each a little-endian 32-bit integer.
std::string BlockBytes(std::int32_t mode, std::int32_t field) {
    std::string bytes;
    for (const std::int32_t value : {mode, field}) {
        const auto bits = static_cast<std::uint32_t>(value);
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<char>(bits >> shift));
    }
    return bytes;
}

FilterConfig Config(std::int32_t mode, std::int32_t field) {
    return {static_cast<Kernel>(mode), static_cast<Field>(field)};
}

const std::string kPngStart = std::string("\x89PNG\r\n\x1a\n", 8) + "IHDR";

struct ReadCase {
    const char* label;
    std::optional<std::string> content;  // none: the name is a folder
    FailureCode code;
    const char* says;
    FilterConfig config;
};

// Reading takes any values: the plug-in accepts any block, and CheckConfig decides later.
TEST(ConfigFile, ReadsExactlyOneBlock) {
    const ReadCase cases[] = {
        {"a block", BlockBytes(2, 1), FailureCode::None, "", Config(2, 1)},
        {"values no kernel has", BlockBytes(-7, 40000), FailureCode::None, "", Config(-7, 40000)},
        {"one byte short",
         BlockBytes(2, 1).substr(0, 7),
         FailureCode::BadInput,
         "not an 8-byte configuration block",
         {}},
        {"one byte over",
         BlockBytes(2, 1) + "x",
         FailureCode::BadInput,
         "not an 8-byte configuration block",
         {}},
        {"empty", "", FailureCode::BadInput, "not an 8-byte configuration block", {}},
        {"a PNG file", kPngStart, FailureCode::BadInput, "not an 8-byte configuration block", {}},
        {"a folder", std::nullopt, FailureCode::BadInput, "is a folder", {}},
    };
    for (const ReadCase& row : cases) {
        SCOPED_TRACE(row.label);
        ScratchFolder folder;
        folder.Make("w.cfg", row.content);
        FilterConfig config{};
        const Failure failure = ReadConfigFile(folder.Path("w.cfg"), config);
        EXPECT_EQ(failure.code, row.code) << failure.reason;
        EXPECT_NE(failure.reason.find(row.says), std::string::npos) << failure.reason;
        if (!failure) {
            EXPECT_EQ(config.mode, row.config.mode);
            EXPECT_EQ(config.field, row.config.field);
        }
    }
}

TEST(ConfigFile, MissingBlockIsBadInputNamingIt) {
    ScratchFolder folder;
    FilterConfig config{};
    const Failure failure = ReadConfigFile(folder.Path("none.cfg"), config);
    EXPECT_EQ(failure.code, FailureCode::BadInput);
    EXPECT_EQ(failure.reason.rfind(folder.Text("none.cfg") + ": cannot be read", 0), 0u)
        << failure.reason;
}

struct WriteCase {
    const char* label;
    std::optional<std::string> existing;  // none: nothing there
    bool folder;
    FailureCode code;
};

// A forgotten value after --save-config must not turn the next argument into 8 bytes: only an
// 8-byte file is replaced, and a refused write leaves the file and the folder as they were.
TEST(ConfigFile, WritesWholeAndReplacesOnlyABlock) {
    const WriteCase cases[] = {
        {"a new file", std::nullopt, false, FailureCode::None},
        {"an old block", BlockBytes(0, 0), false, FailureCode::None},
        {"a PNG file", kPngStart, false, FailureCode::NotWritten},
        {"a 7-byte file", "1234567", false, FailureCode::NotWritten},
        {"an empty file", "", false, FailureCode::NotWritten},
        {"a folder", std::nullopt, true, FailureCode::NotWritten},
    };
    for (const WriteCase& row : cases) {
        SCOPED_TRACE(row.label);
        ScratchFolder folder;
        if (row.existing) folder.Write("w.cfg", *row.existing);
        if (row.folder) folder.MakeFolder("w.cfg");
        const Failure failure = WriteConfigFile(folder.Path("w.cfg"), Config(2, 1));
        EXPECT_EQ(failure.code, row.code) << failure.reason;
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"w.cfg"});
        if (row.folder) continue;
        if (failure) {
            EXPECT_NE(failure.reason.find("not a configuration block; not replaced"),
                      std::string::npos)
                << failure.reason;
            EXPECT_EQ(folder.Read("w.cfg"), *row.existing);
        } else {
            EXPECT_EQ(folder.Read("w.cfg"), BlockBytes(2, 1));
        }
    }
}

struct CheckCase {
    std::int32_t mode;
    std::int32_t field;
    FailureCode code;
    const char* says;
};

TEST(ConfigFile, UsedBlockSelectsAKernelAndAField) {
    const CheckCase cases[] = {
        {0, 0, FailureCode::None, ""},
        {2, 1, FailureCode::None, ""},
        {3, 0, FailureCode::RenderFailed, "selects no kernel: mode 3"},
        {-1, 1, FailureCode::RenderFailed, "selects no kernel: mode -1"},
        {1, 2, FailureCode::RenderFailed, "selects no field: field 2"},
        {1, -5, FailureCode::RenderFailed, "selects no field: field -5"},
        // The kernel is named first when both are wrong.
        {9, 9, FailureCode::RenderFailed, "mode 9"},
    };
    for (const CheckCase& row : cases) {
        SCOPED_TRACE(std::to_string(row.mode) + "/" + std::to_string(row.field));
        const Failure failure = CheckConfig(Config(row.mode, row.field));
        EXPECT_EQ(failure.code, row.code);
        EXPECT_NE(failure.reason.find(row.says), std::string::npos) << failure.reason;
    }
}

}  // namespace

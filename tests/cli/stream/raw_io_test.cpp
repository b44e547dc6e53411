// The two ends of a raw frame stream on files: an input read in the blocks asked for until it
// ends, and an output that replaces its destination only once the stream is finished.

#include "cli/stream/raw_io.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace {

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 3);
    return bytes;
}

struct FillCase {
    std::size_t fileSize;
    std::size_t block;
    std::vector<std::size_t> got;  // per Fill, until one comes back empty
};

// A short last block is how a stream cut mid-frame shows: the reader sees what came.
TEST(RawIo, InputFillsBlocksUntilTheFileEnds) {
    const FillCase cases[] = {
        {12, 4, {4, 4, 4, 0}},
        {10, 4, {4, 4, 2, 0}},
        {3, 8, {3, 0}},
        {0, 8, {0}},
        {1 << 20, 1 << 19, {1 << 19, 1 << 19, 0}},
    };
    for (const FillCase& row : cases) {
        SCOPED_TRACE(std::to_string(row.fileSize) + " by " + std::to_string(row.block));
        ScratchFolder folder;
        const std::string content = Pattern(row.fileSize);
        folder.Write("in.raw", content);
        std::unique_ptr<RawInput> input;
        ASSERT_FALSE(RawInput::Open(folder.Path("in.raw"), input));
        EXPECT_FALSE(input->MayBlock());
        EXPECT_EQ(input->Name(), folder.Text("in.raw"));
        std::string read;
        for (const std::size_t expected : row.got) {
            std::vector<std::byte> block(row.block);
            std::size_t got = 99;
            ASSERT_FALSE(input->Fill(block, got));
            EXPECT_EQ(got, expected);
            read.append(reinterpret_cast<const char*>(block.data()), got);
        }
        EXPECT_EQ(read, content);
    }
}

TEST(RawIo, InputThatCannotBeReadIsBadInput) {
    ScratchFolder folder;
    std::unique_ptr<RawInput> input;
    const Failure failure = RawInput::Open(folder.Path("none.raw"), input);
    EXPECT_EQ(failure.code, FailureCode::BadInput);
    EXPECT_EQ(failure.reason.rfind(folder.Text("none.raw") + ":", 0), 0u) << failure.reason;
    EXPECT_EQ(input, nullptr);
}

struct OutputCase {
    const char* label;
    std::optional<std::string> before;  // the destination's content, if it exists
    std::vector<std::size_t> writes;    // block sizes written
    bool finish;
};

// Until Finish the destination is what it was; after it, exactly the stream. An output dropped
// unfinished (a failed or stopped stream) leaves the old file and no temporary one.
TEST(RawIo, FileOutputReplacesItsDestinationOnlyWhenFinished) {
    const OutputCase cases[] = {
        {"new, one block", std::nullopt, {64}, true},
        {"new, several blocks", std::nullopt, {5, 1, 300, 7}, true},
        {"over an older stream", "old frames", {16, 16}, true},
        {"new, nothing written", std::nullopt, {}, true},
        {"new, dropped unfinished", std::nullopt, {64}, false},
        {"over an older stream, dropped unfinished", "old frames", {16}, false},
    };
    for (const OutputCase& row : cases) {
        SCOPED_TRACE(row.label);
        ScratchFolder folder;
        if (row.before) folder.Write("out.raw", *row.before);
        std::string stream;
        {
            std::unique_ptr<RawOutput> output;
            ASSERT_FALSE(RawOutput::Open(folder.Path("out.raw"), output));
            EXPECT_TRUE(output->IsFile());
            EXPECT_FALSE(output->MayBlock());
            for (const std::size_t size : row.writes) {
                const std::string block = Pattern(size + stream.size()).substr(stream.size());
                bool readerGone = true;
                ASSERT_FALSE(output->Write(std::as_bytes(std::span(block)), readerGone));
                EXPECT_FALSE(readerGone);
                stream += block;
            }
            EXPECT_EQ(folder.Has("out.raw"), row.before.has_value());
            if (row.before) {
                EXPECT_EQ(folder.Read("out.raw"), *row.before);
            }
            if (row.finish) {
                ASSERT_FALSE(output->Finish());
            }
        }
        if (row.finish) {
            EXPECT_EQ(folder.Read("out.raw"), stream);
        } else if (row.before) {
            EXPECT_EQ(folder.Read("out.raw"), *row.before);
        }
        const std::vector<std::string> left = row.finish || row.before
                                                  ? std::vector<std::string>{"out.raw"}
                                                  : std::vector<std::string>{};
        EXPECT_EQ(folder.Names(), left);
    }
}

// A failed output leaves no file behind, temporary or not, once the stream gives it up.
TEST(RawIo, OutputWhereNoFileCanBeIsNotWritten) {
    ScratchFolder folder;
    folder.MakeFolder("taken");
    for (const char* name : {"missing/out.raw", "taken"}) {
        SCOPED_TRACE(name);
        Failure failure;
        {
            std::unique_ptr<RawOutput> output;
            failure = RawOutput::Open(folder.Path(name), output);
            if (!failure) {
                // Some systems refuse only when the file is put in place.
                const std::string byte = "x";
                bool readerGone = false;
                failure = output->Write(std::as_bytes(std::span(byte)), readerGone);
                if (!failure) failure = output->Finish();
            }
        }
        EXPECT_EQ(failure.code, FailureCode::NotWritten) << failure.reason;
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"taken"});
    }
}

}  // namespace

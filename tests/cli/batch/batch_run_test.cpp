// A batch from files to files on worker threads, with a renderer of the test's own: each frame's
// outcome in task order, every output written whole only after a complete render, nothing
// written for a frame that failed, and nothing more after a stop.

#include "cli/batch/batch_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/render/cancellation.h"
#include "cli/render/renderer.h"
#include "tests/support/scratch_folder.h"

namespace {

constexpr std::uint16_t kMarked = 0x1234;

// Marks every pixel's red channel, one progress call per row; a frame whose name says so is
// refused, or asks the run to stop while it renders (as Ctrl-C would).
class MarkingStep final : public RenderStep {
  public:
    MarkingStep(std::function<bool()> abortWanted, std::function<void()> progress)
        : abortWanted_(std::move(abortWanted)), progress_(std::move(progress)) {}

    Failure Render(const RenderContext& /*context*/, hostsdk::PlainBitmap& frame,
                   const std::string& name) override {
        if (name.find("refused") != std::string::npos) {
            return {FailureCode::RenderFailed, name + ": the render failed"};
        }
        if (name.find("stops") != std::string::npos) AbortRequested().store(true);
        for (int y = 0; y < frame.Height(); ++y) {
            if (abortWanted_()) return {FailureCode::Aborted, name + ": aborted"};
            for (int x = 0; x < frame.Width(); ++x) frame.Row(y)[x].r = kMarked;
            if (progress_) progress_();
        }
        return {};
    }

  private:
    std::function<bool()> abortWanted_;
    std::function<void()> progress_;
};

class MarkingRenderer final : public Renderer {
  public:
    std::string VersionText() const override { return "marking renderer"; }
    Failure NewConfigFilter(std::unique_ptr<ConfigFilter>& /*filter*/) const override {
        return {FailureCode::RenderFailed, "no filter object"};
    }
    Failure ShowAbout() const override { return {FailureCode::RenderFailed, "no about box"}; }
    std::unique_ptr<RenderStep> NewStep(std::function<bool()> abortWanted,
                                        std::function<void()> progress) const override {
        return std::make_unique<MarkingStep>(std::move(abortWanted), std::move(progress));
    }
};

// What the test does with one frame's input file.
enum class Input { Frame, Missing, NoImage };

struct Frame {
    const char* name;  // the input's; the output is "out-" + name
    Input input;
    FailureCode outcome;
};

struct BatchCase {
    const char* label;
    int jobs;
    std::vector<Frame> frames;
};

void WriteFrame(const ScratchFolder& folder, const std::string& name) {
    Image image;
    image.bitmap = std::make_unique<hostsdk::PlainBitmap>(6, 5);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) image.bitmap->Row(y)[x] = {0x100, 0x200, 0x300, 0xFFFF};
    }
    std::vector<std::string> notes;
    ASSERT_FALSE(WriteImage(image, folder.Path(name), image_files::FileFormat::Png, {}, notes));
}

// Every pixel of a written output was rendered; the other channels are the input's.
void ExpectRendered(const ScratchFolder& folder, const std::string& name) {
    Image image;
    ASSERT_FALSE(ReadImage(folder.Path(name), image)) << name;
    for (int y = 0; y < image.bitmap->Height(); ++y) {
        for (int x = 0; x < image.bitmap->Width(); ++x) {
            const BMM_Color_64 pixel = image.bitmap->Row(y)[x];
            EXPECT_EQ(pixel.r, kMarked) << name;
            EXPECT_EQ(pixel.g, 0x200) << name;
        }
    }
}

TEST(BatchRun, EachFrameItsOwnOutcomeAndOnlyWholeRendersWritten) {
    const BatchCase cases[] = {
        {"all frames",
         1,
         {{"a.png", Input::Frame, FailureCode::None},
          {"b.png", Input::Frame, FailureCode::None},
          {"c.png", Input::Frame, FailureCode::None}}},
        {"all frames, two workers",
         2,
         {{"a.png", Input::Frame, FailureCode::None},
          {"b.png", Input::Frame, FailureCode::None},
          {"c.png", Input::Frame, FailureCode::None},
          {"d.png", Input::Frame, FailureCode::None}}},
        {"a missing input and a file that is no image among frames",
         2,
         {{"a.png", Input::Frame, FailureCode::None},
          {"gone.png", Input::Missing, FailureCode::BadInput},
          {"text.png", Input::NoImage, FailureCode::BadInput},
          {"d.png", Input::Frame, FailureCode::None}}},
        {"a render refused",
         1,
         {{"a.png", Input::Frame, FailureCode::None},
          {"refused.png", Input::Frame, FailureCode::RenderFailed},
          {"c.png", Input::Frame, FailureCode::None}}},
        {"a stop during the second frame",
         1,
         {{"a.png", Input::Frame, FailureCode::None},
          {"stops.png", Input::Frame, FailureCode::Aborted},
          {"c.png", Input::Frame, FailureCode::Aborted}}},
    };
    for (const BatchCase& row : cases) {
        SCOPED_TRACE(row.label);
        ScratchFolder folder;
        std::vector<FrameTask> tasks;
        for (const Frame& frame : row.frames) {
            if (frame.input == Input::Frame) WriteFrame(folder, frame.name);
            if (frame.input == Input::NoImage) folder.Write(frame.name, "not an image");
            FrameTask task;
            task.input = folder.Path(frame.name);
            task.output = folder.Path(std::string("out-") + frame.name);
            tasks.push_back(task);
        }
        const std::vector<std::string> inputs = folder.Names();
        MarkingRenderer renderer;
        const RenderContext context{
            renderer, {kSixPointWeighted, kOddLines}, nullptr, std::nullopt};
        StatusLine line(StatusLine::Style::Quiet);
        ProgressReport report(line, static_cast<int>(tasks.size()));
        AbortRequested().store(false);
        const std::vector<Failure> results = RunBatch(context, {}, tasks, row.jobs, report);
        AbortRequested().store(false);

        ASSERT_EQ(results.size(), row.frames.size());
        std::vector<std::string> expected = inputs;
        for (std::size_t i = 0; i < results.size(); ++i) {
            const Frame& frame = row.frames[i];
            const std::string output = std::string("out-") + frame.name;
            SCOPED_TRACE(frame.name);
            EXPECT_EQ(results[i].code, frame.outcome) << results[i].reason;
            if (frame.outcome == FailureCode::None) {
                ExpectRendered(folder, output);
                expected.push_back(output);
                continue;
            }
            EXPECT_EQ(results[i].reason.rfind(folder.Text(frame.name) + ":", 0), 0u)
                << results[i].reason;
            if (frame.outcome == FailureCode::Aborted) {
                EXPECT_NE(
                    results[i].reason.find("aborted; " + folder.Text(output) + " not written"),
                    std::string::npos)
                    << results[i].reason;
            }
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(folder.Names(), expected);
    }
}

}  // namespace

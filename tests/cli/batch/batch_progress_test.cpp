// The bar a batch draws on a terminal: the share of all frames done, each frame counted by its
// latest fraction, and every frame finished drawn as 100%.

#include "cli/batch/batch_progress.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

struct ProgressCase {
    const char* what;
    int frames;
    std::vector<std::pair<int, double>> updates;  // frame, fraction done
    std::vector<int> finished;                    // after the updates
    const char* bar;                              // the last drawn
};

// The last bar drawn among the bytes a terminal was sent, without the blanks after it.
std::string LastBar(const std::string& sent) {
    const std::size_t start = sent.rfind("\r[");
    if (start == std::string::npos) return {};
    std::string bar = sent.substr(start + 1);
    bar = bar.substr(0, bar.find_first_of("\r\n"));
    return bar.substr(0, bar.find_last_not_of(' ') + 1);
}

TEST(ProgressReport, DrawsTheShareOfAllFramesDone) {
    const ProgressCase cases[] = {
        {"half of one frame",
         1,
         {{0, 0.5}},
         {},
         "[####################....................]  50%  0/1 frames"},
        {"a third of each of three frames",
         3,
         {{0, 1.0 / 3}, {1, 1.0 / 3}, {2, 1.0 / 3}},
         {},
         "[#############...........................]  33%  0/3 frames"},
        {"a frame told again counts at its latest",
         2,
         {{0, 0.9}, {0, 0.2}},
         {},
         "[####....................................]  10%  0/2 frames"},
        {"frames finished after tenths of them",
         10,
         {{0, 0.1}, {1, 0.7}, {2, 0.3}, {3, 0.9}, {4, 0.1}, {5, 0.3}, {6, 0.7}, {7, 0.9}},
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
         "[########################################] 100%  10/10 frames"},
    };
    for (const ProgressCase& row : cases) {
        SCOPED_TRACE(row.what);
        StatusLine line(StatusLine::Style::Terminal);
        ProgressReport report(line, row.frames);
        ::testing::internal::CaptureStderr();
        for (const auto& [frame, fraction] : row.updates) report.Update(frame, fraction);
        for (const int frame : row.finished) report.Finished(frame, "done");
        EXPECT_EQ(LastBar(::testing::internal::GetCapturedStderr()), row.bar);
    }
}

}  // namespace

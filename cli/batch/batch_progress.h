#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "cli/platform/status_line.h"

// A batch's progress on the status line: a bar over all frames on a terminal, one line per
// finished frame otherwise, nothing when quiet. Shared by all worker threads.
class ProgressReport {
  public:
    ProgressReport(StatusLine& line, int frames);

    // Fraction (0 to 1) of frame `index` done.
    void Update(int index, double fraction);
    // Frame `index` ended; `line` describes it (success lines only: errors are printed apart).
    void Finished(int index, const std::string& line);
    // An error line, printed whatever the style.
    void Error(const std::string& line);

  private:
    void SetLocked(int index, double fraction);
    void DrawLocked();

    StatusLine& line_;
    std::mutex lock_;
    // Each frame's share done in whole steps, and their sum, kept as they change: a sum over a
    // sequence's thousands of frames at each of their many updates would grow with their square.
    std::vector<std::int64_t> done_;
    std::int64_t doneSum_ = 0;
    int finished_ = 0;
    int drawnPercent_ = -1;
};

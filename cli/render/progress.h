#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "hosting/message_window.h"

// Set by Ctrl-C (or Ctrl-Break, or closing the console); every progress window hands it to the
// filter at its next abort poll.
std::atomic<bool>& AbortRequested();
// Installs the console control handler that sets AbortRequested().
void InstallAbortHandler();

// What the user sees of the frames' progress: a bar on a terminal, one line per finished frame
// otherwise, nothing when quiet. Shared by all worker threads.
class ProgressReport {
  public:
    enum class Style { Bar, Lines, Quiet };
    ProgressReport(Style style, int frames);

    // Fraction (0 to 1) of frame `index` done.
    void Update(int index, double fraction);
    // Frame `index` ended; `line` describes it (success lines only: errors are printed apart).
    void Finished(int index, const std::wstring& line);
    // Clears the bar before an error line goes to stderr.
    void Error(const std::wstring& line);
    // Ends the bar's line.
    void Close();

    // The style for stderr as it is: a bar when it is a console, lines otherwise.
    static Style StyleForStderr(bool quiet);

  private:
    void DrawLocked();
    void ClearLocked();

    Style style_;
    std::mutex lock_;
    std::vector<double> fractions_;
    int finished_ = 0;
    int drawnPercent_ = -1;
    bool barShown_ = false;
};

// The host's render window for one frame: turns the filter's progress messages into the
// report and answers abort polls with the user's abort request.
class ProgressWindow final : public MessageWindow {
  public:
    // `expectedMessages`: how many progress messages the render of this frame will send.
    ProgressWindow(ProgressReport& report, int index, int expectedMessages);

    // Whether an abort poll handed the filter a set flag.
    bool AbortDelivered() const { return abortDelivered_; }

  private:
    void OnProgress(WPARAM position, LPARAM total) override;
    void OnAbortPoll(WPARAM wParam, int32_t* flag) override;

    ProgressReport& report_;
    int index_;
    int expected_;
    int received_ = 0;
    bool abortDelivered_ = false;
};

// How many progress messages a render sends: one per rebuilt line with a line below it, plus
// one per row for the mask pass.
int ExpectedProgressMessages(int height, int field, bool mask);

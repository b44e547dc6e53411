#pragma once

#include <mutex>
#include <string>

// The one line of stderr that shows a run's progress. On a terminal it is drawn and redrawn in
// place; elsewhere nothing is drawn, and progress is told in whole lines, if at all. Whole
// lines (results, errors) are written through it from any thread, above the drawn line, so the
// two never mix.
class StatusLine {
  public:
    enum class Style { Terminal, Lines, Quiet };
    // The style for stderr as it is: drawn on a console, lines otherwise; Quiet when asked.
    static Style ForStderr(bool quiet);

    explicit StatusLine(Style style) : style_(style) {}
    Style GetStyle() const { return style_; }

    // Replaces the drawn line with `text` (a terminal only).
    void Draw(const std::string& text);
    // Writes one whole line, whatever the style, keeping the drawn line below it.
    void Print(const std::string& line);
    // Erases the drawn line.
    void Clear();
    // Leaves the drawn line as it is and moves below it.
    void Keep();

  private:
    void EraseLocked();

    const Style style_;
    std::mutex lock_;
    std::string drawn_;
};

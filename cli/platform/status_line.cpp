#include "cli/platform/status_line.h"

#include "cli/platform/file_io.h"
#include "cli/platform/text.h"

StatusLine::Style StatusLine::ForStderr(bool quiet) {
    if (quiet) return Style::Quiet;
    return IsTerminal(StandardStreamId::Error) ? Style::Terminal : Style::Lines;
}

void StatusLine::Draw(const std::string& text) {
    if (style_ != Style::Terminal) return;
    std::lock_guard<std::mutex> guard(lock_);
    // Blanks over what a longer line left.
    const std::size_t blanks = drawn_.size() > text.size() ? drawn_.size() - text.size() : 0;
    std::string bytes = "\r" + text;
    bytes.append(blanks, ' ');
    WriteErrorRaw(bytes);
    drawn_ = text;
}

void StatusLine::Print(const std::string& line) {
    std::lock_guard<std::mutex> guard(lock_);
    const std::string drawn = drawn_;
    EraseLocked();
    WriteErrorRaw(OneLine(ProgramLine(line)) + "\n");
    if (!drawn.empty()) WriteErrorRaw(drawn);
    drawn_ = drawn;
}

void StatusLine::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    EraseLocked();
}

void StatusLine::Keep() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!drawn_.empty()) WriteErrorRaw("\n");
    drawn_.clear();
}

void StatusLine::EraseLocked() {
    if (drawn_.empty()) return;
    std::string bytes = "\r";
    bytes.append(drawn_.size(), ' ');
    WriteErrorRaw(bytes + "\r");
    drawn_.clear();
}

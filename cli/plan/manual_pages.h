#pragma once

#include <string>

#include "common/failure.h"

// The parts of the manual page (cli/braidel-run.1) and of the reference (docs/braidel-run.md)
// that the option table and the exit-code table write, so that neither is written by hand again.
// A part stands between a start line that names it and an end line; the page's own text is
// around it. braidel-manual (cli/braidel_manual.cpp) writes them anew; a test checks that the
// committed pages are what it writes.

enum class PageFormat { Troff, Markdown };

// The parts a page may hold: "synopsis", "options" and "exit codes".
// The part named `part` in `format`, lines ended by newlines; empty for a name that is not one.
std::string GeneratedPart(const std::string& part, PageFormat format);

// `page` with every part it holds written anew into `result`. A start line with an unknown part
// or without its end line fails (FailureCode::BadInput, one line naming the part).
Failure RegeneratePage(const std::string& page, PageFormat format, std::string& result);

// The format of a page, by its name: Markdown for ".md", troff otherwise.
PageFormat FormatOfPage(const std::string& path);

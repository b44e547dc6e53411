#pragma once

#include "cli/platform/system_file.h"

namespace posix {

// Standard input, output and error as the caller left them. One the caller closed is given
// /dev/null in its place, so that no file the run opens takes its number, and the run is told
// (StandardStream) that it is not there. Call once at start, before anything is opened.
void TakeStandardStreams();

// The descriptor of a standard stream: 0, 1 or 2.
int DescriptorOf(StandardStreamId which);

// Whether the caller closed descriptor `fd` (0, 1 or 2).
bool ClosedByCaller(int fd);

}  // namespace posix

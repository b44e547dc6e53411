#pragma once

#include <string>

#include "cli/exit_codes.h"

// Linux file systems take no name (a part of a path between slashes) longer than 255 bytes. Both
// programs refuse a path holding a longer one before anything is read or written, so that no
// run fails half-way on it: FailureCode::Usage, one line that starts with `shown`. `linuxPath` is
// the path as Linux takes it (under Wine, its Unix form).
Failure CheckLinuxNameLengths(const std::string& linuxPath, const std::string& shown);

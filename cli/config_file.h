#pragma once

#include <string>

#include "cli/exit_codes.h"
#include "filter/filter_config.h"

// The 8-byte configuration block as a host persists it: the file holds exactly those bytes.
Failure ReadConfigFile(const std::wstring& path, FilterConfig& config);
// Written to a temporary file beside `path` and renamed over it once complete.
Failure WriteConfigFile(const std::wstring& path, const FilterConfig& config);

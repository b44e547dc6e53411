#pragma once

#include <string>

#include "cli/exit_codes.h"
#include "cli/platform/file_paths.h"
#include "filter/filter_config.h"

// The 8-byte configuration block as a host persists it: the file holds exactly those bytes.
Failure ReadConfigFile(const FilePath& path, FilterConfig& config);
// Written through a temporary file that replaces `path` only once complete. An existing file
// is replaced only when it is itself an 8-byte block.
Failure WriteConfigFile(const FilePath& path, const FilterConfig& config);

// A block braidel-run will use or write must select a defined kernel and field; one that does
// not is refused (FailureCode::RenderFailed) with a line naming the value. The plug-in itself
// accepts any block.
Failure CheckConfig(const FilterConfig& config);

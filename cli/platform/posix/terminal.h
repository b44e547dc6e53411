#pragma once

namespace posix {

// Whether a descriptor is a terminal: the status line is drawn only there.
bool IsTerminal(int fd);

}  // namespace posix

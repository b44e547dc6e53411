#include "cli/platform/posix/terminal.h"

#include <unistd.h>

namespace posix {

bool IsTerminal(int fd) {
    return ::isatty(fd) == 1;
}

}  // namespace posix

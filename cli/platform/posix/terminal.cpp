#include "cli/platform/posix/terminal.h"

#include <unistd.h>

bool IsTerminal(int fd) {
    return ::isatty(fd) == 1;
}

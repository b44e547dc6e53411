// Crashes at once, with no handler of its own: the project's Wine prefixes must end it, never
// start a debugger or a crash dialog that waits.
#include <windows.h>

int main() {
    RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return 0;
}

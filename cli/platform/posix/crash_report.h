#pragma once

namespace posix {

// A crash (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) ends the run with one line on stderr,
// "braidel-run: crashed (SIGSEGV); stopped", and exit code 4, as the Windows program's crash
// filter ends it; nothing waits and no core is left for it. Temporary files of frames in work
// may stay: nothing can be trusted after a fault. Call once at start.
void InstallCrashReport();

}  // namespace posix

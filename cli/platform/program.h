#pragma once

#include <string>
#include <vector>

#include "cli/exit_codes.h"

// The program between the system's start-up and its stages. Each system's entry point (wmain on
// Windows, main on POSIX, in platform/windows and platform/posix) prepares the process and calls
// RunCommandLine with the arguments after the program's name: UTF-8 on Windows, converted from
// the wide command line; on POSIX the bytes as given, which need not be UTF-8.
int RunCommandLine(const std::vector<std::string>& args);

// What the system needs once the arguments are parsed and before a run touches any file.
// Windows: installs the console control handler. POSIX: nothing more (the stop signals are
// taken from start-up on).
Failure PrepareRun();

#pragma once

#include <atomic>

// Cancellation of the whole run. A stop from outside sets one flag: on Windows Ctrl-C,
// Ctrl-Break and closing the console; on POSIX the stop signals. Each frame's render step hands it
// to the render at its next abort poll, and batch and stream check it between their steps, so that
// no further frame is written.
std::atomic<bool>& AbortRequested();

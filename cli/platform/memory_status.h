#pragma once

#include <windows.h>

#include <optional>

// The system's memory figures, or nothing when it gives none that make sense. Calls are made
// one at a time: Wine fills a process-wide cache for them, and a second thread could read it
// half filled.
std::optional<MEMORYSTATUSEX> MemoryStatus();

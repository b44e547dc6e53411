#pragma once

// braidel-run is two programs built from the same stages: the Windows program, which loads the
// plug-in, and the native one, which renders with the rebuild core. Most of what they take and
// say is the same; this says which of them something belongs to, so that each program's usage
// lists what it does and the manual can list both.
enum class Programs { Both, Windows, Native };

#if defined(_WIN32)
inline constexpr Programs kThisProgram = Programs::Windows;
#else
inline constexpr Programs kThisProgram = Programs::Native;
#endif

// Whether something of `programs` belongs to `program` (Windows or Native).
constexpr bool BelongsTo(Programs programs, Programs program) {
    return programs == Programs::Both || programs == program;
}

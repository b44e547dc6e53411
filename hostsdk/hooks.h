#pragma once

// Where the stand-in host's calls meet its instrumentation. The test variant of the SDK
// (built with HOSTSDK_INSTRUMENTED, see records.cpp) counts calls, logs blends and refuses
// chosen allocations here; in the plain variant that programs and the package use, every hook
// is empty and inline, so it keeps no records and costs nothing.

namespace hostsdk::hooks {

#if defined(HOSTSDK_INSTRUMENTED)
void SaveRequiredFlagSet(int flag);
void WindowCentered();
void Blended(int a, int b, int l, int result);
// True when this allocation is the one a test asked to fail.
bool AllocationRefused();
void Allocated();
void Released();
#else
inline void SaveRequiredFlagSet(int) {}
inline void WindowCentered() {}
inline void Blended(int, int, int, int) {}
inline bool AllocationRefused() {
    return false;
}
inline void Allocated() {}
inline void Released() {}
#endif

}  // namespace hostsdk::hooks

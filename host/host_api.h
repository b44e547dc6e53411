#pragma once

// Symbols of the host SDK libraries. The SDK's own build exports them; plug-ins import them.
#if defined(HOSTSDK_BUILD)
#define HOSTSDK_API __declspec(dllexport)
#else
#define HOSTSDK_API __declspec(dllimport)
#endif

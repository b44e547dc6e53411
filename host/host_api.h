#pragma once

// Symbols of the host SDK libraries. The SDK's own build exports them; plug-ins import them.
// Natively (the native braidel-run's frames) the declarations are linked in from a static
// library, with nothing to export.
#if !defined(_WIN32)
#define HOSTSDK_API
#elif defined(HOSTSDK_BUILD)
#define HOSTSDK_API __declspec(dllexport)
#else
#define HOSTSDK_API __declspec(dllimport)
#endif

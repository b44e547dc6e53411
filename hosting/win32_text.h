#pragma once

#include <string>

// Wide text as UTF-8 bytes, for the console and files.
std::string ToUtf8(const std::wstring& text);

// The message of a Win32 or COM error code, on one line, with the code in hex.
std::wstring ErrorText(unsigned long code);

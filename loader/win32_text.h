#pragma once

#include <string>

// Wide text as UTF-8 bytes, for the console and files, and back.
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// The message of a Win32 or COM error code, on one line, with the code in hex, as UTF-8.
std::string ErrorText(unsigned long code);

#pragma once

#include <windows.h>

#include <string>

#include "hosting/win32_text.h"

// Writes one whole line (a newline is added) to stderr or stdout in a single write, so lines of
// parallel frames never interleave. An error line shows control characters escaped.
void PrintError(const std::wstring& line);
void PrintOut(const std::wstring& line);
// UTF-8 text with its control characters shown escaped (\n, \t, \x01, ...), so that a name
// holding them cannot break a line in two.
std::string OneLine(const std::string& text);

// Writes text to stderr as it is (no newline added).
void WriteErrorRaw(const std::string& bytes);

// Whether a standard handle is a console. Only a console has a console mode; a character
// device such as /dev/null has none.
bool IsTerminal(HANDLE handle);

#pragma once

#include <windows.h>

#include <string>

#include "loader/win32_text.h"

// A line of the program's own on stderr: "braidel-run: " and the text, the one place that
// prefix is written.
std::string ProgramLine(const std::string& text);

// Writes one whole line (a newline is added) to stderr or stdout in a single write, so lines of
// parallel frames never interleave. PrintError writes ProgramLine(text), its control
// characters shown escaped. Text is UTF-8.
void PrintError(const std::string& text);
void PrintOut(const std::string& line);
// UTF-8 text with its control characters shown escaped (\n, \t, \x01, ..., and the C1
// controls as \u0085, ...), so that a name holding them cannot break a line in two or drive
// the terminal.
std::string OneLine(const std::string& text);

// Writes text to stderr as it is (no newline added).
void WriteErrorRaw(const std::string& bytes);

// Whether a standard handle is a console. Only a console has a console mode; a character
// device such as /dev/null has none.
bool IsTerminal(HANDLE handle);

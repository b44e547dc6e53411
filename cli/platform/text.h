#pragma once

#include <string>

// A line of the program's own on stderr: "braidel-run: " and the text, the one place that
// prefix is written.
std::string ProgramLine(const std::string& text);

// The whole line, newline included, that ends a crashed run: "braidel-run: crashed (WHAT);
// stopped". Made ahead where the crash handler may only write bytes it already has.
std::string CrashLine(const std::string& what);

// Writes one whole line (a newline is added) to stderr or stdout in a single write, so lines of
// parallel frames never interleave. PrintError writes ProgramLine(text), shown as OneLine
// shows it.
void PrintError(const std::string& text);
// False when the line could not be written whole (a full disk, a closed reader).
bool PrintOut(const std::string& line);
// Text with its control characters shown escaped (\n, \t, \x01, ..., and the C1 controls as
// \u0085, ...), so that a name holding them cannot break a line in two or drive the terminal.
// Valid UTF-8 passes; a byte that is not part of valid UTF-8 (a POSIX name may hold any) is
// shown as \xNN.
std::string OneLine(const std::string& text);

// Writes text to stderr as it is (no newline added).
void WriteErrorRaw(const std::string& bytes);

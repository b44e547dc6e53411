#pragma once

#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/plan/arguments.h"

// One frame of a run as typed: where it is read from and where it goes.
struct TypedFrame {
    std::string input;
    std::string output;       // empty in batch mode: the input's name in --out-dir
    std::string rightOutput;  // the right eye's, when both eyes go to two outputs
};

// The frames that a run's INPUTs name, in order: a plain name is one frame, a numbered sequence
// (cli/plan/frame_sequence.h) is the frames --frames lists or, without it, every one that exists
// in its folder in ascending order; the names of --inputs or --inputs0 follow, each taken as it
// is (a # or % there is part of the name). Without --out-dir, a sequence INPUT needs a sequence
// OUTPUT (and RIGHT, with both eyes as two outputs), which gets the same numbers. A frame that
// --frames asks for and that does not exist is a usage error naming the first such number. Reads
// only folders and the list of names.
Failure ListFrames(const RunOptions& options, std::vector<TypedFrame>& frames);

// A list of names as --inputs (lines, a CR before the LF dropped) or --inputs0 (NUL-separated)
// hold them; empty names are skipped.
std::vector<std::string> SplitNames(const std::string& bytes, bool nulSeparated);

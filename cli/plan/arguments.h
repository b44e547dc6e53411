#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/plan/both_eyes.h"
#include "cli/plan/frame_sequence.h"
#include "cli/programs.h"
#include "filter/filter_config.h"
#include "image_files/image_files.h"

// How outputs are written, as the command line asks; unset values take the codec's defaults
// (and a TIFF output keeps a TIFF input's compression).
struct OutputOptions {
    int bitsPerChannel = 16;
    std::optional<int> pngLevel;
    std::optional<image_files::PngFilter> pngFilter;
    std::optional<image_files::TiffCompression> tiffCompression;
};

// The size of every frame of a raw stream, each side from 1 to 65535.
struct FrameSize {
    uint16_t width = 0;
    uint16_t height = 0;
};

// The command line of braidel-run, parsed but not yet checked against the file system.
struct RunOptions {
    std::optional<Kernel> mode;
    std::optional<Field> field;
    std::optional<EyeLayout> eyeLayout;  // --both-eyes
    std::optional<Eye> firstRow;         // --first-row
    std::optional<BothEyes> bothEyes;    // both, once the arguments are placed
    std::string maskPath;
    std::string configPath;
    std::string saveConfigPath;
    std::string outDir;  // batch mode when not empty
    bool setup = false;
    bool about = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    int jobs = 0;  // 0: the default
    OutputOptions encoding;
    std::optional<FrameSize> raw;  // INPUT and OUTPUT are raw frame streams
    std::vector<std::string> inputs;
    std::string output;              // single-frame and raw modes
    std::string rightOutput;         // the right eye's, when both eyes go to two outputs
    std::vector<FrameRange> frames;  // of a numbered INPUT; empty: every one in its folder
    std::string inputsList;          // --inputs or --inputs0: a file of INPUTs, or - for stdin
    bool inputsNul = false;          // the list's names end in NUL rather than a line's end
    bool skipExisting = false;       // an output that exists is kept and its frame not read
};

// Standard input or output in place of a file: "-" as INPUT or OUTPUT of a raw stream.
inline bool IsStandardStream(const std::string& typed) {
    return typed == "-";
}

// Parses argv[1..] against the option table. A usage mistake fails with FailureCode::Usage and one
// line.
Failure ParseArguments(const std::vector<std::string>& args, RunOptions& options);

// What --help prints: the synopsis, the options, then a few lines on inputs, outputs and exit
// codes.
std::string UsageText(Programs program = kThisProgram);

// The exit codes' line of --help.
std::string ExitCodeSummary(Programs program = kThisProgram);

// The forms of the command, each after "braidel-run ": --help's usage lines and the manual's
// synopsis.
const std::vector<std::string>& CommandForms();

// One option as the manual page and the reference list it: what --help says of it on one line,
// then what the manual adds.
struct OptionEntry {
    std::string name;
    std::string value;  // empty for a flag
    std::string text;
    Programs programs;  // the programs whose usage lists it
};

// The options of the table that `program`'s usage lists (Programs::Both: every one), in the
// table's order.
std::vector<OptionEntry> ManualOptions(Programs program);

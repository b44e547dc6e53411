#pragma once

#include "cli/programs.h"
#include "common/failure.h"

// What braidel-run tells its caller. A batch exits with the code of its first failed frame.
enum ExitCode : int {
    kExitSuccess = 0,
    kExitUsage = 2,
    kExitBadInput = 3,
    kExitRenderFailed = 4,
    kExitNotWritten = 5,
    kExitAborted = 130,
};

// The exit code that reports a failure of this kind.
constexpr int ExitCodeOf(FailureCode code) {
    switch (code) {
        case FailureCode::None:
            return kExitSuccess;
        case FailureCode::Usage:
            return kExitUsage;
        case FailureCode::BadInput:
            return kExitBadInput;
        case FailureCode::RenderFailed:
            return kExitRenderFailed;
        case FailureCode::NotWritten:
            return kExitNotWritten;
        case FailureCode::Aborted:
            return kExitAborted;
    }
    return kExitRenderFailed;
}

// What each exit code means: --help sums each up in `brief`, the manual page and the reference
// list `meaning`. `code` is the number as shown ("128 + N" for the stop signals).
struct ExitCodeMeaning {
    const char* code;
    const char* brief;
    const char* meaning;
    Programs programs = Programs::Both;
};

inline constexpr ExitCodeMeaning kExitCodeMeanings[] = {
    {"0", "success", "every frame written"},
    {"2", "usage",
     "usage: an unknown option, a bad value (also a --raw size, or one whose --both-eyes packed "
     "frame would pass 65535 pixels a side), --field with --both-eyes, an empty INPUT or OUTPUT, "
     "an output not .png, .tif or .tiff, two writes to one file (same-named inputs in a batch, "
     "--save-config naming an output, one new file through a linked folder; on Windows new "
     "names that differ only in case or by a short name), a terminal as a raw stream's - or "
     "OUTPUT, - without --raw (or as --mask or --out-dir, or for both the block and the raw "
     "frames or the list of inputs); a frame that --frames asks for and that does not exist, a "
     "numbered INPUT without a numbered OUTPUT or --out-dir, --inputs without --out-dir; a name "
     "longer than 255 bytes, an output that is a caller's pipe naming no file; on Windows a name "
     "Windows cannot express"},
    {"3", "unreadable input (or a partial last raw frame)",
     "unreadable input: missing, not an image, unsupported or damaged, wider or taller than "
     "65535, changed while read, a frame too large for the run's memory (with --both-eyes, its "
     "views included), for the memory left or for its packed frame, or a configuration file "
     "that is not 8 bytes (or a folder); a numbered sequence with no frame in its folder, an "
     "--inputs list that cannot be read; a raw stream that ends inside a frame (every whole "
     "frame is written), a closed standard input as -"},
    {"4", "render failed",
     "render failed (e.g. a mask with fewer rows than the frame), a configuration that selects "
     "no kernel or field, a raw stream whose threads cannot start; also: the plug-in or a dialog "
     "could not be loaded or shown (--setup and --about in the native program), a crash"},
    {"5", "output not written (or its reader went away)",
     "output not written (folder missing or not writable, disk full, file-size limit, output "
     "would replace a file the run reads, standard output that is a file the run reads, "
     "--save-config naming a file that is not a block, an output link that leads to no file); a "
     "raw stream's standard output closed by the caller, or closed by its reader"},
    {"130", "aborted (Ctrl-C)", "aborted by Ctrl-C (or setup cancelled)", Programs::Windows},
    {"128 + N", "stopped by signal N (130 Ctrl-C)",
     "stopped by signal N: 130 for SIGINT (Ctrl-C), 143 SIGTERM, 129 SIGHUP, 131 SIGQUIT, 142 "
     "SIGALRM, 138 SIGUSR1, 140 SIGUSR2, 141 SIGPIPE",
     Programs::Native},
};

#pragma once

#include <vector>

#include "cli/exit_codes.h"
#include "cli/plan/arguments.h"
#include "cli/platform/file_paths.h"

// One frame to filter: where it comes from and where it goes.
struct FrameTask {
    FilePath input;
    FilePath output;
};

// Every file a run reads and writes, resolved from the command line.
struct RunFiles {
    std::vector<FrameTask> frames;
    FilePath mask;
    FilePath config;
    FilePath saveConfig;
    FilePath outDir;  // batch mode when not empty
};

// Resolves the paths of the command line and checks, before anything is written, that the run
// writes each file once (exit 2 otherwise: the same output twice, an output that is also the
// configuration to save) and never replaces a file it reads (exit 5): inputs, the mask and
// the configuration are compared with every output and the saved configuration by file
// identity, so links, hard links and linked folders are seen through.
Failure PlanRun(const RunOptions& options, RunFiles& files);

// Makes the batch output folder with its missing parents.
Failure MakeOutputFolder(const RunFiles& files);

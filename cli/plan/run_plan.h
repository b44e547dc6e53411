#pragma once

#include <optional>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/plan/arguments.h"
#include "cli/platform/file_paths.h"
#include "image_files/image_files.h"

// One image file to filter: where it comes from, where it goes and in which format.
struct FrameTask {
    FilePath input;
    FilePath output;
    image_files::FileFormat format = image_files::FileFormat::Png;
    // The right eye's output when both eyes go to two outputs (`output` is then the left
    // eye's); empty otherwise.
    FilePath rightOutput;
    image_files::FileFormat rightFormat = image_files::FileFormat::Png;
};

// A raw frame stream's two ends; either may be "-", a standard stream, which is then neither
// closed nor a terminal.
struct StreamTask {
    FilePath input;
    FilePath output;
    FilePath rightOutput;  // as a FrameTask's
};

// Every file a run reads and writes, resolved from the command line.
struct RunFiles {
    std::vector<FrameTask> frames;
    std::optional<StreamTask> stream;
    FilePath mask;
    FilePath config;
    FilePath saveConfig;
    FilePath outDir;  // batch mode when not empty
    // Outputs that --skip-existing keeps as they are; their frames are left out.
    std::size_t keptOutputs = 0;
};

// Resolves the paths of the command line and decides, before any file is read or written, every
// output's format and that the run writes each file once (exit 2 otherwise: an output that is
// not .png, .tif or .tiff, the same output twice, an output that is also the configuration to
// save, a terminal as a raw stream) and never replaces a file it reads (exit 5): inputs, the
// mask and the configuration are compared with every output and the saved configuration by
// file identity, so links, hard links and linked folders are seen through. With
// --skip-existing, a frame whose outputs exist (files, links followed) takes no part, and its
// outputs are counted in keptOutputs.
Failure PlanRun(const RunOptions& options, RunFiles& files);

// Makes the batch output folder with its missing parents, and holds it when it was new.
Failure MakeOutputFolder(RunFiles& files);

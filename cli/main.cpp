// braidel-run: a command-line host for Braidel.flt. Filters PNG or TIFF frames, or raw frame
// streams, through the run's renderer: the plug-in, loaded as a host loads it, one filter object
// per frame (the Windows program), or the rebuild core the plug-in is made of (the native one).

#include <cstdio>
#include <vector>

#include "braidel_version.h"
#include "cli/batch/batch_run.h"
#include "cli/plan/arguments.h"
#include "cli/plan/config_file.h"
#include "cli/platform/program.h"
#include "cli/platform/status_line.h"
#include "cli/platform/text.h"
#include "cli/render/image_io.h"
#include "cli/render/render_frame.h"
#include "cli/render/renderer.h"
#include "cli/render/workers.h"
#include "cli/stream/raw_stream.h"
#include "image_files/image_files.h"

namespace {

constexpr char kProgramVersion[] = "" BRAIDEL_VERSION_TEXT;

// The one place a failure becomes what the caller sees: its line on stderr and its exit code.
int Report(const Failure& failure, const char* advice = "") {
    PrintError(failure.reason + advice);
    return ExitCodeOf(failure.code);
}

// The configuration every frame gets, settled by the renderer as a host settles it. It must
// select a defined kernel and field before any frame is read or the block is saved.
Failure PrepareConfig(const Renderer& renderer, const RunOptions& options, const RunFiles& files,
                      FilterConfig& config) {
    if (Failure failure = SettleConfig(renderer, options, files, config)) return failure;
    if (Failure failure = CheckConfig(config)) return failure;
    if (!files.saveConfig.Empty()) return WriteConfigFile(files.saveConfig, config);
    return {};
}

// The lines the program owes on standard output: a failed write of any of them is exit 5.
int ShowLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        if (!PrintOut(line))
            return Report({FailureCode::NotWritten, "standard output: not written"});
    }
    return kExitSuccess;
}

int ShowVersion(const Renderer& renderer) {
    return ShowLines({std::string("braidel-run ") + kProgramVersion + "; " + renderer.VersionText(),
                      "image files: " + image_files::LibraryVersions()});
}

// The mask every frame gets, checked once.
Failure OpenMask(const FilePath& path, bool quiet, std::unique_ptr<RunMask>& mask) {
    std::vector<std::string> notes;
    if (Failure failure = RunMask::Open(path, mask, notes)) return failure;
    for (const std::string& note : notes) PrintError(path.shown + ": note: " + note);
    if (!quiet) {
        PrintError(
            "note: the mask pass hands each masked pixel to the host's blend "
            "helper with equal endpoints, which here returns it unchanged; the pass costs time "
            "(about 10 x the render) but leaves the picture as rebuilt");
    }
    return {};
}

// A batch exits with 130 when it was aborted, else with the code of its first failed frame in
// input order.
int BatchExitCode(const std::vector<Failure>& results) {
    int aborted = 0;
    for (const Failure& result : results) aborted += result.code == FailureCode::Aborted;
    if (aborted > 0) {
        PrintError("aborted; " + std::to_string(aborted) + " of " + std::to_string(results.size()) +
                   " frames not written");
        return kExitAborted;
    }
    for (const Failure& result : results) {
        if (result) return ExitCodeOf(result.code);
    }
    return kExitSuccess;
}

// The frames of a planned run, once its configuration is settled.
int FilterFrames(const RenderContext& context, const RunOptions& options, const RunFiles& files) {
    StatusLine status(StatusLine::ForStderr(options.quiet));
    if (files.stream) {
        const Failure failure =
            RunRawStream(context, *files.stream, *options.raw, options.jobs, status);
        return failure ? Report(failure) : kExitSuccess;
    }
    ProgressReport report(status, static_cast<int>(files.frames.size()));
    const std::vector<Failure> results =
        RunBatch(context, options.encoding, files.frames, options.jobs, report);
    status.Keep();
    return BatchExitCode(results);
}

// What --skip-existing left out, in one line before the first frame is read.
void ReportKept(const RunOptions& options, const RunFiles& files) {
    if (files.keptOutputs == 0 || options.quiet) return;
    const std::size_t left = files.frames.size();
    StatusLine(StatusLine::Style::Lines)
        .Print(std::to_string(files.keptOutputs) + " existing output" +
               (files.keptOutputs == 1 ? "" : "s") + " kept; " + std::to_string(left) + " frame" +
               (left == 1 ? "" : "s") + " to filter");
}

// The run's stages, from the arguments to the last frame.
int RunStages(const std::vector<std::string>& args) {
    RunOptions options;
    if (Failure failure = ParseArguments(args, options)) {
        return Report(failure, " (see braidel-run --help)");
    }
    if (options.help) return ShowLines({UsageText()});
    if (Failure failure = PrepareRun()) return Report(failure);

    std::unique_ptr<Renderer> renderer;
    if (Failure failure = Renderer::Load(renderer)) {
        if (options.version) ShowLines({std::string("braidel-run ") + kProgramVersion});
        return Report(failure);
    }
    if (options.version) return ShowVersion(*renderer);
    if (options.about) {
        const Failure failure = renderer->ShowAbout();
        return failure ? Report(failure) : kExitSuccess;
    }

    // Every file is resolved and every write checked before anything is written.
    RunFiles files;
    if (Failure failure = PlanRun(options, files)) return Report(failure);
    RenderContext context{*renderer, {}, nullptr, options.bothEyes};
    if (Failure failure = PrepareConfig(*renderer, options, files, context.config)) {
        return Report(failure);
    }
    ReportKept(options, files);
    if (files.frames.empty() && !files.stream) return kExitSuccess;
    std::unique_ptr<RunMask> mask;
    if (!files.mask.Empty()) {
        if (Failure failure = OpenMask(files.mask, options.quiet, mask)) return Report(failure);
        context.mask = mask.get();
    }
    if (Failure failure = MakeOutputFolder(files)) return Report(failure);
    return FilterFrames(context, options, files);
}

}  // namespace

// An exception that no stage turned into a failure still ends the run with one line and its
// exit code; every file in work is removed as the stages unwind.
int RunCommandLine(const std::vector<std::string>& args) {
    try {
        return RunStages(args);
    } catch (...) {
        return Report(FailureOfException(std::current_exception(), ""));
    }
}

// braidel-run: a command-line host for Braidel.flt. Loads the plug-in as a host does and
// filters PNG or TIFF frames, or raw frame streams, through it, one filter object per frame.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <vector>

#include "braidel_version.h"
#include "cli/batch/batch_run.h"
#include "cli/plan/arguments.h"
#include "cli/plan/config_file.h"
#include "cli/platform/caller_permissions.h"
#include "cli/platform/status_line.h"
#include "cli/platform/text.h"
#include "cli/platform/wine.h"
#include "cli/render/cancellation.h"
#include "cli/render/image_io.h"
#include "cli/render/render_frame.h"
#include "cli/stream/raw_stream.h"
#include "image_files/image_files.h"
#include "loader/plugin_library.h"

namespace {

constexpr char kProgramVersion[] = "" BRAIDEL_VERSION_TEXT;

// The one place a failure becomes what the caller sees: its line on stderr and its exit code.
int Report(const Failure& failure, const char* advice = "") {
    PrintError(failure.reason + advice);
    return ExitCodeOf(failure.code);
}

// The configuration every frame gets: the loaded block, then --mode and --field, then the
// setup dialog, all applied through a filter object as a host applies them. It must select a
// defined kernel and field before any frame is read or the block is saved.
Failure PrepareConfig(const PluginLibrary& plugin, const RunOptions& options, const RunFiles& files,
                      FilterConfig& config) {
    FilterPtr filter = plugin.CreateFilter();
    if (!filter) return {FailureCode::RenderFailed, "the plug-in created no filter"};
    if (!files.config.Empty()) {
        FilterConfig loaded;
        if (Failure failure = ReadConfigFile(files.config, loaded)) return failure;
        filter->LoadConfig(&loaded);
    }
    filter->SaveConfig(&config);
    if (options.mode) config.mode = *options.mode;
    if (options.field) config.field = *options.field;
    filter->LoadConfig(&config);
    if (options.setup) {
        const int result = [&] {
            const DialogScope dialog;
            return filter->ShowSetup(nullptr);
        }();
        if (result == -1) {
            return {FailureCode::RenderFailed,
                    "the setup dialog could not be shown: " + ErrorText(GetLastError())};
        }
        if (result == 0) return {FailureCode::Aborted, "setup cancelled; nothing done"};
    }
    filter->SaveConfig(&config);
    if (Failure failure = CheckConfig(config)) return failure;
    if (!files.saveConfig.Empty()) return WriteConfigFile(files.saveConfig, config);
    return {};
}

int ShowAbout(const PluginLibrary& plugin) {
    FilterPtr filter = plugin.CreateFilter();
    if (!filter) return Report({FailureCode::RenderFailed, "the plug-in created no filter"});
    const DialogScope dialog;
    if (filter->ShowAbout(nullptr) == -1) {
        return Report({FailureCode::RenderFailed,
                       "the about box could not be shown: " + ErrorText(GetLastError())});
    }
    return kExitSuccess;
}

int ShowVersion(const PluginLibrary& plugin) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", plugin.Version());
    PrintOut(std::string("braidel-run ") + kProgramVersion + "; plug-in: " + plugin.Description() +
             ", version " + hex);
    PrintOut("image files: " + image_files::LibraryVersions());
    return kExitSuccess;
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

int Run(const std::vector<std::string>& args) {
    RunOptions options;
    if (Failure failure = ParseArguments(args, options)) {
        return Report(failure, " (see braidel-run --help)");
    }
    if (options.help) {
        PrintOut(UsageText());
        return kExitSuccess;
    }
    if (const std::string folder = wine::UnreachedCallerFolder(); !folder.empty()) {
        return Report({FailureCode::Usage,
                       "started from " + folder +
                           ", which Wine cannot make this program's working folder (a character "
                           "Windows cannot name); relative names would mean another folder. "
                           "Start it from another folder"});
    }
    CaptureCallerUmask();
    InstallAbortHandler();

    PluginLibrary plugin;
    if (!plugin.Loaded()) {
        if (options.version) PrintOut(std::string("braidel-run ") + kProgramVersion);
        return Report(plugin.LoadFailure());
    }
    if (options.version) return ShowVersion(plugin);
    if (options.about) return ShowAbout(plugin);

    // Every file is resolved and every write checked before anything is written.
    RunFiles files;
    if (Failure failure = PlanRun(options, files)) return Report(failure);
    RenderContext context{plugin, {}, nullptr};
    if (Failure failure = PrepareConfig(plugin, options, files, context.config)) {
        return Report(failure);
    }
    if (files.frames.empty() && !files.stream) return kExitSuccess;
    std::unique_ptr<RunMask> mask;
    if (!files.mask.Empty()) {
        if (Failure failure = OpenMask(files.mask, options.quiet, mask)) return Report(failure);
        context.mask = mask.get();
    }
    if (Failure failure = MakeOutputFolder(files)) return Report(failure);
    return FilterFrames(context, options, files);
}

// A crash ends the run with one line and exit code 4; no debugger is started and nothing
// waits. Temporary files of frames in work may stay: nothing can be trusted after a fault.
LONG WINAPI OnCrash(EXCEPTION_POINTERS* exception) {
    char line[160];
    std::snprintf(line, sizeof line, "crashed (exception 0x%08lX at %p); stopped",
                  exception->ExceptionRecord->ExceptionCode,
                  exception->ExceptionRecord->ExceptionAddress);
    // Straight to the handle: the crash may have come while another line held the output lock.
    const std::string bytes = ProgramLine(line) + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
    TerminateProcess(GetCurrentProcess(), kExitRenderFailed);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetUnhandledExceptionFilter(OnCrash);
    // Lines end in a plain newline, as every other tool of a pipeline writes them.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // Text is UTF-8 from here on; the launcher has refused arguments that are not.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(ToUtf8(argv[i]));
    return Run(args);
}

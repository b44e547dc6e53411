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
#include "cli/render/cancellation.h"
#include "cli/render/image_io.h"
#include "cli/render/render_frame.h"
#include "cli/stream/raw_stream.h"
#include "hosting/plugin_library.h"
#include "image_files/image_files.h"

namespace {

constexpr wchar_t kProgramVersion[] = L"" BRAIDEL_VERSION_TEXT;

int Fail(const Failure& failure) {
    PrintError(L"braidel-run: " + failure.message);
    return failure.code;
}

// The configuration every frame gets: the loaded block, then --mode and --field, then the
// setup dialog, all applied through a filter object as a host applies them. It must select a
// defined kernel and field before any frame is read or the block is saved.
Failure PrepareConfig(const PluginLibrary& plugin, const RunOptions& options, const RunFiles& files,
                      FilterConfig& config) {
    FilterPtr filter = plugin.CreateFilter();
    if (!filter) return {kExitRenderFailed, L"the plug-in created no filter"};
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
        const int result = filter->ShowSetup(nullptr);
        if (result == -1) {
            return {kExitRenderFailed,
                    L"the setup dialog could not be shown: " + ErrorText(GetLastError())};
        }
        if (result == 0) return {kExitAborted, L"setup cancelled; nothing done"};
    }
    filter->SaveConfig(&config);
    if (Failure failure = CheckConfig(config)) return failure;
    if (!files.saveConfig.Empty()) return WriteConfigFile(files.saveConfig, config);
    return {};
}

int ShowAbout(const PluginLibrary& plugin) {
    FilterPtr filter = plugin.CreateFilter();
    if (!filter) return Fail({kExitRenderFailed, L"the plug-in created no filter"});
    if (filter->ShowAbout(nullptr) == -1) {
        return Fail(
            {kExitRenderFailed, L"the about box could not be shown: " + ErrorText(GetLastError())});
    }
    return kExitSuccess;
}

int ShowVersion(const PluginLibrary& plugin) {
    wchar_t hex[16];
    swprintf(hex, 16, L"0x%08lX", plugin.Version());
    PrintOut(std::wstring(L"braidel-run ") + kProgramVersion + L"; plug-in: " +
             plugin.Description() + L", version " + hex);
    PrintOut(L"image files: " + FromUtf8(image_files::LibraryVersions()));
    return kExitSuccess;
}

// The mask every frame gets, read once.
Failure ReadMask(const FilePath& path, bool quiet, Image& mask) {
    if (Failure failure = ReadImage(path, mask)) return failure;
    if (!quiet) {
        PrintError(
            L"braidel-run: note: the mask pass hands each masked pixel to the host's blend "
            L"helper with equal endpoints, which here returns it unchanged; the pass costs time "
            L"(about 10 x the render) but leaves the picture as rebuilt");
    }
    return {};
}

// A batch exits with 130 when it was aborted, else with the code of its first failed frame in
// input order.
int BatchExitCode(const std::vector<Failure>& results) {
    int aborted = 0;
    for (const Failure& result : results) aborted += result.code == kExitAborted;
    if (aborted > 0) {
        PrintError(L"braidel-run: aborted; " + std::to_wstring(aborted) + L" of " +
                   std::to_wstring(results.size()) + L" frames not written");
        return kExitAborted;
    }
    for (const Failure& result : results) {
        if (result) return result.code;
    }
    return kExitSuccess;
}

// The frames of a planned run, once its configuration is settled.
int FilterFrames(const RenderContext& context, const RunOptions& options, const RunFiles& files) {
    StatusLine status(StatusLine::ForStderr(options.quiet));
    if (files.stream) {
        const Failure failure =
            RunRawStream(context, *files.stream, *options.raw, options.jobs, status);
        return failure ? Fail(failure) : kExitSuccess;
    }
    ProgressReport report(status, static_cast<int>(files.frames.size()));
    const std::vector<Failure> results =
        RunBatch(context, options.encoding, files.frames, options.jobs, report);
    status.Keep();
    return BatchExitCode(results);
}

int Run(const std::vector<std::wstring>& args) {
    RunOptions options;
    if (Failure failure = ParseArguments(args, options)) {
        PrintError(L"braidel-run: " + failure.message + L" (see braidel-run --help)");
        return failure.code;
    }
    if (options.help) {
        PrintOut(UsageText());
        return kExitSuccess;
    }
    CaptureCallerUmask();
    InstallAbortHandler();

    PluginLibrary plugin;
    if (!plugin.Loaded()) {
        if (options.version) PrintOut(std::wstring(L"braidel-run ") + kProgramVersion);
        PrintError(L"braidel-run: " + plugin.Error());
        return kExitRenderFailed;
    }
    if (options.version) return ShowVersion(plugin);
    if (options.about) return ShowAbout(plugin);

    // Every file is resolved and every write checked before anything is written.
    RunFiles files;
    if (Failure failure = PlanRun(options, files)) return Fail(failure);
    RenderContext context{plugin, {}, nullptr};
    if (Failure failure = PrepareConfig(plugin, options, files, context.config)) {
        return Fail(failure);
    }
    if (files.frames.empty() && !files.stream) return kExitSuccess;
    Image mask;
    if (!files.mask.Empty()) {
        if (Failure failure = ReadMask(files.mask, options.quiet, mask)) return Fail(failure);
        context.mask = mask.bitmap.get();
    }
    if (Failure failure = MakeOutputFolder(files)) return Fail(failure);
    return FilterFrames(context, options, files);
}

// A crash ends the run with one line and exit code 4; no debugger is started and nothing
// waits. Temporary files of frames in work may stay: nothing can be trusted after a fault.
LONG WINAPI OnCrash(EXCEPTION_POINTERS* exception) {
    wchar_t line[160];
    swprintf(line, 160, L"braidel-run: crashed (exception 0x%08lX at %p); stopped",
             exception->ExceptionRecord->ExceptionCode,
             exception->ExceptionRecord->ExceptionAddress);
    // Straight to the handle: the crash may have come while another line held the output lock.
    const std::string bytes = ToUtf8(line) + "\n";
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
    std::vector<std::wstring> args(argv + 1, argv + argc);
    return Run(args);
}

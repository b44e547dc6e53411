#include "cli/plan/run_plan.h"

#include <windows.h>

#include <cwctype>
#include <optional>
#include <utility>

#include "cli/platform/file_identity.h"
#include "cli/platform/text.h"
#include "cli/render/image_io.h"

namespace {

Failure Resolve(const std::wstring& typed, FilePath& path) {
    std::wstring error;
    if (typed.empty() || ResolvePath(typed, path, error)) return {};
    return {kExitUsage, error};
}

// The name a file has for a case-insensitive file system, for writes that do not exist yet.
std::wstring PathKey(const FilePath& path) {
    std::wstring key = path.system;
    for (wchar_t& c : key) c = c == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(c));
    return key;
}

// A raw stream's "-" stays as typed: no file to resolve, nothing to compare by identity.
Failure ResolveStream(const std::wstring& typed, FilePath& path) {
    if (!IsStandardStream(typed)) return Resolve(typed, path);
    path = {typed, {}, {}};
    return {};
}

Failure ResolveStreams(const RunOptions& options, RunFiles& files) {
    FrameTask task;
    if (Failure failure = ResolveStream(options.inputs.at(0), task.input)) return failure;
    if (Failure failure = ResolveStream(options.output, task.output)) return failure;
    files.frames.push_back(std::move(task));
    return {};
}

Failure ResolveFrames(const RunOptions& options, RunFiles& files) {
    if (options.rawWidth > 0) return ResolveStreams(options, files);
    if (Failure failure = Resolve(options.outDir, files.outDir)) return failure;
    for (const std::wstring& typed : options.inputs) {
        FrameTask task;
        if (Failure failure = Resolve(typed, task.input)) return failure;
        if (options.outDir.empty()) {
            if (Failure failure = Resolve(options.output, task.output)) return failure;
            if (FormatForPath(task.output.shown) == ImageFormat::Unknown) {
                return {kExitUsage,
                        task.output.shown + L": OUTPUT must end in .png, .tif or .tiff"};
            }
        } else {
            task.output = InFolder(files.outDir, FileNameOf(typed));
        }
        files.frames.push_back(std::move(task));
    }
    return {};
}

struct Checked {
    const FilePath* path;
    std::optional<FileIdentity> identity;
};

std::vector<Checked> WithIdentities(std::vector<const FilePath*> paths) {
    std::vector<Checked> checked;
    for (const FilePath* path : paths) {
        if (!path->Empty() && !path->system.empty()) {
            checked.push_back({path, IdentityOf(*path)});
        }
    }
    return checked;
}

bool SameFile(const Checked& a, const Checked& b) {
    if (a.identity && b.identity) return *a.identity == *b.identity;
    return PathKey(*a.path) == PathKey(*b.path);
}

Failure CheckWrites(const RunFiles& files) {
    std::vector<const FilePath*> reads{&files.mask, &files.config};
    std::vector<const FilePath*> writes{&files.saveConfig};
    for (const FrameTask& task : files.frames) {
        reads.push_back(&task.input);
        writes.push_back(&task.output);
    }
    const std::vector<Checked> read = WithIdentities(reads);
    const std::vector<Checked> written = WithIdentities(writes);
    for (std::size_t i = 0; i < written.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (SameFile(written[i], written[j])) {
                return {kExitUsage, written[i].path->shown + L" and " + written[j].path->shown +
                                        L" are the same file; one would overwrite the other"};
            }
        }
    }
    for (const Checked& target : written) {
        if (!target.identity) continue;
        for (const Checked& source : read) {
            if (source.identity && *source.identity == *target.identity) {
                return {kExitNotWritten, target.path->shown + L": would replace " +
                                             source.path->shown +
                                             L", which this run reads; nothing written"};
            }
        }
    }
    return {};
}

}  // namespace

Failure PlanRun(const RunOptions& options, RunFiles& files) {
    if (Failure failure = Resolve(options.maskPath, files.mask)) return failure;
    if (Failure failure = Resolve(options.configPath, files.config)) return failure;
    if (Failure failure = Resolve(options.saveConfigPath, files.saveConfig)) return failure;
    if (Failure failure = ResolveFrames(options, files)) return failure;
    return CheckWrites(files);
}

Failure MakeOutputFolder(const RunFiles& files) {
    if (files.outDir.Empty() || MakeFolders(files.outDir)) return {};
    return {kExitNotWritten, files.outDir.shown + L": the output folder cannot be made: " +
                                 ErrorText(GetLastError())};
}

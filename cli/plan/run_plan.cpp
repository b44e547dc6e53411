#include "cli/plan/run_plan.h"

#include <windows.h>

#include <cwctype>
#include <optional>
#include <utility>

#include "cli/platform/file_identity.h"
#include "cli/platform/file_io.h"
#include "cli/platform/linux_names.h"
#include "cli/platform/text.h"

namespace {

Failure Resolve(const std::string& typed, FilePath& path) {
    return typed.empty() ? Failure{} : ResolvePath(typed, path);
}

// The format that a file name's extension selects (.png, .tif, .tiff; any case).
std::optional<image_files::FileFormat> FormatForPath(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of("\\/");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::towlower(c));
    if (extension == "png") return image_files::FileFormat::Png;
    if (extension == "tif" || extension == "tiff") return image_files::FileFormat::Tiff;
    return {};
}

// A raw stream's "-" stays as typed: no file to resolve, nothing to compare by identity. A
// terminal has no business carrying binary frames; `advice` says what to do instead.
Failure ResolveStream(const std::string& typed, DWORD standard, const char* name,
                      const char* advice, FilePath& path) {
    if (!IsStandardStream(typed)) return Resolve(typed, path);
    path = {typed, {}, {}};
    if (!IsTerminal(GetStdHandle(standard))) return {};
    return {FailureCode::Usage, std::string(name) + " is a terminal; " + advice};
}

Failure ResolveStreams(const RunOptions& options, RunFiles& files) {
    StreamTask task;
    if (Failure failure = ResolveStream(options.inputs.at(0), STD_INPUT_HANDLE, "standard input",
                                        "pipe raw frames into it", task.input))
        return failure;
    if (Failure failure = ResolveStream(options.output, STD_OUTPUT_HANDLE, "standard output",
                                        "send the raw frames to a pipe or a file", task.output))
        return failure;
    if (Failure failure = FollowOutputLink(task.output)) return failure;
    files.stream = std::move(task);
    return {};
}

Failure ResolveOutput(const FilePath& output, FrameTask& task) {
    const std::optional<image_files::FileFormat> format = FormatForPath(output.shown);
    if (!format)
        return {FailureCode::Usage, output.shown + ": an output must end in .png, .tif or .tiff"};
    task.output = output;
    task.format = *format;
    return FollowOutputLink(task.output);
}

Failure ResolveFrames(const RunOptions& options, RunFiles& files) {
    if (options.raw) return ResolveStreams(options, files);
    if (Failure failure = Resolve(options.outDir, files.outDir)) return failure;
    for (const std::string& typed : options.inputs) {
        if (IsStandardStream(typed) || IsStandardStream(options.output)) {
            return {FailureCode::Usage,
                    "- (a standard stream) carries raw frames only; add --raw "
                    "WIDTHxHEIGHT, or name an image file"};
        }
        FrameTask task;
        if (Failure failure = Resolve(typed, task.input)) return failure;
        FilePath output;
        if (!options.outDir.empty()) {
            output = InFolder(files.outDir, FileNameOf(typed));
            if (Failure failure = CheckLinuxName(output)) return failure;
        } else if (Failure failure = Resolve(options.output, output)) {
            return failure;
        }
        if (Failure failure = ResolveOutput(output, task)) return failure;
        files.frames.push_back(std::move(task));
    }
    return {};
}

struct Checked {
    std::string name;
    std::optional<FileIdentity> identity;
    std::string key;  // compared when neither file nor folder exists yet
};

// The key of a path whose folder does not exist yet: Linux names are exact, Windows names
// ignore case.
std::string PathKey(const FilePath& path) {
    if (!path.unixPath.empty()) return path.unixPath;
    std::wstring key = path.system;
    for (wchar_t& c : key) c = c == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(c));
    return ToUtf8(key);
}

// A file of the run, or a raw stream's standard input or output (`standard`), which takes part
// when it is a file.
void AddChecked(const FilePath& path, DWORD standard, std::vector<Checked>& checked) {
    if (path.Empty()) return;
    if (!path.system.empty()) {
        checked.push_back({path.shown, IdentityOf(path), PathKey(path)});
    } else if (IsStandardStream(path.shown)) {
        const bool input = standard == STD_INPUT_HANDLE;
        checked.push_back(
            {input ? "standard input" : "standard output", IdentityOf(GetStdHandle(standard)), {}});
    }
}

// Two new files are one when the system takes their names in one folder for one name.
bool SameIdentity(const FileIdentity& a, const FileIdentity& b) {
    if (a.volume != b.volume || a.index != b.index) return false;
    if (a.newName.empty() || b.newName.empty()) return a.newName == b.newName;
    return WindowsTakesForOne(a.newName, b.newName);
}

// Keys of new files in folders that do not exist yet: the same folder, and names the system
// takes for one.
bool SameKey(const std::string& a, const std::string& b) {
    const std::size_t slashA = a.find_last_of("\\/");
    const std::size_t slashB = b.find_last_of("\\/");
    if (slashA == std::string::npos || slashB == std::string::npos) return a == b;
    return a.compare(0, slashA, b, 0, slashB) == 0 &&
           WindowsTakesForOne(FromUtf8(a.substr(slashA + 1)), FromUtf8(b.substr(slashB + 1)));
}

bool SameFile(const Checked& a, const Checked& b) {
    if (a.identity && b.identity) return SameIdentity(*a.identity, *b.identity);
    return !a.identity && !b.identity && !a.key.empty() && !b.key.empty() && SameKey(a.key, b.key);
}

Failure CheckWrites(const RunFiles& files) {
    std::vector<Checked> read;
    std::vector<Checked> written;
    AddChecked(files.mask, STD_INPUT_HANDLE, read);
    AddChecked(files.config, STD_INPUT_HANDLE, read);
    AddChecked(files.saveConfig, STD_OUTPUT_HANDLE, written);
    for (const FrameTask& task : files.frames) {
        AddChecked(task.input, STD_INPUT_HANDLE, read);
        AddChecked(task.output, STD_OUTPUT_HANDLE, written);
    }
    if (files.stream) {
        AddChecked(files.stream->input, STD_INPUT_HANDLE, read);
        AddChecked(files.stream->output, STD_OUTPUT_HANDLE, written);
    }
    for (std::size_t i = 0; i < written.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (SameFile(written[i], written[j])) {
                return {FailureCode::Usage,
                        written[i].name + " and " + written[j].name +
                            " are the same file (for Windows too, names that differ only in "
                            "case or by a short form are one); one would overwrite the other"};
            }
        }
    }
    for (const Checked& target : written) {
        if (!target.identity) continue;
        for (const Checked& source : read) {
            if (source.identity && *source.identity == *target.identity) {
                return {FailureCode::NotWritten, target.name + ": would replace " + source.name +
                                                     ", which this run reads; nothing written"};
            }
        }
    }
    return {};
}

}  // namespace

namespace {

// An option's file. "-" (which the launcher makes of /dev/stdin, /dev/stdout and their /dev/fd
// names) is the standard stream where the option can take one (`stream`, STD_INPUT_HANDLE or
// STD_OUTPUT_HANDLE, that the block is read from or written to; 0 where it cannot), and a usage
// error where it cannot or is a terminal: never a file named "-".
Failure ResolveOptionFile(const char* option, const std::string& typed, DWORD stream,
                          FilePath& path) {
    if (!IsStandardStream(typed)) return Resolve(typed, path);
    if (stream == 0) {
        return {FailureCode::Usage, std::string(option) +
                                        " cannot be a standard stream (-, /dev/stdin or "
                                        "/dev/stdout); name a file (./- for a file named -)"};
    }
    if (IsTerminal(GetStdHandle(stream))) {
        return {FailureCode::Usage, std::string(option) + ": " + StandardStreamName(stream) +
                                        " is a terminal, which carries no configuration block; "
                                        "name a file"};
    }
    path = {typed, {}, {}};
    return {};
}

// A standard stream carries one thing: the block, or the raw frames.
Failure CheckStreamUse(const RunOptions& options, const RunFiles& files) {
    const bool rawIn = files.stream && IsStandardStream(files.stream->input.shown);
    const bool rawOut = files.stream && IsStandardStream(files.stream->output.shown);
    if (rawIn && IsStandardStream(options.configPath)) {
        return {FailureCode::Usage,
                "standard input cannot carry both --config and the raw frames; name a file"};
    }
    if (rawOut && IsStandardStream(options.saveConfigPath)) {
        return {FailureCode::Usage,
                "standard output cannot carry both --save-config and the raw frames; name a file"};
    }
    return {};
}

}  // namespace

Failure PlanRun(const RunOptions& options, RunFiles& files) {
    if (Failure failure = ResolveOptionFile("--mask", options.maskPath, 0, files.mask))
        return failure;
    if (Failure failure =
            ResolveOptionFile("--config", options.configPath, STD_INPUT_HANDLE, files.config))
        return failure;
    if (Failure failure = ResolveOptionFile("--save-config", options.saveConfigPath,
                                            STD_OUTPUT_HANDLE, files.saveConfig))
        return failure;
    if (Failure failure = FollowOutputLink(files.saveConfig)) return failure;
    if (IsStandardStream(options.outDir)) {
        return ResolveOptionFile("--out-dir", options.outDir, 0, files.outDir);
    }
    if (Failure failure = ResolveFrames(options, files)) return failure;
    if (Failure failure = CheckStreamUse(options, files)) return failure;
    return CheckWrites(files);
}

Failure MakeOutputFolder(const RunFiles& files) {
    return files.outDir.Empty() ? Failure{} : MakeFolders(files.outDir);
}

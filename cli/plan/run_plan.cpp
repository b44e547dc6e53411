#include "cli/plan/run_plan.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>

#include "cli/plan/run_inputs.h"
#include "cli/platform/file_identity.h"
#include "cli/platform/file_io.h"

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
    for (char& c : extension) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (extension == "png") return image_files::FileFormat::Png;
    if (extension == "tif" || extension == "tiff") return image_files::FileFormat::Tiff;
    return {};
}

// A raw stream's "-" stays as typed: no file to resolve, nothing to compare by identity. A
// terminal, as "-" or by its name, has no business carrying binary frames; `advice` says what
// to do instead.
Failure ResolveStream(const std::string& typed, StandardStreamId standard, const char* name,
                      const char* advice, FilePath& path) {
    if (!IsStandardStream(typed)) {
        if (Failure failure = Resolve(typed, path)) return failure;
        if (!IsTerminal(path)) return {};
        return {FailureCode::Usage, path.shown + " is a terminal; " + advice};
    }
    path = {typed, {}, {}};
    if (!IsTerminal(standard)) return {};
    return {FailureCode::Usage, std::string(name) + " is a terminal; " + advice};
}

Failure ResolveStreams(const RunOptions& options, RunFiles& files) {
    StreamTask task;
    if (Failure failure = ResolveStream(options.inputs.at(0), StandardStreamId::Input,
                                        "standard input", "pipe raw frames into it", task.input))
        return failure;
    if (Failure failure = ResolveStream(options.output, StandardStreamId::Output, "standard output",
                                        "send the raw frames to a pipe or a file", task.output))
        return failure;
    if (Failure failure = FollowOutputLink(task.output)) return failure;
    if (!options.rightOutput.empty()) {
        if (Failure failure =
                ResolveStream(options.rightOutput, StandardStreamId::Output, "standard output",
                              "send the raw frames to a pipe or a file", task.rightOutput))
            return failure;
        if (Failure failure = FollowOutputLink(task.rightOutput)) return failure;
    }
    files.stream = std::move(task);
    return {};
}

Failure ResolveOutput(const FilePath& output, FilePath& resolved, image_files::FileFormat& format) {
    const std::optional<image_files::FileFormat> chosen = FormatForPath(output.shown);
    if (!chosen)
        return {FailureCode::Usage, output.shown + ": an output must end in .png, .tif or .tiff"};
    resolved = output;
    format = *chosen;
    return FollowOutputLink(resolved);
}

// A frame's output, or with both eyes as two outputs its left eye's output.
Failure ResolveOutputs(const RunOptions& options, const FilePath& outDir, const TypedFrame& typed,
                       FrameTask& task) {
    const bool twoOutputs = options.bothEyes && options.bothEyes->layout == EyeLayout::TwoOutputs;
    FilePath output;
    FilePath right;
    if (!options.outDir.empty()) {
        const std::string name = FileNameOf(typed.input);
        if (Failure failure =
                InFolder(outDir, twoOutputs ? EyeFileName(name, Eye::Left) : name, output))
            return failure;
        if (twoOutputs) {
            if (Failure failure = InFolder(outDir, EyeFileName(name, Eye::Right), right))
                return failure;
        }
    } else {
        if (Failure failure = Resolve(typed.output, output)) return failure;
        if (Failure failure = Resolve(typed.rightOutput, right)) return failure;
    }
    if (Failure failure = ResolveOutput(output, task.output, task.format)) return failure;
    if (right.Empty()) return {};
    return ResolveOutput(right, task.rightOutput, task.rightFormat);
}

// An output that --skip-existing keeps: a file is there (links followed).
bool Finished(const FilePath& output) {
    return Exists(output) && !IsFolder(output);
}

Failure StandardStreamWithoutRaw() {
    return {FailureCode::Usage,
            "- (a standard stream) carries raw frames only; add --raw "
            "WIDTHxHEIGHT, or name an image file"};
}

Failure ResolveFrames(const RunOptions& options, RunFiles& files) {
    if (options.raw) return ResolveStreams(options, files);
    if (Failure failure = Resolve(options.outDir, files.outDir)) return failure;
    if (IsStandardStream(options.output) || IsStandardStream(options.rightOutput)) {
        return StandardStreamWithoutRaw();
    }
    for (const std::string& typed : options.inputs) {
        if (IsStandardStream(typed)) return StandardStreamWithoutRaw();
    }
    std::vector<TypedFrame> typedFrames;
    if (Failure failure = ListFrames(options, typedFrames)) return failure;
    for (const TypedFrame& typed : typedFrames) {
        FrameTask task;
        if (Failure failure = Resolve(typed.input, task.input)) return failure;
        if (Failure failure = ResolveOutputs(options, files.outDir, typed, task)) return failure;
        if (options.skipExisting && Finished(task.output) &&
            (task.rightOutput.Empty() || Finished(task.rightOutput))) {
            files.keptOutputs += task.rightOutput.Empty() ? 1 : 2;
            continue;
        }
        files.frames.push_back(std::move(task));
    }
    return {};
}

// An image output goes into a folder that must exist unless --out-dir makes it. A missing one
// would fail each frame only after it was read and rendered (a whole sequence's worth of work):
// refused at once instead, each folder checked once.
Failure CheckOutputFolders(const RunFiles& files) {
    if (!files.outDir.Empty()) return {};
    std::set<std::string> present;
    for (const FrameTask& task : files.frames) {
        for (const FilePath* output : {&task.output, &task.rightOutput}) {
            if (output->Empty()) continue;
            const std::string& shown = output->shown;
            const std::string folder = shown.substr(0, shown.size() - FileNameOf(shown).size());
            if (folder.empty() || present.contains(folder)) continue;
            FilePath path;
            if (!ResolvePath(folder, path) && IsFolder(path)) {
                present.insert(folder);
                continue;
            }
            return {FailureCode::NotWritten,
                    shown + ": not written: its folder " + folder + " does not exist"};
        }
    }
    return {};
}

struct Checked {
    std::string name;
    std::optional<FileIdentity> identity;
    std::string key;  // compared when neither file nor folder exists yet; empty otherwise
};

// A file of the run, or a raw stream's standard input or output (`standard`), which takes part
// when it is a file.
void AddChecked(const FilePath& path, StandardStreamId standard, std::vector<Checked>& checked) {
    if (path.Empty()) return;
    if (!path.system.empty()) {
        std::optional<FileIdentity> identity = IdentityOf(path);
        std::string key = identity ? std::string() : NewFileKey(path);
        checked.push_back({path.shown, std::move(identity), std::move(key)});
    } else if (IsStandardStream(path.shown)) {
        checked.push_back({StandardStreamName(standard), IdentityOf(standard), {}});
    }
}

// Two new files are one when the system takes their names in one folder for one name.
bool SameIdentity(const FileIdentity& a, const FileIdentity& b) {
    if (a.volume != b.volume || a.index != b.index) return false;
    if (a.newName.empty() || b.newName.empty()) return a.newName == b.newName;
    return NewNamesAreOne(a.newName, b.newName);
}

bool SameFile(const Checked& a, const Checked& b) {
    if (a.identity && b.identity) return SameIdentity(*a.identity, *b.identity);
    return !a.identity && !b.identity && !a.key.empty() && !b.key.empty() &&
           NewFileKeysAreOne(a.key, b.key);
}

// What of a new file's name no change of case alters, counted in UTF-16 code units as Windows
// compares names: its length and its ASCII digits where they stand (case mapping never makes a
// digit of another character, nor changes the number of units). Two names taken for one file
// have one shape unless one is a short name. A name of bytes (a key's, or a POSIX name) is read
// as UTF-8, which is what a Windows key holds.
template <typename Char>
std::string CaseFreeShape(std::basic_string_view<Char> name) {
    std::string shape;
    for (const Char c : name) {
        const auto unit = static_cast<std::make_unsigned_t<Char>>(c);
        if constexpr (sizeof(Char) == 1) {
            if (unit >= 0x80 && unit < 0xC0) continue;  // goes on with the character before
        }
        shape += unit >= '0' && unit <= '9' ? static_cast<char>(unit) : '.';
        if constexpr (sizeof(Char) == 1) {
            if (unit >= 0xF0) shape += '.';  // past the first 65,536: two UTF-16 units
        }
    }
    return shape;
}

// Only a name with a '~' can be the short name the system generates for another.
template <typename Char>
bool MayBeShortName(std::basic_string_view<Char> name) {
    return name.find(static_cast<Char>('~')) != name.npos;
}

// Where a written file goes, equal for any two files SameFile takes for one: the identity of
// its folder (of the file itself when it exists) or the folder part of its key, and its name's
// shape, which only a short name may not share.
struct WrittenPlace {
    std::string folder;
    std::string shape;
    bool mayBeShortName = false;

    std::string ShapeKey() const { return std::to_string(folder.size()) + ':' + folder + shape; }
};

template <typename Char>
WrittenPlace PlaceNamed(std::string folder, std::basic_string_view<Char> name) {
    return {std::move(folder), CaseFreeShape(name), MayBeShortName(name)};
}

// None for a file SameFile takes for no other: a standard stream that is not a file.
std::optional<WrittenPlace> PlaceOf(const Checked& checked) {
    if (const std::optional<FileIdentity>& identity = checked.identity) {
        std::string folder = "i";
        folder.append(reinterpret_cast<const char*>(&identity->volume), sizeof identity->volume);
        folder.append(reinterpret_cast<const char*>(identity->index.data()),
                      identity->index.size());
        return PlaceNamed(std::move(folder),
                          std::basic_string_view<SystemText::value_type>(identity->newName));
    }
    if (checked.key.empty()) return std::nullopt;
    const std::string_view key = checked.key;
    const std::size_t slash = key.find_last_of("\\/");
    const std::size_t nameStart = slash == key.npos ? 0 : slash + 1;
    std::string folder = "k";
    folder.append(key.substr(0, nameStart));
    return PlaceNamed(std::move(folder), key.substr(nameStart));
}

using Indices = std::vector<std::size_t>;

struct SamePair {
    std::size_t earlier = 0;
    std::size_t later = 0;
};

// The first two written files that are one, as comparing each with every earlier one finds
// them: the earliest later file, and for it the earliest earlier one. Only files of one place
// are compared, and a possible short name with its whole folder, so that a sequence's thousands
// of outputs take time in proportion to their number.
std::optional<SamePair> FirstSameWritten(const std::vector<Checked>& written) {
    std::unordered_map<std::string, Indices> byShape;
    std::unordered_map<std::string, Indices> byFolder;
    std::unordered_map<std::string, Indices> shortNamesByFolder;
    for (std::size_t later = 0; later < written.size(); ++later) {
        const std::optional<WrittenPlace> place = PlaceOf(written[later]);
        if (!place) continue;
        Indices& sameShape = byShape[place->ShapeKey()];
        Indices& inFolder = byFolder[place->folder];
        Indices& shortNames = shortNamesByFolder[place->folder];
        Indices candidates = place->mayBeShortName ? inFolder : sameShape;
        if (!place->mayBeShortName) {
            candidates.insert(candidates.end(), shortNames.begin(), shortNames.end());
            std::sort(candidates.begin(), candidates.end());
            candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        }
        for (const std::size_t earlier : candidates) {
            if (SameFile(written[later], written[earlier])) return SamePair{earlier, later};
        }
        sameShape.push_back(later);
        inFolder.push_back(later);
        if (place->mayBeShortName) shortNames.push_back(later);
    }
    return std::nullopt;
}

struct IdentityHash {
    std::size_t operator()(const FileIdentity& identity) const {
        const std::string_view index(reinterpret_cast<const char*>(identity.index.data()),
                                     identity.index.size());
        std::size_t hash = std::hash<std::uint64_t>{}(identity.volume);
        hash = hash * 31 + std::hash<std::string_view>{}(index);
        return hash * 31 + std::hash<SystemText>{}(identity.newName);
    }
};

// The first written file that the run also reads, with the first of its reads that is it.
std::optional<std::pair<const Checked*, const Checked*>> FirstReplacedRead(
    const std::vector<Checked>& read, const std::vector<Checked>& written) {
    std::unordered_map<FileIdentity, const Checked*, IdentityHash> firstRead;
    for (const Checked& source : read) {
        if (source.identity) firstRead.try_emplace(*source.identity, &source);
    }
    for (const Checked& target : written) {
        if (!target.identity) continue;
        const auto found = firstRead.find(*target.identity);
        if (found != firstRead.end()) return std::pair{&target, found->second};
    }
    return std::nullopt;
}

Failure CheckWrites(const RunFiles& files) {
    std::vector<Checked> read;
    std::vector<Checked> written;
    AddChecked(files.mask, StandardStreamId::Input, read);
    AddChecked(files.config, StandardStreamId::Input, read);
    AddChecked(files.saveConfig, StandardStreamId::Output, written);
    for (const FrameTask& task : files.frames) {
        AddChecked(task.input, StandardStreamId::Input, read);
        AddChecked(task.output, StandardStreamId::Output, written);
        AddChecked(task.rightOutput, StandardStreamId::Output, written);
    }
    if (files.stream) {
        AddChecked(files.stream->input, StandardStreamId::Input, read);
        AddChecked(files.stream->output, StandardStreamId::Output, written);
        AddChecked(files.stream->rightOutput, StandardStreamId::Output, written);
    }
    if (const auto same = FirstSameWritten(written)) {
        return {FailureCode::Usage, written[same->later].name + " and " +
                                        written[same->earlier].name + " are the same file" +
                                        NewNamesRule() + "; one would overwrite the other"};
    }
    if (const auto replaced = FirstReplacedRead(read, written)) {
        return {FailureCode::NotWritten, replaced->first->name + ": would replace " +
                                             replaced->second->name +
                                             ", which this run reads; nothing written"};
    }
    return {};
}

}  // namespace

namespace {

// An option's file. "-" (which the start-up makes of /dev/stdin, /dev/stdout and their /dev/fd
// names) is the standard stream where the option can take one (`stream`, that the block is read
// from or written to; none where it cannot), and a usage error where it cannot or is a
// terminal: never a file named "-".
Failure ResolveOptionFile(const char* option, const std::string& typed,
                          std::optional<StandardStreamId> stream, FilePath& path) {
    if (!IsStandardStream(typed)) return Resolve(typed, path);
    if (!stream) {
        return {FailureCode::Usage, std::string(option) +
                                        " cannot be a standard stream (-, /dev/stdin or "
                                        "/dev/stdout); name a file (./- for a file named -)"};
    }
    if (IsTerminal(*stream)) {
        return {FailureCode::Usage, std::string(option) + ": " + StandardStreamName(*stream) +
                                        " is a terminal, which carries no configuration block; "
                                        "name a file"};
    }
    path = {typed, {}, {}};
    return {};
}

// A standard stream carries one thing: the block, or the raw frames.
Failure CheckStreamUse(const RunOptions& options, const RunFiles& files) {
    const bool rawIn = files.stream && IsStandardStream(files.stream->input.shown);
    const bool rawOut = files.stream && (IsStandardStream(files.stream->output.shown) ||
                                         IsStandardStream(files.stream->rightOutput.shown));
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

// A batch's outputs, each named in the output folder, go from the folder held.
void ShareOutputFolder(RunFiles& files) {
    for (FrameTask& task : files.frames) {
        task.output.folder = files.outDir.folder;
        if (!task.rightOutput.Empty()) task.rightOutput.folder = files.outDir.folder;
    }
}

// Every output's folder that exists, opened once before the check: the check and the write go
// from it. A batch's outputs share the output folder, held when it is made if it is new.
void HoldOutputFolders(RunFiles& files) {
    std::vector<FilePath*> outputs{&files.saveConfig};
    if (files.stream)
        outputs.insert(outputs.end(), {&files.stream->output, &files.stream->rightOutput});
    if (!files.outDir.Empty()) {
        HoldFolder(files.outDir);
        ShareOutputFolder(files);
    } else {
        for (FrameTask& task : files.frames)
            outputs.insert(outputs.end(), {&task.output, &task.rightOutput});
    }
    HoldFoldersOf(outputs);
}

}  // namespace

Failure PlanRun(const RunOptions& options, RunFiles& files) {
    if (Failure failure = ResolveOptionFile("--mask", options.maskPath, std::nullopt, files.mask))
        return failure;
    if (Failure failure = ResolveOptionFile("--config", options.configPath, StandardStreamId::Input,
                                            files.config))
        return failure;
    if (Failure failure = ResolveOptionFile("--save-config", options.saveConfigPath,
                                            StandardStreamId::Output, files.saveConfig))
        return failure;
    if (Failure failure = FollowOutputLink(files.saveConfig)) return failure;
    if (IsStandardStream(options.outDir)) {
        return ResolveOptionFile("--out-dir", options.outDir, std::nullopt, files.outDir);
    }
    if (IsStandardStream(options.inputsList) && IsStandardStream(options.configPath)) {
        return {FailureCode::Usage,
                "standard input cannot carry both --config and the list of inputs; name a file"};
    }
    if (Failure failure = ResolveFrames(options, files)) return failure;
    if (Failure failure = CheckOutputFolders(files)) return failure;
    if (Failure failure = CheckStreamUse(options, files)) return failure;
    HoldOutputFolders(files);
    return CheckWrites(files);
}

Failure MakeOutputFolder(RunFiles& files) {
    if (files.outDir.Empty() || files.outDir.folder) return {};
    if (Failure failure = MakeFolders(files.outDir)) return failure;
    HoldFolder(files.outDir);
    ShareOutputFolder(files);
    return {};
}

#include "cli/plan/run_inputs.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <utility>

#include "cli/plan/frame_sequence.h"
#include "cli/platform/file_io.h"
#include "cli/platform/file_paths.h"

namespace {

Failure Usage(const std::string& message) {
    return {FailureCode::Usage, message};
}

// Every byte of an open file or stream, in pieces of a fixed size until it ends.
Failure ReadToEnd(FileHandle handle, const std::string& name, std::string& bytes) {
    std::array<std::byte, 1 << 16> piece;
    for (;;) {
        std::size_t got = 0;
        if (Failure failure = ReadAll(handle, piece, name, got)) return failure;
        bytes.append(reinterpret_cast<const char*>(piece.data()), got);
        if (got < piece.size()) return {};
    }
}

Failure ReadNameList(const std::string& typed, bool nulSeparated, std::vector<std::string>& names) {
    std::string bytes;
    if (IsStandardStream(typed)) {
        FileHandle input = OwnedFile::None();
        if (Failure failure = StandardStream(StandardStreamId::Input, input)) return failure;
        if (Failure failure = ReadToEnd(input, StandardStreamName(StandardStreamId::Input), bytes))
            return failure;
    } else {
        FilePath path;
        if (Failure failure = ResolvePath(typed, path)) return failure;
        if (IsFolder(path)) return {FailureCode::BadInput, typed + ": is a folder, not a list"};
        OwnedFile file;
        if (Failure failure = OpenToRead(path, file)) return failure;
        if (Failure failure = ReadToEnd(file.Get(), typed, bytes)) return failure;
    }
    names = SplitNames(bytes, nulSeparated);
    return {};
}

// The folder that holds a typed name, as typed ("." for the current one).
std::string FolderTyped(const std::string& typed) {
    const std::size_t name = typed.size() - FileNameOf(typed).size();
    if (name == 0) return ".";
    return name == 1 ? typed.substr(0, 1) : typed.substr(0, name - 1);
}

// Every frame of the sequence in its folder, in ascending order.
Failure FoundFrames(const std::string& typed, const SequenceName& sequence,
                    std::vector<std::uint32_t>& numbers) {
    FilePath folder;
    if (Failure failure = ResolvePath(FolderTyped(typed), folder)) return failure;
    std::vector<std::string> names;
    if (Failure failure = ListFolderNames(folder, names)) return failure;
    const SequenceName inFolder = FileNamePart(sequence);
    for (const std::string& name : names) {
        if (const std::optional<std::uint32_t> number = FrameNumberOf(inFolder, name)) {
            numbers.push_back(*number);
        }
    }
    if (numbers.empty()) {
        return {FailureCode::BadInput,
                typed + ": no frame of this sequence in " + FolderTyped(typed)};
    }
    std::sort(numbers.begin(), numbers.end());
    return {};
}

struct TypedSequences {
    std::optional<SequenceName> input;
    std::optional<SequenceName> output;
    std::optional<SequenceName> rightOutput;
};

// The outputs of frame `number`: the sequences' names of it, or the names as typed.
TypedFrame FrameOf(const RunOptions& options, const TypedSequences& sequences,
                   std::uint32_t number) {
    const auto name = [&](const std::optional<SequenceName>& sequence, const std::string& typed) {
        return sequence ? FrameName(*sequence, number) : typed;
    };
    return {FrameName(*sequences.input, number), name(sequences.output, options.output),
            name(sequences.rightOutput, options.rightOutput)};
}

// A sequence's frames, with their outputs when OUTPUT is a sequence too.
Failure AddSequence(const RunOptions& options, const std::string& typed,
                    const TypedSequences& sequences, std::vector<TypedFrame>& frames) {
    if (options.frames.empty()) {
        std::vector<std::uint32_t> numbers;
        if (Failure failure = FoundFrames(typed, *sequences.input, numbers)) return failure;
        for (std::uint32_t number : numbers) frames.push_back(FrameOf(options, sequences, number));
        return {};
    }
    // Checked frame by frame, so that a wide range with a gap stops at its first missing number
    // before its frames take any memory.
    for (const FrameRange& range : options.frames) {
        for (std::uint64_t n = range.first; n <= range.last; ++n) {
            TypedFrame frame = FrameOf(options, sequences, static_cast<std::uint32_t>(n));
            FilePath path;
            if (Failure failure = ResolvePath(frame.input, path)) return failure;
            if (!Exists(path)) {
                return Usage("frame " + std::to_string(n) + " of " + typed +
                             " is missing: no file " + frame.input + " (--frames asks for it)");
            }
            frames.push_back(std::move(frame));
        }
    }
    return {};
}

// Without --out-dir, a sequence goes to sequences and a file to files.
Failure CheckOutputsMatch(const RunOptions& options, const std::string& typed,
                          const TypedSequences& sequences) {
    for (const auto& [output, sequence] :
         {std::pair{&options.output, &sequences.output},
          std::pair{&options.rightOutput, &sequences.rightOutput}}) {
        if (output->empty() || sequences.input.has_value() == sequence->has_value()) continue;
        return Usage(sequences.input
                         ? typed + " is a numbered sequence: " + *output +
                               " needs a number field too (%04d or ####), or name a folder with "
                               "--out-dir"
                         : *output + " holds a number field, but INPUT " + typed + " does not");
    }
    return {};
}

Failure AddTyped(const RunOptions& options, bool& anySequence, std::vector<TypedFrame>& frames) {
    const bool batch = !options.outDir.empty();
    TypedSequences sequences;
    if (!batch) {
        if (Failure failure = ParseSequenceName(options.output, sequences.output)) return failure;
        if (Failure failure = ParseSequenceName(options.rightOutput, sequences.rightOutput))
            return failure;
    }
    for (const std::string& typed : options.inputs) {
        if (Failure failure = ParseSequenceName(typed, sequences.input)) return failure;
        if (!batch) {
            if (Failure failure = CheckOutputsMatch(options, typed, sequences)) return failure;
        }
        if (!sequences.input) {
            frames.push_back({typed, batch ? std::string() : options.output,
                              batch ? std::string() : options.rightOutput});
            continue;
        }
        anySequence = true;
        if (Failure failure = AddSequence(options, typed, sequences, frames)) return failure;
    }
    return {};
}

}  // namespace

std::vector<std::string> SplitNames(const std::string& bytes, bool nulSeparated) {
    const char separator = nulSeparated ? '\0' : '\n';
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find(separator, start);
        if (end == std::string::npos) end = bytes.size();
        std::string name = bytes.substr(start, end - start);
        if (!nulSeparated && !name.empty() && name.back() == '\r') name.pop_back();
        if (!name.empty()) names.push_back(std::move(name));
        start = end + 1;
    }
    return names;
}

Failure ListFrames(const RunOptions& options, std::vector<TypedFrame>& frames) {
    bool anySequence = false;
    if (Failure failure = AddTyped(options, anySequence, frames)) return failure;
    if (!options.frames.empty() && !anySequence) {
        return Usage(
            "--frames picks frames of a numbered INPUT (name.%04d.png or name.####.png), "
            "and no INPUT is one");
    }
    if (options.inputsList.empty()) return {};
    std::vector<std::string> listed;
    if (Failure failure = ReadNameList(options.inputsList, options.inputsNul, listed)) {
        return failure;
    }
    if (listed.empty() && frames.empty()) {
        return Usage((IsStandardStream(options.inputsList) ? std::string("standard input")
                                                           : options.inputsList) +
                     ": the list names no INPUT");
    }
    for (std::string& name : listed) frames.push_back({std::move(name), {}, {}});
    return {};
}

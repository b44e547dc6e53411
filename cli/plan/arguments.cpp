#include "cli/plan/arguments.h"

#include <functional>
#include <map>
#include <utility>

#include "cli/plan/names.h"
#include "cli/programs.h"

namespace {

// One option of the command line: the table below drives parsing, validation and --help.
struct Option {
    std::string name;
    std::string value;  // what --help shows after the name; empty for a flag
    std::string help;   // empty: not listed with the others (the usage lines or the last line)
    std::function<Failure(const std::string& text, RunOptions& options)> set;
    Programs programs = Programs::Both;  // the programs whose usage lists it; both parse it
};

constexpr std::size_t kHelpColumn = 30;  // where the help text starts, after two spaces
constexpr std::size_t kHelpWidth = 95;   // the longest line of --help's closing text

Failure Usage(const std::string& message) {
    return {FailureCode::Usage, message};
}

Option Flag(std::string name, std::string help, bool RunOptions::*member) {
    return {
        std::move(name), {}, std::move(help), [member](const std::string&, RunOptions& options) {
            options.*member = true;
            return Failure{};
        }};
}

Option Path(std::string name, std::string value, std::string help,
            std::string RunOptions::*member) {
    return {std::move(name), std::move(value), std::move(help),
            [member](const std::string& text, RunOptions& options) {
                options.*member = text;
                return Failure{};
            }};
}

// A value from a table of names; --help and the error list them in the table's order.
// `store(options, value)` keeps the chosen value.
template <class Value, std::size_t N, class Store>
Option Choice(std::string name, const NamedValue<Value> (&names)[N], std::string help,
              Store store) {
    std::string shown;
    std::string listed;
    for (std::size_t i = 0; i < N; ++i) {
        shown.append(i == 0 ? "" : "|").append(names[i].name.text);
        listed.append(i == 0 ? "" : i + 1 == N ? " or " : ", ").append(names[i].name.text);
    }
    return {name, shown, std::move(help),
            [name, listed, &names, store](const std::string& text, RunOptions& options) {
                for (const NamedValue<Value>& entry : names) {
                    if (text == entry.name.text) {
                        store(options, entry.value);
                        return Failure{};
                    }
                }
                return Usage(name + " must be " + listed + ", not '" + text + "'");
            }};
}

// Digits only, from `low` to `high`; no sign, no spaces, no more digits than `high` has.
std::optional<int> WholeNumber(const std::string& text, int low, int high) {
    if (text.empty() || text.size() > std::to_string(high).size()) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

Option Number(std::string name, std::string value, int low, int high, std::string help,
              std::function<void(RunOptions&, int)> store) {
    return {name, std::move(value), std::move(help),
            [name, low, high, store](const std::string& text, RunOptions& options) {
                const std::optional<int> number = WholeNumber(text, low, high);
                if (!number) {
                    return Usage(name + " must be a whole number from " + std::to_string(low) +
                                 " to " + std::to_string(high) + ", not '" + text + "'");
                }
                store(options, *number);
                return Failure{};
            }};
}

// WIDTHxHEIGHT, each from 1 to 65535.
Failure SetFrameSize(const std::string& text, RunOptions& options) {
    const std::size_t x = text.find('x');
    const std::optional<int> width =
        x == std::string::npos ? std::nullopt : WholeNumber(text.substr(0, x), 1, 65535);
    const std::optional<int> height =
        x == std::string::npos ? std::nullopt : WholeNumber(text.substr(x + 1), 1, 65535);
    if (!width || !height) {
        return Usage("--raw must be WIDTHxHEIGHT, each from 1 to 65535, not '" + text + "'");
    }
    options.raw = FrameSize{static_cast<uint16_t>(*width), static_cast<uint16_t>(*height)};
    return {};
}

// The plug-in's dialogs: the Windows program opens them; the native one, which loads no plug-in,
// refuses them and does not offer them.
Option Dialog(Option option) {
    option.programs = Programs::Windows;
    return option;
}

const std::vector<Option>& Options() {
    static const std::vector<Option> options{
        Choice("--mode", kKernelNames, "kernel (default: the configuration's, else copy)",
               [](RunOptions& o, Kernel mode) { o.mode = mode; }),
        Choice("--field", kFieldNames, "rebuilt lines (default: the configuration's, else even)",
               [](RunOptions& o, Field field) { o.field = field; }),
        Choice("--both-eyes", kEyeLayoutNames,
               "both views at full height, packed or as two outputs",
               [](RunOptions& o, EyeLayout layout) { o.eyeLayout = layout; }),
        Choice("--first-row", kEyeNames, "the eye on the first row, for --both-eyes (default left)",
               [](RunOptions& o, Eye eye) { o.firstRow = eye; }),
        Path("--mask", "FILE", "mask image for the mask pass", &RunOptions::maskPath),
        Path("--config", "FILE", "load an 8-byte configuration block, as a host persists it",
             &RunOptions::configPath),
        Path("--save-config", "FILE", "write the block after the options are applied",
             &RunOptions::saveConfigPath),
        Path("--out-dir", "DIR", {}, &RunOptions::outDir),
        {"--frames", "LIST",
         "frames of a numbered INPUT (name.%04d.png, name.####.png):\n"
         "FIRST-LAST or N, separated by commas (default: every one\n"
         "in its folder)",
         [](const std::string& text, RunOptions& o) { return ParseFrameList(text, o.frames); }},
        {"--inputs", "FILE", "INPUTs from FILE, one a line (- for standard input)",
         [](const std::string& text, RunOptions& o) {
             o.inputsList = text;
             o.inputsNul = false;
             return Failure{};
         }},
        {"--inputs0", "FILE", "the same, each name ended by NUL (find -print0)",
         [](const std::string& text, RunOptions& o) {
             o.inputsList = text;
             o.inputsNul = true;
             return Failure{};
         }},
        Flag("--skip-existing", "keep outputs that exist; their frames are not read",
             &RunOptions::skipExisting),
        Dialog(Flag("--setup", "open the real setup dialog first (needs a display)",
                    &RunOptions::setup)),
        Dialog(Flag("--about", "show the about box and exit", &RunOptions::about)),
        Number("--jobs", "N", 1, 9999, "frames in parallel (default: number of cores)",
               [](RunOptions& o, int jobs) { o.jobs = jobs; }),
        {"--raw", "WIDTHxHEIGHT",
         "INPUT and OUTPUT are streams of raw rgba64le frames, - for\n"
         "standard input or output",
         SetFrameSize},
        Choice("--depth", kDepthNames, "bits per output channel (default 16)",
               [](RunOptions& o, int depth) { o.encoding.bitsPerChannel = depth; }),
        Number("--png-level", "0-9", 0, 9, "PNG zlib level (default 1)",
               [](RunOptions& o, int level) { o.encoding.pngLevel = level; }),
        Choice("--png-filter", kPngFilterNames, "PNG row filter (default up)",
               [](RunOptions& o, image_files::PngFilter filter) { o.encoding.pngFilter = filter; }),
        Choice("--tiff-compression", kTiffCompressionNames,
               "TIFF compression (default: the input TIFF's, else deflate)",
               [](RunOptions& o, image_files::TiffCompression compression) {
                   o.encoding.tiffCompression = compression;
               }),
        Flag("--quiet", "no progress output", &RunOptions::quiet),
        Flag("--help", {}, &RunOptions::help),
        Flag("--version", {}, &RunOptions::version),
    };
    return options;
}

const Option* FindOption(const std::string& name) {
    for (const Option& option : Options()) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

// The option's line of --help: its name and value, then its help from the column on (or three
// spaces further when the name is longer); a help text's further lines start at the column.
std::string HelpLines(const Option& option) {
    std::string left = "  " + option.name + (option.value.empty() ? "" : " " + option.value);
    const std::size_t column = std::max(left.size() + 3, kHelpColumn + 2);
    std::string lines = left + std::string(column - left.size(), ' ');
    for (char c : option.help) {
        lines += c;
        if (c == '\n') lines += std::string(kHelpColumn + 2, ' ');
    }
    return lines + "\n";
}

// Both eyes take the field from the eye; the first row's eye means nothing without them.
Failure PlaceBothEyes(RunOptions& options) {
    if (!options.eyeLayout) {
        if (options.firstRow) return Usage("--first-row goes with --both-eyes");
        return {};
    }
    if (options.field) {
        return Usage(
            "--field and --both-eyes exclude each other: each eye's view rebuilds the "
            "other eye's rows");
    }
    options.bothEyes = BothEyes{*options.eyeLayout, options.firstRow.value_or(Eye::Left)};
    if (!options.raw) return {};
    const std::string problem =
        PackedSizeProblem(*options.eyeLayout, options.raw->width, options.raw->height);
    if (problem.empty()) return {};
    return Usage("--raw " + std::to_string(options.raw->width) + "x" +
                 std::to_string(options.raw->height) + ": " + problem);
}

// INPUT LEFT RIGHT, for both eyes as two outputs.
Failure PlaceTwoOutputs(std::vector<std::string>& positional, RunOptions& options) {
    if (positional.size() != 3) {
        return Usage("expected INPUT, LEFT and RIGHT for --both-eyes two-outputs (or --out-dir)");
    }
    options.rightOutput = positional[2];
    positional.pop_back();
    return {};
}

// What the manual page and the reference add to an option's line of --help, or say in its
// place where --help shows the option on its usage lines or its last line.
const std::map<std::string, std::string>& ManualNotes() {
    static const std::map<std::string, std::string> notes{
        {"--out-dir",
         "write each output under its input's file name in DIR (made with its missing parents)"},
        {"--save-config", "without INPUT and OUTPUT this only makes the block"},
        {"--both-eyes", "not with --field"},
        {"--setup", "the native program refuses it (exit 4)"},
        {"--about", "the native program refuses it (exit 4)"},
        {"--help", "show the options and exit"},
        {"--version", "show the version of the program and of the image libraries, and exit"},
    };
    return notes;
}

// A help text's lines as one line.
std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) line += c == '\n' ? ' ' : c;
    return line;
}

// `text` broken at spaces into lines of at most `width` characters.
std::string Wrapped(const std::string& text, std::size_t width) {
    std::string wrapped;
    std::size_t lineStart = 0;
    std::size_t word = 0;
    while (word < text.size()) {
        std::size_t end = text.find(' ', word);
        if (end == std::string::npos) end = text.size();
        if (word > lineStart && end - lineStart > width) {
            wrapped.back() = '\n';
            lineStart = wrapped.size();
        }
        wrapped.append(text, word, end - word);
        if (end < text.size()) wrapped += ' ';
        word = end + 1;
    }
    return wrapped;
}

// What the positional arguments are, once the options are known.
Failure PlaceArguments(std::vector<std::string> positional, RunOptions& options) {
    if (options.help || options.version || options.about) return {};
    if (Failure failure = PlaceBothEyes(options)) return failure;
    for (const std::string& name : positional) {
        if (name.empty())
            return Usage("an INPUT or OUTPUT is empty; name a file (or - for a stream)");
    }
    if (options.raw && !options.outDir.empty()) {
        return Usage("--raw and --out-dir exclude each other");
    }
    if (options.raw && (!options.frames.empty() || options.skipExisting)) {
        return Usage("--raw streams take neither --frames nor --skip-existing");
    }
    if (!options.inputsList.empty() && options.outDir.empty()) {
        return Usage("--inputs and --inputs0 need --out-dir, the folder of their outputs");
    }
    if (!options.outDir.empty()) {
        if (positional.empty() && options.inputsList.empty()) {
            return Usage("--out-dir needs at least one INPUT");
        }
        options.inputs = std::move(positional);
        return {};
    }
    // Without frames, a run may still edit and save a configuration block.
    if (positional.empty() && !options.saveConfigPath.empty() && !options.raw) return {};
    if (options.bothEyes && options.bothEyes->layout == EyeLayout::TwoOutputs) {
        if (Failure failure = PlaceTwoOutputs(positional, options)) return failure;
    }
    if (positional.size() != 2) {
        return Usage(positional.size() < 2 ? "expected INPUT and OUTPUT"
                                           : "expected one INPUT and one OUTPUT (use --out-dir "
                                             "for several inputs)");
    }
    options.inputs = {positional[0]};
    options.output = positional[1];
    return {};
}

}  // namespace

const std::vector<std::string>& CommandForms() {
    static const std::vector<std::string> forms{
        "[options] INPUT OUTPUT",
        "[options] --out-dir DIR INPUT...",
        "[options] INPUT.%04d.png OUTPUT.%04d.png",
        "[options] --raw WIDTHxHEIGHT INPUT|- OUTPUT|-",
        "[options] --both-eyes two-outputs [--raw WIDTHxHEIGHT] INPUT LEFT RIGHT",
    };
    return forms;
}

std::vector<OptionEntry> ManualOptions(Programs program) {
    std::vector<OptionEntry> entries;
    for (const Option& option : Options()) {
        if (program != Programs::Both && !BelongsTo(option.programs, program)) continue;
        std::string text = OneLine(option.help);
        if (const auto note = ManualNotes().find(option.name); note != ManualNotes().end()) {
            text += (text.empty() ? "" : "; ") + note->second;
        }
        entries.push_back({option.name, option.value, text, option.programs});
    }
    return entries;
}

std::string ExitCodeSummary(Programs program) {
    std::string summary = "Exit codes:";
    for (const ExitCodeMeaning& exit : kExitCodeMeanings) {
        if (!BelongsTo(exit.programs, program)) continue;
        summary += std::string(" ") + exit.code + " " + exit.brief + ",";
    }
    summary.back() = '.';
    return summary;
}

std::string UsageText(Programs program) {
    std::string text;
    for (const std::string& form : CommandForms()) {
        text += (text.empty() ? "usage: " : "       ") + std::string("braidel-run ") + form + "\n";
    }
    std::string unlisted;
    for (const Option& option : Options()) {
        if (!BelongsTo(option.programs, program)) continue;
        if (!option.help.empty()) {
            text += HelpLines(option);
        } else if (option.value.empty()) {
            unlisted += (unlisted.empty() ? "" : ", ") + option.name;
        }
    }
    const char* renderer =
        program == Programs::Windows ? "the Braidel plug-in" : "the Braidel rebuild core";
    return text + "  " + unlisted + "\n\n" +
           "Rebuilds one field of line-interleaved stereo frames with " + renderer + ".\n" +
           "Inputs: PNG or TIFF, 1 to 16 bits, grey, grey+alpha, RGB, RGBA or palette. Outputs: "
           "RGBA, PNG\n"
           "or TIFF by the extension (.png, .tif, .tiff), with the input's colour profile, "
           "gamma,\n"
           "resolution and text.\n" +
           Wrapped(ExitCodeSummary(program), kHelpWidth);
}

Failure ParseArguments(const std::vector<std::string>& args, RunOptions& options) {
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const Option* option = FindOption(arg);
        if (option == nullptr) return Usage("unknown option " + arg);
        std::string value;
        if (!option->value.empty()) {
            if (i + 1 >= args.size()) return Usage(arg + " needs a value");
            value = args[++i];
            if (value.empty()) return Usage(arg + " needs a non-empty value");
        }
        if (Failure failure = option->set(value, options)) return failure;
    }
    return PlaceArguments(std::move(positional), options);
}

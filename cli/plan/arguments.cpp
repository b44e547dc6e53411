#include "cli/plan/arguments.h"

#include <functional>
#include <utility>

#include "cli/plan/names.h"

namespace {

// One option of the command line: the table below drives parsing, validation and --help.
struct Option {
    std::wstring name;
    std::wstring value;  // what --help shows after the name; empty for a flag
    std::wstring help;   // empty: not listed with the others (the usage lines or the last line)
    std::function<Failure(const std::wstring& text, RunOptions& options)> set;
};

constexpr std::size_t kHelpColumn = 30;  // where the help text starts, after two spaces

Failure Usage(const std::wstring& message) {
    return {kExitUsage, message};
}

Option Flag(std::wstring name, std::wstring help, bool RunOptions::*member) {
    return {
        std::move(name), {}, std::move(help), [member](const std::wstring&, RunOptions& options) {
            options.*member = true;
            return Failure{};
        }};
}

Option Path(std::wstring name, std::wstring value, std::wstring help,
            std::wstring RunOptions::*member) {
    return {std::move(name), std::move(value), std::move(help),
            [member](const std::wstring& text, RunOptions& options) {
                options.*member = text;
                return Failure{};
            }};
}

// A value from a table of names; --help and the error list them in the table's order.
// `store(options, value)` keeps the chosen value.
template <class Value, std::size_t N, class Store>
Option Choice(std::wstring name, const NamedValue<Value> (&names)[N], std::wstring help,
              Store store) {
    std::wstring shown;
    std::wstring listed;
    for (std::size_t i = 0; i < N; ++i) {
        shown += (i == 0 ? L"" : L"|") + std::wstring(names[i].name.wide);
        listed += (i == 0 ? L"" : i + 1 == N ? L" or " : L", ") + std::wstring(names[i].name.wide);
    }
    return {name, shown, std::move(help),
            [name, listed, &names, store](const std::wstring& text, RunOptions& options) {
                for (const NamedValue<Value>& entry : names) {
                    if (text == entry.name.wide) {
                        store(options, entry.value);
                        return Failure{};
                    }
                }
                return Usage(name + L" must be " + listed + L", not '" + text + L"'");
            }};
}

// Digits only, from `low` to `high`; no sign, no spaces, no more digits than `high` has.
std::optional<int> WholeNumber(const std::wstring& text, int low, int high) {
    if (text.empty() || text.size() > std::to_wstring(high).size()) return std::nullopt;
    int value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

Option Number(std::wstring name, std::wstring value, int low, int high, std::wstring help,
              std::function<void(RunOptions&, int)> store) {
    return {name, std::move(value), std::move(help),
            [name, low, high, store](const std::wstring& text, RunOptions& options) {
                const std::optional<int> number = WholeNumber(text, low, high);
                if (!number) {
                    return Usage(name + L" must be a whole number from " + std::to_wstring(low) +
                                 L" to " + std::to_wstring(high) + L", not '" + text + L"'");
                }
                store(options, *number);
                return Failure{};
            }};
}

// WIDTHxHEIGHT, each from 1 to 65535.
Failure SetFrameSize(const std::wstring& text, RunOptions& options) {
    const std::size_t x = text.find(L'x');
    const std::optional<int> width =
        x == std::wstring::npos ? std::nullopt : WholeNumber(text.substr(0, x), 1, 65535);
    const std::optional<int> height =
        x == std::wstring::npos ? std::nullopt : WholeNumber(text.substr(x + 1), 1, 65535);
    if (!width || !height) {
        return Usage(L"--raw must be WIDTHxHEIGHT, each from 1 to 65535, not '" + text + L"'");
    }
    options.raw = FrameSize{static_cast<uint16_t>(*width), static_cast<uint16_t>(*height)};
    return {};
}

const std::vector<Option>& Options() {
    static const std::vector<Option> options{
        Choice(L"--mode", kKernelNames, L"kernel (default: the configuration's, else copy)",
               [](RunOptions& o, Kernel mode) { o.mode = mode; }),
        Choice(L"--field", kFieldNames, L"rebuilt lines (default: the configuration's, else even)",
               [](RunOptions& o, Field field) { o.field = field; }),
        Path(L"--mask", L"FILE", L"mask image for the mask pass", &RunOptions::maskPath),
        Path(L"--config", L"FILE", L"load an 8-byte configuration block, as a host persists it",
             &RunOptions::configPath),
        Path(L"--save-config", L"FILE", L"write the block after options (and --setup) are applied",
             &RunOptions::saveConfigPath),
        Path(L"--out-dir", L"DIR", {}, &RunOptions::outDir),
        Flag(L"--setup", L"open the real setup dialog first (needs a display)", &RunOptions::setup),
        Flag(L"--about", L"show the about box and exit", &RunOptions::about),
        Number(L"--jobs", L"N", 1, 9999, L"frames in parallel (default: number of cores)",
               [](RunOptions& o, int jobs) { o.jobs = jobs; }),
        {L"--raw", L"WIDTHxHEIGHT",
         L"INPUT and OUTPUT are streams of raw rgba64le frames, - for\n"
         L"standard input or output",
         SetFrameSize},
        Choice(L"--depth", kDepthNames, L"bits per output channel (default 16)",
               [](RunOptions& o, int depth) { o.encoding.bitsPerChannel = depth; }),
        Number(L"--png-level", L"0-9", 0, 9, L"PNG zlib level (default 1)",
               [](RunOptions& o, int level) { o.encoding.pngLevel = level; }),
        Choice(L"--png-filter", kPngFilterNames, L"PNG row filter (default up)",
               [](RunOptions& o, image_files::PngFilter filter) { o.encoding.pngFilter = filter; }),
        Choice(L"--tiff-compression", kTiffCompressionNames,
               L"(default: the input TIFF's, else deflate)",
               [](RunOptions& o, image_files::TiffCompression compression) {
                   o.encoding.tiffCompression = compression;
               }),
        Flag(L"--quiet", L"no progress output", &RunOptions::quiet),
        Flag(L"--help", {}, &RunOptions::help),
        Flag(L"--version", {}, &RunOptions::version),
    };
    return options;
}

const Option* FindOption(const std::wstring& name) {
    for (const Option& option : Options()) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

// The option's line of --help: its name and value, then its help from the column on (or three
// spaces further when the name is longer); a help text's further lines start at the column.
std::wstring HelpLines(const Option& option) {
    std::wstring left = L"  " + option.name + (option.value.empty() ? L"" : L" " + option.value);
    const std::size_t column = std::max(left.size() + 3, kHelpColumn + 2);
    std::wstring lines = left + std::wstring(column - left.size(), L' ');
    for (wchar_t c : option.help) {
        lines += c;
        if (c == L'\n') lines += std::wstring(kHelpColumn + 2, L' ');
    }
    return lines + L"\n";
}

// What the positional arguments are, once the options are known.
Failure PlaceArguments(std::vector<std::wstring> positional, RunOptions& options) {
    if (options.help || options.version || options.about) return {};
    for (const std::wstring& name : positional) {
        if (name.empty())
            return Usage(L"an INPUT or OUTPUT is empty; name a file (or - for a stream)");
    }
    if (options.raw && !options.outDir.empty()) {
        return Usage(L"--raw and --out-dir exclude each other");
    }
    if (!options.outDir.empty()) {
        if (positional.empty()) return Usage(L"--out-dir needs at least one INPUT");
        options.inputs = std::move(positional);
        return {};
    }
    // Without frames, a run may still edit and save a configuration block.
    if (positional.empty() && !options.saveConfigPath.empty() && !options.raw) return {};
    if (positional.size() != 2) {
        return Usage(positional.size() < 2 ? L"expected INPUT and OUTPUT"
                                           : L"expected one INPUT and one OUTPUT (use --out-dir "
                                             L"for several inputs)");
    }
    options.inputs = {positional[0]};
    options.output = positional[1];
    return {};
}

}  // namespace

std::wstring UsageText() {
    std::wstring text =
        L"usage: braidel-run [options] INPUT OUTPUT\n"
        L"       braidel-run [options] --out-dir DIR INPUT...\n"
        L"       braidel-run [options] --raw WIDTHxHEIGHT INPUT|- OUTPUT|-\n";
    std::wstring unlisted;
    for (const Option& option : Options()) {
        if (!option.help.empty()) {
            text += HelpLines(option);
        } else if (option.value.empty()) {
            unlisted += (unlisted.empty() ? L"" : L", ") + option.name;
        }
    }
    return text + L"  " + unlisted +
           L"\n\n"
           L"Rebuilds one field of line-interleaved stereo frames with the Braidel plug-in.\n"
           L"Inputs: PNG or TIFF, 1 to 16 bits, grey, grey+alpha, RGB, RGBA or palette. Outputs: "
           L"RGBA, PNG\n"
           L"or TIFF by the extension (.png, .tif, .tiff), with the input's colour profile, "
           L"gamma,\n"
           L"resolution and text.\n"
           L"Exit codes: 0 success, 2 usage, 3 unreadable input (or a partial last raw frame), 4 "
           L"render\n"
           L"failed, 5 output not written (or its reader went away), 130 aborted (under the "
           L"Linux\n"
           L"launcher 128 + N after signal N).";
}

Failure ParseArguments(const std::vector<std::wstring>& args, RunOptions& options) {
    std::vector<std::wstring> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, L"--") != 0) {
            positional.push_back(arg);
            continue;
        }
        if (arg == L"--") {
            optionsEnded = true;
            continue;
        }
        const Option* option = FindOption(arg);
        if (option == nullptr) return Usage(L"unknown option " + arg);
        std::wstring value;
        if (!option->value.empty()) {
            if (i + 1 >= args.size()) return Usage(arg + L" needs a value");
            value = args[++i];
            if (value.empty()) return Usage(arg + L" needs a non-empty value");
        }
        if (Failure failure = option->set(value, options)) return failure;
    }
    return PlaceArguments(std::move(positional), options);
}

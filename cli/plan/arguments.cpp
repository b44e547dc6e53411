#include "cli/plan/arguments.h"

#include <cwchar>
#include <initializer_list>

namespace {

bool ParseJobs(const std::wstring& text, int& jobs) {
    if (text.empty() || text.size() > 4) return false;
    int value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
    }
    if (value < 1) return false;
    jobs = value;
    return true;
}

bool ParseDimension(const std::wstring& text, int& value) {
    if (text.empty() || text.size() > 5) return false;
    value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
    }
    return value >= 1 && value <= 65535;
}

// WIDTHxHEIGHT, each from 1 to 65535.
bool ParseFrameSize(const std::wstring& text, int& width, int& height) {
    const std::size_t x = text.find(L'x');
    return x != std::wstring::npos && ParseDimension(text.substr(0, x), width) &&
           ParseDimension(text.substr(x + 1), height);
}

struct NamedValue {
    const wchar_t* name;
    int value;
};

// The value of an option that takes one of a few names; `names` lists them for the error.
bool ParseChoice(const std::wstring& option, const std::wstring& text,
                 std::initializer_list<NamedValue> choices, const wchar_t* names,
                 std::optional<int>& value, std::wstring& error) {
    for (const NamedValue& choice : choices) {
        if (text == choice.name) {
            value = choice.value;
            return true;
        }
    }
    error = option + L" must be " + names + L", not '" + text + L"'";
    return false;
}

}  // namespace

const wchar_t* UsageText() {
    return LR"(usage: braidel-run [options] INPUT OUTPUT
       braidel-run [options] --out-dir DIR INPUT...
       braidel-run [options] --raw WIDTHxHEIGHT INPUT|- OUTPUT|-
Rebuilds one field of line-interleaved stereo frames with the Braidel plug-in.
  --mode copy|linear|weighted   kernel (default: the configuration's, else copy)
  --field even|odd              rebuilt lines (default: the configuration's, else even)
  --mask FILE                   mask image for the mask pass
  --config FILE                 load an 8-byte configuration block, as a host persists it
  --save-config FILE            write the block after options (and --setup) are applied
  --setup                       open the real setup dialog first (needs a display)
  --about                       show the about box and exit
  --jobs N                      frames in parallel (default: number of cores)
  --raw WIDTHxHEIGHT            INPUT and OUTPUT are streams of raw rgba64le frames, - for
                                standard input or output
  --depth 16|8                  bits per output channel (default 16; 8 rounds to nearest)
  --png-level 0-9               PNG zlib level (default 1)
  --png-filter none|sub|up|average|paeth|adaptive   PNG row filter (default up)
  --tiff-compression none|lzw|deflate   (default: the input TIFF's, else deflate)
  --quiet                       no progress output
  --help, --version
Inputs: PNG or TIFF, 1 to 16 bits, grey, grey+alpha, RGB, RGBA or palette. Outputs: RGBA, PNG
or TIFF by the extension (.png, .tif, .tiff), with the input's colour profile, gamma,
resolution and text.
Exit codes: 0 success, 2 usage, 3 unreadable input (or a partial last raw frame), 4 render
failed, 5 output not written (or its reader went away), 130 aborted.)";
}

bool ParseArguments(const std::vector<std::wstring>& args, RunOptions& options,
                    std::wstring& error) {
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
        auto value = [&](std::wstring& out) {
            if (i + 1 >= args.size()) {
                error = arg + L" needs a value";
                return false;
            }
            out = args[++i];
            if (out.empty()) {
                error = arg + L" needs a non-empty value";
                return false;
            }
            return true;
        };
        std::wstring text;
        if (arg == L"--mode") {
            if (!value(text) ||
                !ParseChoice(arg, text, {{L"copy", 0}, {L"linear", 1}, {L"weighted", 2}},
                             L"copy, linear or weighted", options.mode, error))
                return false;
        } else if (arg == L"--field") {
            if (!value(text) || !ParseChoice(arg, text, {{L"even", 0}, {L"odd", 1}}, L"even or odd",
                                             options.field, error))
                return false;
        } else if (arg == L"--depth") {
            std::optional<int> depth;
            if (!value(text) ||
                !ParseChoice(arg, text, {{L"16", 16}, {L"8", 8}}, L"16 or 8", depth, error))
                return false;
            options.depth = *depth;
        } else if (arg == L"--png-level") {
            if (!value(text) || !ParseChoice(arg, text,
                                             {{L"0", 0},
                                              {L"1", 1},
                                              {L"2", 2},
                                              {L"3", 3},
                                              {L"4", 4},
                                              {L"5", 5},
                                              {L"6", 6},
                                              {L"7", 7},
                                              {L"8", 8},
                                              {L"9", 9}},
                                             L"a level from 0 to 9", options.pngLevel, error))
                return false;
        } else if (arg == L"--png-filter") {
            if (!value(text) || !ParseChoice(arg, text,
                                             {{L"none", 0},
                                              {L"sub", 1},
                                              {L"up", 2},
                                              {L"average", 3},
                                              {L"paeth", 4},
                                              {L"adaptive", 5}},
                                             L"none, sub, up, average, paeth or adaptive",
                                             options.pngFilter, error))
                return false;
        } else if (arg == L"--tiff-compression") {
            if (!value(text) ||
                !ParseChoice(arg, text, {{L"none", 0}, {L"lzw", 1}, {L"deflate", 2}},
                             L"none, lzw or deflate", options.tiffCompression, error))
                return false;
        } else if (arg == L"--mask") {
            if (!value(options.maskPath)) return false;
        } else if (arg == L"--config") {
            if (!value(options.configPath)) return false;
        } else if (arg == L"--save-config") {
            if (!value(options.saveConfigPath)) return false;
        } else if (arg == L"--out-dir") {
            if (!value(options.outDir)) return false;
        } else if (arg == L"--jobs") {
            if (!value(text)) return false;
            if (!ParseJobs(text, options.jobs)) {
                error = L"--jobs must be a whole number from 1 to 9999, not '" + text + L"'";
                return false;
            }
        } else if (arg == L"--raw") {
            if (!value(text)) return false;
            if (!ParseFrameSize(text, options.rawWidth, options.rawHeight)) {
                error = L"--raw must be WIDTHxHEIGHT, each from 1 to 65535, not '" + text + L"'";
                return false;
            }
        } else if (arg == L"--setup") {
            options.setup = true;
        } else if (arg == L"--about") {
            options.about = true;
        } else if (arg == L"--quiet") {
            options.quiet = true;
        } else if (arg == L"--help") {
            options.help = true;
        } else if (arg == L"--version") {
            options.version = true;
        } else {
            error = L"unknown option " + arg;
            return false;
        }
    }
    if (options.help || options.version || options.about) return true;

    if (options.rawWidth > 0 && !options.outDir.empty()) {
        error = L"--raw and --out-dir exclude each other";
        return false;
    }
    if (!options.outDir.empty()) {
        if (positional.empty()) {
            error = L"--out-dir needs at least one INPUT";
            return false;
        }
        options.inputs = positional;
        return true;
    }
    // Without frames, a run may still edit and save a configuration block.
    if (positional.empty() && !options.saveConfigPath.empty() && options.rawWidth == 0) return true;
    if (positional.size() != 2) {
        error = positional.size() < 2 ? L"expected INPUT and OUTPUT"
                                      : L"expected one INPUT and one OUTPUT (use --out-dir for "
                                        L"several inputs)";
        return false;
    }
    options.inputs = {positional[0]};
    options.output = positional[1];
    return true;
}

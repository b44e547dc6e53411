#pragma once

#include <optional>
#include <string>
#include <vector>

// The command line of braidel-run, parsed but not yet checked against the file system.
struct RunOptions {
    std::optional<int> mode;   // --mode: 0 copy, 1 linear, 2 weighted
    std::optional<int> field;  // --field: 0 even, 1 odd
    std::wstring maskPath;
    std::wstring configPath;
    std::wstring saveConfigPath;
    std::wstring outDir;  // batch mode when not empty
    bool setup = false;
    bool about = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    int jobs = 0;  // 0: number of cores
    // Output encoding: --depth 8|16, --png-level 0-9, --png-filter, --tiff-compression; the
    // values are the codec's (unset: its defaults, or the input TIFF's compression).
    int depth = 16;
    std::optional<int> pngLevel;
    std::optional<int> pngFilter;
    std::optional<int> tiffCompression;
    // --raw WIDTHxHEIGHT: INPUT and OUTPUT are raw frame streams (0 x 0 otherwise).
    int rawWidth = 0;
    int rawHeight = 0;
    std::vector<std::wstring> inputs;
    std::wstring output;  // single-frame mode
};

// Standard input or output in place of a file: "-" as INPUT or OUTPUT of a raw stream.
inline bool IsStandardStream(const std::wstring& typed) {
    return typed == L"-";
}

// Parses argv[1..]. Returns false with a one-line `error` on a usage mistake.
bool ParseArguments(const std::vector<std::wstring>& args, RunOptions& options,
                    std::wstring& error);

// The usage text printed by --help.
const wchar_t* UsageText();

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/exit_codes.h"

// Numbered frame sequences: a file name that holds one number field names every file of the
// sequence. The field is printf's (%d, or %04d for four digits zero-padded; %% is a plain %) or
// a run of # (#### for four digits), and only the last component of a path is searched, so a
// folder may hold either character. A number wider than the padding is written in full.

// The largest frame number, and the widest padding a field may ask for.
inline constexpr std::uint32_t kLastFrameNumber = 999999999;
inline constexpr int kWidestPadding = 32;

struct SequenceName {
    std::string before;  // the typed folder and the name up to the field (%% made %)
    std::string after;   // the name after the field
    int width = 0;       // digits at least, zero-padded; 0: as many as the number has
};

// The sequence a typed name holds, none when its file name holds no field. A name with two
// fields, or a lone % beside a printf field, is a usage error.
Failure ParseSequenceName(const std::string& typed, std::optional<SequenceName>& sequence);

// The typed name of one frame of the sequence.
std::string FrameName(const SequenceName& sequence, std::uint32_t number);

// The number of the frame whose file name (the last component only) is `name`, none when it is
// not one of the sequence's: the name must be exactly what FrameName would make.
std::optional<std::uint32_t> FrameNumberOf(const SequenceName& sequence, const std::string& name);

// The last component of the sequence's names: FrameNumberOf compares with it.
SequenceName FileNamePart(const SequenceName& sequence);

// Frames first to last, both included.
struct FrameRange {
    std::uint32_t first = 0;
    std::uint32_t last = 0;

    bool operator==(const FrameRange&) const = default;
};

// "FIRST-LAST" or "N", separated by commas: the ranges in ascending order, overlapping or
// touching ones merged, so each frame comes once. Numbers are whole and from 0; a range whose
// LAST is below its FIRST is a usage error, as is a negative number.
Failure ParseFrameList(const std::string& text, std::vector<FrameRange>& ranges);

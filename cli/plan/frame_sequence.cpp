#include "cli/plan/frame_sequence.h"

#include <algorithm>

#include "cli/platform/file_paths.h"

namespace {

Failure Usage(const std::string& message) {
    return {FailureCode::Usage, message};
}

// Where the last component starts, after the last separator this system knows.
std::size_t FileNameStart(const std::string& typed) {
    return typed.size() - FileNameOf(typed).size();
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A printf field at `at` (a '%'): "%d", "%Nd" or "%0Nd", all zero-padded to N digits as image
// sequence readers take them. Its length, or 0 when the text there is no field.
std::size_t PrintfField(const std::string& name, std::size_t at, int& width) {
    std::size_t i = at + 1;
    width = 0;
    while (i < name.size() && IsDigit(name[i]) && width <= kWidestPadding) {
        width = width * 10 + (name[i] - '0');
        ++i;
    }
    if (i >= name.size() || name[i] != 'd') return 0;
    return i + 1 - at;
}

struct Field {
    std::size_t at = 0;
    std::size_t length = 0;
    int width = 0;
};

// The printf fields of a name, with %% and stray %s counted apart.
Failure FindPrintfField(const std::string& name, std::optional<Field>& field, bool& lonePercent) {
    lonePercent = false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '%') continue;
        if (i + 1 < name.size() && name[i + 1] == '%') {
            ++i;
            continue;
        }
        int width = 0;
        const std::size_t length = PrintfField(name, i, width);
        if (length == 0) {
            lonePercent = true;
            continue;
        }
        if (field) return Usage(name + ": a sequence's name holds one number field, not two");
        if (width > kWidestPadding) {
            return Usage(name + ": a number field pads to at most " +
                         std::to_string(kWidestPadding) + " digits");
        }
        field = Field{i, length, width};
        i += length - 1;
    }
    return {};
}

std::optional<Field> FindHashField(const std::string& name, Failure& failure) {
    std::optional<Field> field;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '#') continue;
        std::size_t end = i;
        while (end < name.size() && name[end] == '#') ++end;
        if (field) {
            failure = Usage(name + ": a sequence's name holds one number field, not two");
            return {};
        }
        const int width = static_cast<int>(std::min<std::size_t>(end - i, kWidestPadding + 1));
        if (width > kWidestPadding) {
            failure = Usage(name + ": a number field pads to at most " +
                            std::to_string(kWidestPadding) + " digits");
            return {};
        }
        field = Field{i, end - i, width};
        i = end - 1;
    }
    return field;
}

// %% as one %, in the part of a printf sequence's name around its field.
std::string Unescaped(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        plain += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
    }
    return plain;
}

// A whole number from 0 to kLastFrameNumber: digits only.
std::optional<std::uint32_t> FrameNumber(const std::string& text) {
    if (text.empty() || text.size() > std::to_string(kLastFrameNumber).size()) return {};
    std::uint32_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return {};
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

Failure ParseRange(const std::string& item, const std::string& whole, FrameRange& range) {
    const auto refused = [&](const std::string& why) {
        return Usage("--frames: " + why + " in '" + whole +
                     "' (FIRST-LAST or N, separated by "
                     "commas, from 0 to " +
                     std::to_string(kLastFrameNumber) + ")");
    };
    if (item.empty()) return refused("an empty item");
    if (item[0] == '-') return refused("a negative number, '" + item + "',");
    const std::size_t dash = item.find('-');
    const std::optional<std::uint32_t> first = FrameNumber(item.substr(0, dash));
    const std::optional<std::uint32_t> last =
        dash == std::string::npos ? first : FrameNumber(item.substr(dash + 1));
    if (!first || !last) return refused("'" + item + "' is no frame number or range");
    if (*last < *first) return refused("'" + item + "' runs backwards");
    range = {*first, *last};
    return {};
}

}  // namespace

Failure ParseSequenceName(const std::string& typed, std::optional<SequenceName>& sequence) {
    sequence.reset();
    const std::size_t start = FileNameStart(typed);
    const std::string name = typed.substr(start);
    std::optional<Field> field;
    bool lonePercent = false;
    if (Failure failure = FindPrintfField(name, field, lonePercent)) return failure;
    if (field) {
        if (lonePercent) {
            return Usage(name +
                         ": a % that is not the number field is written %% in a "
                         "sequence's name");
        }
        sequence = SequenceName{typed.substr(0, start) + Unescaped(name.substr(0, field->at)),
                                Unescaped(name.substr(field->at + field->length)), field->width};
        return {};
    }
    Failure failure;
    field = FindHashField(name, failure);
    if (failure) return failure;
    if (field) {
        sequence = SequenceName{typed.substr(0, start + field->at),
                                name.substr(field->at + field->length), field->width};
    }
    return {};
}

std::string FrameName(const SequenceName& sequence, std::uint32_t number) {
    std::string digits = std::to_string(number);
    if (digits.size() < static_cast<std::size_t>(sequence.width)) {
        digits.insert(0, static_cast<std::size_t>(sequence.width) - digits.size(), '0');
    }
    return sequence.before + digits + sequence.after;
}

SequenceName FileNamePart(const SequenceName& sequence) {
    return {sequence.before.substr(FileNameStart(sequence.before)), sequence.after, sequence.width};
}

std::optional<std::uint32_t> FrameNumberOf(const SequenceName& sequence, const std::string& name) {
    const std::string& before = sequence.before;
    const std::string& after = sequence.after;
    if (name.size() <= before.size() + after.size()) return {};
    if (name.compare(0, before.size(), before) != 0) return {};
    if (name.compare(name.size() - after.size(), after.size(), after) != 0) return {};
    const std::optional<std::uint32_t> number =
        FrameNumber(name.substr(before.size(), name.size() - before.size() - after.size()));
    if (!number || FrameName(sequence, *number) != name) return {};
    return number;
}

Failure ParseFrameList(const std::string& text, std::vector<FrameRange>& ranges) {
    ranges.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        FrameRange range;
        if (Failure failure = ParseRange(text.substr(start, comma - start), text, range)) {
            return failure;
        }
        ranges.push_back(range);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const FrameRange& a, const FrameRange& b) { return a.first < b.first; });
    std::vector<FrameRange> merged;
    for (const FrameRange& range : ranges) {
        if (!merged.empty() && range.first <= merged.back().last + std::uint64_t{1}) {
            merged.back().last = std::max(merged.back().last, range.last);
        } else {
            merged.push_back(range);
        }
    }
    ranges = std::move(merged);
    return {};
}

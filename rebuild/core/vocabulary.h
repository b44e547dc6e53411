#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// The words every part of Braidel uses for a rebuild: which kernel makes a rebuilt row, which
// field (line parity) is rebuilt, and their names. The numbers are those of the filter's 8-byte
// configuration block, which a host persists. A loaded block may carry any 32-bit value and both
// types hold it unchanged (they are plain 32-bit enums for that), so each rule that meets an
// undefined value decides what it means: the filter renders nothing for an undefined kernel, and
// an undefined field rebuilds the even rows without a last row (see RowsRebuilt).

// How a rebuilt row is made from the kept rows next to it (block offset 0).
enum Kernel : int32_t {
    kCopyLine = 0,          // a copy of the kept row below
    kTwoPointLinear = 1,    // the mean of the kept rows above and below, rounded down
    kSixPointWeighted = 2,  // the six-point weighted mean of the two kept rows
};

// Which rows are rebuilt (block offset 4).
enum Field : int32_t {
    kEvenLines = 0,
    kOddLines = 1,
};

constexpr bool IsDefinedKernel(int32_t kernel) {
    return kernel >= kCopyLine && kernel <= kSixPointWeighted;
}
constexpr bool IsDefinedField(int32_t field) {
    return field == kEvenLines || field == kOddLines;
}

// A name in both character widths, from one spelling: the tools that take wide command lines
// and those that take bytes read the same table.
struct Name {
    const char* text;
    const wchar_t* wide;
};
#define BRAIDEL_NAME(text) \
    Name {                 \
        text, L"" text     \
    }

template <class Value>
struct NamedValue {
    Value value;
    Name name;         // on command lines and in parameters
    Name description;  // in summaries
};

// In block order; the first of each is the default of a new filter.
inline constexpr NamedValue<Kernel> kKernelNames[] = {
    {kCopyLine, BRAIDEL_NAME("copy"), BRAIDEL_NAME("copy line")},
    {kTwoPointLinear, BRAIDEL_NAME("linear"), BRAIDEL_NAME("two-point linear")},
    {kSixPointWeighted, BRAIDEL_NAME("weighted"), BRAIDEL_NAME("six-point weighted")},
};
inline constexpr NamedValue<Field> kFieldNames[] = {
    {kEvenLines, BRAIDEL_NAME("even"), BRAIDEL_NAME("even lines")},
    {kOddLines, BRAIDEL_NAME("odd"), BRAIDEL_NAME("odd lines")},
};

// The entry named exactly `text`, or null.
template <class Value>
const NamedValue<Value>* EntryNamed(std::span<const NamedValue<Value>> table,
                                    std::string_view text) {
    for (const NamedValue<Value>& entry : table) {
        if (text == entry.name.text) return &entry;
    }
    return nullptr;
}

// The entry of `value`, or null for a value without a name.
template <class Value>
const NamedValue<Value>* EntryOf(std::span<const NamedValue<Value>> table, Value value) {
    for (const NamedValue<Value>& entry : table) {
        if (entry.value == value) return &entry;
    }
    return nullptr;
}

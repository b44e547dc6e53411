#pragma once

#include <span>
#include <string>

#include "filter/filter_config.h"
#include "image_files/image_files.h"

// The names of the values braidel-run takes and shows, one table per kind: the option parser,
// --help, the summary lines and the configuration messages all read them from here, so a value
// has one name everywhere and reordering an enum cannot change the command line.

template <class Value>
struct Named {
    Value value;
    const wchar_t* name;         // on the command line
    const wchar_t* description;  // in summaries; null where the name says it
};

inline constexpr Named<FilterMode> kModeNames[] = {
    {kCopyLine, L"copy", L"copy line"},
    {kTwoPointLinear, L"linear", L"two-point linear"},
    {kSixPointWeighted, L"weighted", L"six-point weighted"},
};

inline constexpr Named<FieldChoice> kFieldNames[] = {
    {kEvenLines, L"even", L"even lines"},
    {kOddLines, L"odd", L"odd lines"},
};

inline constexpr Named<int> kDepthNames[] = {
    {16, L"16", nullptr},
    {8, L"8", nullptr},
};

inline constexpr Named<image_files::PngFilter> kPngFilterNames[] = {
    {image_files::PngFilter::None, L"none", nullptr},
    {image_files::PngFilter::Sub, L"sub", nullptr},
    {image_files::PngFilter::Up, L"up", nullptr},
    {image_files::PngFilter::Average, L"average", nullptr},
    {image_files::PngFilter::Paeth, L"paeth", nullptr},
    {image_files::PngFilter::Adaptive, L"adaptive", nullptr},
};

inline constexpr Named<image_files::TiffCompression> kTiffCompressionNames[] = {
    {image_files::TiffCompression::None, L"none", nullptr},
    {image_files::TiffCompression::Lzw, L"lzw", nullptr},
    {image_files::TiffCompression::Deflate, L"deflate", nullptr},
};

// The entry of `value`, or null when the table has none (a block may hold any number).
template <class Value>
const Named<Value>* EntryOf(std::span<const Named<Value>> table, Value value) {
    for (const Named<Value>& entry : table) {
        if (entry.value == value) return &entry;
    }
    return nullptr;
}

// "copy line", or "mode 7" for a value without a name.
std::wstring DescribeMode(FilterMode mode);
// "even lines", or "field 7".
std::wstring DescribeField(FieldChoice field);
// "0 copy, 1 linear, 2 weighted": the block's numbers with their names.
std::wstring NumberedModes();
std::wstring NumberedFields();

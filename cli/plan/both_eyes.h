#pragma once

#include <cstdint>
#include <string>

#include "filter/filter_config.h"
#include "rebuild/core/vocabulary.h"

// Both views of a line-interleaved stereo frame from one run (--both-eyes): each view rebuilt at
// full height, the view on the even rows by rebuilding the odd ones and the other way round, then
// packed into one frame or written as two outputs. The left eye comes first in both packings.

enum class EyeLayout { SideBySide, TopBottom, TwoOutputs };
enum class Eye { Left, Right };

struct BothEyes {
    EyeLayout layout = EyeLayout::SideBySide;
    Eye firstRow = Eye::Left;  // the eye the frame's first row (row 0) carries
};

inline constexpr NamedValue<EyeLayout> kEyeLayoutNames[] = {
    {EyeLayout::SideBySide, BRAIDEL_NAME("side-by-side"), BRAIDEL_NAME("side by side")},
    {EyeLayout::TopBottom, BRAIDEL_NAME("top-bottom"), BRAIDEL_NAME("top and bottom")},
    {EyeLayout::TwoOutputs, BRAIDEL_NAME("two-outputs"), BRAIDEL_NAME("as two outputs")},
};

inline constexpr NamedValue<Eye> kEyeNames[] = {
    {Eye::Left, BRAIDEL_NAME("left"), {}},
    {Eye::Right, BRAIDEL_NAME("right"), {}},
};

// The field rebuilt for `eye`'s view: the rows of the other eye.
Field FieldRebuiltFor(Eye eye, Eye firstRow);

// How many frames of pixels the views of one frame take in memory, the frame itself included:
// two views, and for a packing the packed frame of two views beside them.
unsigned FramesForViews(EyeLayout layout);

// The size of the frame a packing writes for a W x H frame (W x H itself for two outputs).
struct PackedSize {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};
PackedSize PackedSizeOf(EyeLayout layout, std::uint32_t width, std::uint32_t height);

// The largest side a written frame may have: the largest the codec reads back and a raw stream
// carries.
inline constexpr std::uint64_t kLargestPackedSide = 65535;

// Empty when the packed frame of a W x H frame fits, else why not ("its side-by-side frame
// would be 80000 x 10, ...").
std::string PackedSizeProblem(EyeLayout layout, std::uint32_t width, std::uint32_t height);

// The --out-dir name of one eye's file: "NAME-left.EXT" and "NAME-right.EXT".
std::string EyeFileName(const std::string& name, Eye eye);

// "both eyes side by side, left eye on the first row": how the summary lines say it.
std::string DescribeBothEyes(const BothEyes& eyes);

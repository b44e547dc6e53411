#include "cli/plan/both_eyes.h"

Field FieldRebuiltFor(Eye eye, Eye firstRow) {
    // The first row is an even row: its eye keeps the even rows and rebuilds the odd ones.
    return eye == firstRow ? kOddLines : kEvenLines;
}

unsigned FramesForViews(EyeLayout layout) {
    return layout == EyeLayout::TwoOutputs ? 2 : 4;
}

PackedSize PackedSizeOf(EyeLayout layout, std::uint32_t width, std::uint32_t height) {
    switch (layout) {
        case EyeLayout::SideBySide:
            return {2ull * width, height};
        case EyeLayout::TopBottom:
            return {width, 2ull * height};
        case EyeLayout::TwoOutputs:
            break;
    }
    return {width, height};
}

std::string PackedSizeProblem(EyeLayout layout, std::uint32_t width, std::uint32_t height) {
    const PackedSize packed = PackedSizeOf(layout, width, height);
    if (packed.width <= kLargestPackedSide && packed.height <= kLargestPackedSide) return {};
    return std::string("its ") + EntryOf<EyeLayout>(kEyeLayoutNames, layout)->name.text +
           " frame would be " + std::to_string(packed.width) + " x " +
           std::to_string(packed.height) + ", more than the " + std::to_string(kLargestPackedSide) +
           " pixels a side of any frame braidel-run writes";
}

std::string EyeFileName(const std::string& name, Eye eye) {
    const std::size_t dot = name.find_last_of('.');
    const std::string suffix = eye == Eye::Left ? "-left" : "-right";
    if (dot == std::string::npos || dot == 0) return name + suffix;
    return name.substr(0, dot) + suffix + name.substr(dot);
}

std::string DescribeBothEyes(const BothEyes& eyes) {
    return std::string("both eyes ") +
           EntryOf<EyeLayout>(kEyeLayoutNames, eyes.layout)->description.text + ", " +
           EntryOf<Eye>(kEyeNames, eyes.firstRow)->name.text + " eye on the first row";
}

#include "filter/braideled_compositor.h"

#include <cstring>

#include "filter/filter_dialogs.h"
#include "rebuild/bitmap_pass.h"

BraideledCompositor::~BraideledCompositor() = default;

const wchar_t* BraideledCompositor::Description() {
    return L"Stereo Braidel Filter";
}
const wchar_t* BraideledCompositor::AuthorName() {
    return L"Orvath";
}
const wchar_t* BraideledCompositor::CopyrightText() {
    return L"";
}
// The host reads the version and the capability flags when it loads the filter and decides
// with them how to offer it; what each bit means is the host's matter. Both are fixed values that
// hosts already know this filter by, so they do not follow the build's version.
unsigned int BraideledCompositor::Version() {
    return 400;
}
DWORD BraideledCompositor::Capabilities() {
    return 6;
}

INT_PTR BraideledCompositor::ShowAbout(HWND parent) {
    return ShowAboutBox(parent, reinterpret_cast<LPARAM>(this));
}

int BraideledCompositor::ShowSetup(HWND parent) {
    return ShowSetupDialog(parent, config_);
}

int BraideledCompositor::Render(HWND progressWindow) {
    switch (config_.mode) {
        case kCopyLine:
            return CopyLinePass(progressWindow);
        case kTwoPointLinear:
            return TwoPointLinearPass(progressWindow);
        case kSixPointWeighted:
            return SixPointWeightedPass(progressWindow);
    }
    return 0;
}

DWORD BraideledCompositor::ConfigSize() {
    return sizeof(FilterConfig);
}

// The block is copied whole, unchecked: out-of-range values are the render's to refuse.
int BraideledCompositor::LoadConfig(void* block) {
    if (block == nullptr) return 0;
    std::memcpy(&config_, block, sizeof config_);
    return 1;
}

int BraideledCompositor::SaveConfig(void* block) {
    if (block == nullptr) return 0;
    std::memcpy(block, &config_, sizeof config_);
    return 1;
}

// The three passes of the filter differ only in their kernel: each is the one pass over the
// host's bitmaps.
int BraideledCompositor::CopyLinePass(HWND progressWindow) {
    return Pass(kCopyLine, progressWindow);
}

int BraideledCompositor::TwoPointLinearPass(HWND progressWindow) {
    return Pass(kTwoPointLinear, progressWindow);
}

int BraideledCompositor::SixPointWeightedPass(HWND progressWindow) {
    return Pass(kSixPointWeighted, progressWindow);
}

int BraideledCompositor::Pass(Kernel kernel, HWND progressWindow) {
    return RunBitmapPass({SourceBitmap(), MaskBitmap(), config_.field, *this}, kernel,
                         progressWindow);
}

#include "host/image_filter.h"

#include <algorithm>

#include "hostsdk/hooks.h"
#include "hostsdk/linear_blend.h"

ImageFilter::ImageFilter() = default;
ImageFilter::~ImageFilter() = default;

void ImageFilter::SetSource(Bitmap* source) {
    source_ = source;
}
void ImageFilter::SetForeground(Bitmap* foreground) {
    foreground_ = foreground;
}
void ImageFilter::SetMask(Bitmap* mask) {
    mask_ = mask;
}
void ImageFilter::SetFilterInfo(FilterInfo* info) {
    info_ = info;
}

float ImageFilter::Max(float a, float b) {
    return std::max(a, b);
}

float ImageFilter::Lerp(float a, float b, float l) {
    return a + (b - a) * l;
}

int ImageFilter::Lerp(int a, int b, int l) {
    const int result = hostsdk::LinearBlend(a, b, l);
    hostsdk::hooks::Blended(a, b, l, result);
    return result;
}

BOOL ImageFilter::ValidatePiData(void*) {
    return TRUE;
}
BOOL ImageFilter::CreatePreview(HWND) {
    return FALSE;
}
DWORD ImageFilter::ChannelsRequired() {
    return 0;
}
HWND ImageFilter::DlgHandle() {
    return interactiveDialog_;
}
void ImageFilter::MakeDlgInteractive(HWND dialog) {
    interactiveDialog_ = dialog;
}
BOOL ImageFilter::IsInteractive() {
    return interactiveDialog_ != nullptr;
}
void ImageFilter::FilterUpdate() {}
FilterNode* ImageFilter::CreateNode() {
    return node_;
}
FilterNode* ImageFilter::Node() {
    return node_;
}

#pragma once

#include "filter/filter_config.h"
#include "host/image_filter.h"

// The stereo field-rebuild filter: holds the user's kernel and field choice, persists them
// as an 8-byte block, and at render time runs the rebuild pass of the chosen kernel.
class BraideledCompositor final : public ImageFilter {
  public:
    BraideledCompositor() = default;
    ~BraideledCompositor() override;

    const wchar_t* Description() override;
    const wchar_t* AuthorName() override;
    const wchar_t* CopyrightText() override;
    unsigned int Version() override;
    DWORD Capabilities() override;
    INT_PTR ShowAbout(HWND parent) override;
    int ShowSetup(HWND parent) override;
    int Render(HWND progressWindow) override;
    DWORD ConfigSize() override;
    int LoadConfig(void* block) override;
    int SaveConfig(void* block) override;

  private:
    int CopyLinePass(HWND progressWindow);
    int TwoPointLinearPass(HWND progressWindow);
    int SixPointWeightedPass(HWND progressWindow);
    int Pass(Kernel kernel, HWND progressWindow);

    FilterConfig config_;
};

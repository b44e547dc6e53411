#pragma once

#include <windows.h>

#include "host/bitmap.h"
#include "host/heap.h"
#include "host/host_api.h"

// Host types that appear in inherited operations only.
class FilterInfo;
class FilterNode;

// Progress and abort messages that a filter sends to the host's window during render.
inline constexpr UINT kProgressMessage = WM_USER + 32;   // wParam position, lParam total
inline constexpr UINT kAbortPollMessage = WM_USER + 33;  // lParam: address of a 32-bit flag

// Base class of image filters. The host sets the bitmaps, then calls Render.
class HOSTSDK_API ImageFilter : public HostHeapOperators {
  public:
    ImageFilter();
    ImageFilter(const ImageFilter&) = delete;
    ImageFilter& operator=(const ImageFilter&) = delete;
    virtual ~ImageFilter();

    virtual const wchar_t* Description() = 0;
    virtual const wchar_t* AuthorName() = 0;
    virtual const wchar_t* CopyrightText() = 0;
    virtual unsigned int Version() = 0;
    virtual DWORD Capabilities() = 0;
    virtual INT_PTR ShowAbout(HWND parent) = 0;
    virtual int ShowSetup(HWND parent) = 0;
    virtual void SetSource(Bitmap* source);
    virtual void SetForeground(Bitmap* foreground);
    virtual void SetMask(Bitmap* mask);
    virtual void SetFilterInfo(FilterInfo* info);
    virtual int Render(HWND progressWindow) = 0;
    virtual float Max(float a, float b);
    virtual float Lerp(float a, float b, float l);
    virtual int Lerp(int a, int b, int l);
    virtual DWORD ConfigSize() = 0;
    virtual int LoadConfig(void* block) = 0;
    virtual int SaveConfig(void* block) = 0;
    virtual BOOL ValidatePiData(void* data);
    virtual BOOL CreatePreview(HWND parent);
    virtual DWORD ChannelsRequired();
    virtual HWND DlgHandle();
    virtual void MakeDlgInteractive(HWND dialog);
    virtual BOOL IsInteractive();
    virtual void FilterUpdate();
    virtual FilterNode* CreateNode();
    virtual FilterNode* Node();

  protected:
    Bitmap* SourceBitmap() const { return source_; }
    Bitmap* MaskBitmap() const { return mask_; }

  private:
    Bitmap* source_ = nullptr;
    Bitmap* foreground_ = nullptr;
    Bitmap* mask_ = nullptr;
    FilterInfo* info_ = nullptr;
    HWND interactiveDialog_ = nullptr;
    FilterNode* node_ = nullptr;
};

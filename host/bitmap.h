#pragma once

#include <cstdint>

#include "host/color.h"
#include "host/host_api.h"

// A host image. Every row call returns 1 on success; any other value is a failure.
// A bitmap without pixel storage reports 0 x 0.
class HOSTSDK_API Bitmap {
  public:
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
    virtual ~Bitmap();

    uint16_t Width() const;
    uint16_t Height() const;

    // Row read of 64-bit pixels: `count` pixels of row y starting at x.
    int GetPixels(int x, int y, int count, BMM_Color_64* pixels);
    // Row write of 64-bit pixels.
    int PutPixels(int x, int y, int count, const BMM_Color_64* pixels);
    // Row read of 16-bit grey values.
    int Get16Gray(int x, int y, int count, uint16_t* values);

  protected:
    Bitmap() = default;

  private:
    // Storage of a concrete bitmap kind.
    virtual uint16_t StorageWidth() const = 0;
    virtual uint16_t StorageHeight() const = 0;
    virtual int ReadPixels(int x, int y, int count, BMM_Color_64* pixels) = 0;
    virtual int WritePixels(int x, int y, int count, const BMM_Color_64* pixels) = 0;
    virtual int ReadGray(int x, int y, int count, uint16_t* values) = 0;
};

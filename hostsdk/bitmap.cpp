#include "host/bitmap.h"

Bitmap::~Bitmap() = default;

uint16_t Bitmap::Width() const {
    return StorageWidth();
}
uint16_t Bitmap::Height() const {
    return StorageHeight();
}

int Bitmap::GetPixels(int x, int y, int count, BMM_Color_64* pixels) {
    return ReadPixels(x, y, count, pixels);
}

int Bitmap::PutPixels(int x, int y, int count, const BMM_Color_64* pixels) {
    return WritePixels(x, y, count, pixels);
}

int Bitmap::Get16Gray(int x, int y, int count, uint16_t* values) {
    return ReadGray(x, y, count, values);
}

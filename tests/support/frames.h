#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "host/bitmap.h"
#include "standin/sdk/memory_bitmap.h"

bool operator==(const BMM_Color_64& a, const BMM_Color_64& b);
void PrintTo(const BMM_Color_64& pixel, std::ostream* out);

using PixelRow = std::vector<BMM_Color_64>;
using FrameRows = std::vector<PixelRow>;

// A frame whose every pixel differs in every channel from its neighbours, rows included, from
// a seeded generator; seed 0 gives a fixed pattern that keeps channel sums small.
void FillFrame(standin::MemoryBitmap& frame, uint32_t seed);
FrameRows Snapshot(const standin::MemoryBitmap& frame);
PixelRow RowOf(const standin::MemoryBitmap& frame, int y);

// Every row call the bitmap saw of one kind, as row numbers in order.
std::vector<int> RowsCalled(const standin::MemoryBitmap& bitmap, standin::RowOp op);
// True when every row call the bitmap saw stayed inside its storage.
bool AllCallsInside(const standin::MemoryBitmap& bitmap);

// The per-channel two-point mean rounded down.
PixelRow MeanOf(const PixelRow& upper, const PixelRow& lower);

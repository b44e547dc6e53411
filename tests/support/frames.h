#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "host/bitmap.h"
#include "hostsdk/instrumented_bitmap.h"
#include "tests/support/pixels.h"

using FrameRows = std::vector<PixelRow>;

// A frame whose every pixel differs in every channel from its neighbours, rows included, from
// a seeded generator; seed 0 gives a fixed pattern that keeps channel sums small.
void FillFrame(hostsdk::InstrumentedBitmap& frame, uint32_t seed);
FrameRows Snapshot(const hostsdk::InstrumentedBitmap& frame);
PixelRow RowOf(const hostsdk::InstrumentedBitmap& frame, int y);

// Every row call the bitmap saw of one kind, as row numbers in order.
std::vector<int> RowsCalled(const hostsdk::InstrumentedBitmap& bitmap, hostsdk::RowOp op);
// True when every row call the bitmap saw stayed inside its storage.
bool AllCallsInside(const hostsdk::InstrumentedBitmap& bitmap);

// The per-channel two-point mean rounded down.
PixelRow MeanOf(const PixelRow& upper, const PixelRow& lower);

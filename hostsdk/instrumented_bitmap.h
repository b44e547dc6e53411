#pragma once

#include <cstdint>

#include "host/bitmap.h"

namespace hostsdk {

enum class RowOp { ReadPixels, WritePixels, ReadGray, Any };

// One row call as the bitmap saw it.
struct RowCall {
    RowOp op;
    int x;
    int y;
    int count;
    int result;
    bool inside;  // the call stayed inside the pixel storage
};

// A row call to fail on purpose: of kind `op`, at row `row` (-1: any row), and, when `nth`
// is positive, only the nth call that matches op and row (counted from 1). The failing call
// returns `result` and touches nothing.
struct RowFailure {
    RowOp op = RowOp::Any;
    int row = -1;
    int nth = 0;
    int result = 0;
};

// The test double of a host bitmap: pixels in memory, every row call logged, chosen calls refused.
// Calls outside the storage are refused with 0 (and logged as such).
class HOSTSDK_API InstrumentedBitmap final : public Bitmap {
  public:
    InstrumentedBitmap(uint16_t width, uint16_t height);
    // A bitmap without pixel storage: 0 x 0, every row call fails.
    static InstrumentedBitmap* WithoutStorage();
    ~InstrumentedBitmap() override;

    BMM_Color_64& Pixel(int x, int y);
    const BMM_Color_64& Pixel(int x, int y) const;
    // Sets a pixel whose 16-bit grey reads back as `value`.
    void SetGray(int x, int y, uint16_t value);

    void Fail(const RowFailure& failure);
    void ClearFailures();

    int CallCount() const;
    RowCall Call(int index) const;
    void ClearCalls();

  private:
    struct State;
    explicit InstrumentedBitmap(State* state);

    uint16_t StorageWidth() const override;
    uint16_t StorageHeight() const override;
    int ReadPixels(int x, int y, int count, BMM_Color_64* pixels) override;
    int WritePixels(int x, int y, int count, const BMM_Color_64* pixels) override;
    int ReadGray(int x, int y, int count, uint16_t* values) override;

    int Begin(RowOp op, int x, int y, int count);
    int Finish(int result);

    State* state_;
};

}  // namespace hostsdk

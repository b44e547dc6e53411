// libFuzzer target: the rebuild rules over frames in memory. A frame rebuilt in two bands, split
// at any row, must equal the frame rebuilt whole, and every rebuild reads only kept rows and
// writes each rebuilt row at most once. Input: width, height (two bytes), field, kernel and split
// row, then the frame's channel bytes, repeated as needed.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "rebuild/core/field_rebuild.h"
#include "tests/support/pixels.h"

namespace {

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

// A frame of 16-bit pixels; reads come from the original, writes go to the result, and every
// call is checked against the rows' roles.
class CheckedFrame final : public RowStore {
  public:
    CheckedFrame(const std::vector<BMM_Color_64>& original, const FieldFrame& frame)
        : original_(original),
          result_(original),
          width_(frame.width),
          field_(frame.field),
          writes_(frame.height) {}

    bool ReadRow(int y, BMM_Color_64* into) override {
        Require(y >= 0 && y < static_cast<int>(writes_.size()) && !IsRebuilt(y));
        for (int x = 0; x < width_; ++x) into[x] = original_[Index(y, x)];
        return true;
    }
    bool WriteRow(int y, const BMM_Color_64* from) override {
        Require(y >= 0 && y < static_cast<int>(writes_.size()) && IsRebuilt(y) &&
                ++writes_[y] == 1);
        for (int x = 0; x < width_; ++x) result_[Index(y, x)] = from[x];
        return true;
    }
    const std::vector<BMM_Color_64>& Result() const { return result_; }

  private:
    // The odd rows for field 1, the even rows for any other field.
    bool IsRebuilt(int y) const { return y % 2 == (field_ == 1 ? 1 : 0); }
    std::size_t Index(int y, int x) const { return std::size_t(y) * width_ + x; }

    const std::vector<BMM_Color_64>& original_;
    std::vector<BMM_Color_64> result_;
    int width_;
    Field field_;
    std::vector<int> writes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 6) return 0;
    const int width = data[0] % 65;
    const int height = (data[1] | (data[2] << 8)) % 301;
    // Fields outside 0 and 1 come from loaded blocks; 0, 1, 2 and -1 stand for them all.
    const auto field =
        static_cast<Field>(static_cast<int32_t>(data[3] % 4) - (data[3] % 4 == 3 ? 4 : 0));
    const auto kernel = static_cast<Kernel>(data[4] % 3);
    const int split = height == 0 ? 0 : data[5] % (height + 1);
    data += 6;
    size -= 6;

    std::vector<BMM_Color_64> original(std::size_t(width) * height);
    auto* bytes = reinterpret_cast<uint8_t*>(original.data());
    for (std::size_t i = 0; i < original.size() * sizeof(BMM_Color_64); ++i)
        bytes[i] = size == 0 ? 0 : data[i % size];

    const FieldFrame frame{width, height, field};
    NoPacing pacer;
    RebuildBuffers wholeRows, bandRows;
    Require(wholeRows.Obtain(kernel, width) && bandRows.Obtain(kernel, width));
    CheckedFrame whole(original, frame), banded(original, frame);
    const RebuildMethod method{kernel, ProcessorKernels()};
    Require(RebuildField(frame, method, wholeRows, whole, pacer));
    Require(RebuildFieldBand(frame, {0, split}, method, bandRows, banded, pacer));
    Require(RebuildFieldBand(frame, {split, height}, method, bandRows, banded, pacer));
    // A frame compares as one long row.
    Require(SameRow(whole.Result(), banded.Result()));
    return 0;
}

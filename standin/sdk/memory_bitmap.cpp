#include "standin/sdk/memory_bitmap.h"

#include <algorithm>
#include <vector>

namespace standin {

namespace {

// Row copies as a host makes them: the processor's string move, which on current processors
// is the fastest copy of row-sized blocks (the runtime's memmove under Wine is much slower
// for them and would dominate every pass).
void CopyRow(BMM_Color_64* to, const BMM_Color_64* from, int count) {
#if defined(__x86_64__)
    void* destination = to;
    const void* source = from;
    std::size_t bytes = static_cast<std::size_t>(count) * sizeof(BMM_Color_64);
    asm volatile("rep movsb" : "+D"(destination), "+S"(source), "+c"(bytes) : : "memory");
#else
    std::copy_n(from, count, to);
#endif
}

}  // namespace

struct MemoryBitmap::State {
    uint16_t width = 0;
    uint16_t height = 0;
    bool hasStorage = true;
    std::vector<BMM_Color_64> pixels;
    std::vector<RowFailure> failures;
    std::vector<int> failureMatches;  // calls matched so far, one counter per failure
    std::vector<RowCall> calls;
};

MemoryBitmap::MemoryBitmap(uint16_t width, uint16_t height) : state_(new State) {
    state_->width = width;
    state_->height = height;
    state_->pixels.assign(static_cast<std::size_t>(width) * height, BMM_Color_64{});
}

MemoryBitmap::MemoryBitmap(State* state) : state_(state) {}

MemoryBitmap* MemoryBitmap::WithoutStorage() {
    auto* state = new State;
    state->hasStorage = false;
    return new MemoryBitmap(state);
}

MemoryBitmap::~MemoryBitmap() {
    delete state_;
}

BMM_Color_64& MemoryBitmap::Pixel(int x, int y) {
    return state_->pixels.at(static_cast<std::size_t>(y) * state_->width + x);
}

const BMM_Color_64& MemoryBitmap::Pixel(int x, int y) const {
    return state_->pixels.at(static_cast<std::size_t>(y) * state_->width + x);
}

void MemoryBitmap::SetGray(int x, int y, uint16_t value) {
    Pixel(x, y) = {value, value, value, 65535};
}

void MemoryBitmap::Fail(const RowFailure& failure) {
    state_->failures.push_back(failure);
    state_->failureMatches.push_back(0);
}

void MemoryBitmap::ClearFailures() {
    state_->failures.clear();
    state_->failureMatches.clear();
}

int MemoryBitmap::CallCount() const {
    return static_cast<int>(state_->calls.size());
}
RowCall MemoryBitmap::Call(int index) const {
    return state_->calls.at(index);
}
void MemoryBitmap::ClearCalls() {
    state_->calls.clear();
}

uint16_t MemoryBitmap::StorageWidth() const {
    return state_->width;
}
uint16_t MemoryBitmap::StorageHeight() const {
    return state_->height;
}

// Logs the call and decides its fate: 1 to go ahead, anything else is the result to return.
int MemoryBitmap::Begin(RowOp op, int x, int y, int count) {
    State& s = *state_;
    const bool inside = s.hasStorage && x >= 0 && count >= 0 && y >= 0 && y < s.height &&
                        static_cast<long long>(x) + count <= s.width;
    s.calls.push_back({op, x, y, count, 1, inside});
    int verdict = inside ? 1 : 0;
    for (std::size_t i = 0; i < s.failures.size(); ++i) {
        const RowFailure& f = s.failures[i];
        if ((f.op != RowOp::Any && f.op != op) || (f.row >= 0 && f.row != y)) continue;
        const int match = ++s.failureMatches[i];
        if (f.nth <= 0 || f.nth == match) verdict = verdict == 1 ? f.result : verdict;
    }
    if (verdict == 1 && !inside) verdict = 0;
    return verdict;
}

int MemoryBitmap::Finish(int result) {
    state_->calls.back().result = result;
    return result;
}

int MemoryBitmap::ReadPixels(int x, int y, int count, BMM_Color_64* pixels) {
    const int verdict = Begin(RowOp::ReadPixels, x, y, count);
    if (verdict != 1) return Finish(verdict);
    if (count > 0) CopyRow(pixels, &Pixel(x, y), count);
    return Finish(1);
}

int MemoryBitmap::WritePixels(int x, int y, int count, const BMM_Color_64* pixels) {
    const int verdict = Begin(RowOp::WritePixels, x, y, count);
    if (verdict != 1) return Finish(verdict);
    if (count > 0) CopyRow(&Pixel(x, y), pixels, count);
    return Finish(1);
}

// Grey is the integer luma of the pixel, so a pixel with equal colour channels reads back as
// that value exactly.
int MemoryBitmap::ReadGray(int x, int y, int count, uint16_t* values) {
    const int verdict = Begin(RowOp::ReadGray, x, y, count);
    if (verdict != 1) return Finish(verdict);
    for (int i = 0; i < count; ++i) {
        const BMM_Color_64* row = &Pixel(x, y);
        const long luma = 299L * row[i].r + 587L * row[i].g + 114L * row[i].b;
        values[i] = static_cast<uint16_t>(luma / 1000);
    }
    return Finish(1);
}

}  // namespace standin

#include "hostsdk/instrumented_bitmap.h"

#include <vector>

#include "hostsdk/row_calls.h"

namespace hostsdk {

struct InstrumentedBitmap::State {
    uint16_t width = 0;
    uint16_t height = 0;
    bool hasStorage = true;
    std::vector<BMM_Color_64> pixels;
    std::vector<RowFailure> failures;
    std::vector<int> failureMatches;  // calls matched so far, one counter per failure
    std::vector<RowCall> calls;
};

InstrumentedBitmap::InstrumentedBitmap(uint16_t width, uint16_t height) : state_(new State) {
    state_->width = width;
    state_->height = height;
    state_->pixels.assign(static_cast<std::size_t>(width) * height, BMM_Color_64{});
}

InstrumentedBitmap::InstrumentedBitmap(State* state) : state_(state) {}

InstrumentedBitmap* InstrumentedBitmap::WithoutStorage() {
    auto* state = new State;
    state->hasStorage = false;
    return new InstrumentedBitmap(state);
}

InstrumentedBitmap::~InstrumentedBitmap() {
    delete state_;
}

BMM_Color_64& InstrumentedBitmap::Pixel(int x, int y) {
    return state_->pixels.at(static_cast<std::size_t>(y) * state_->width + x);
}

const BMM_Color_64& InstrumentedBitmap::Pixel(int x, int y) const {
    return state_->pixels.at(static_cast<std::size_t>(y) * state_->width + x);
}

void InstrumentedBitmap::SetGray(int x, int y, uint16_t value) {
    Pixel(x, y) = {value, value, value, 65535};
}

void InstrumentedBitmap::Fail(const RowFailure& failure) {
    state_->failures.push_back(failure);
    state_->failureMatches.push_back(0);
}

void InstrumentedBitmap::ClearFailures() {
    state_->failures.clear();
    state_->failureMatches.clear();
}

int InstrumentedBitmap::CallCount() const {
    return static_cast<int>(state_->calls.size());
}
RowCall InstrumentedBitmap::Call(int index) const {
    return state_->calls.at(index);
}
void InstrumentedBitmap::ClearCalls() {
    state_->calls.clear();
}

uint16_t InstrumentedBitmap::StorageWidth() const {
    return state_->width;
}
uint16_t InstrumentedBitmap::StorageHeight() const {
    return state_->height;
}

// Logs the call and decides its fate: 1 to go ahead, anything else is the result to return.
int InstrumentedBitmap::Begin(RowOp op, int x, int y, int count) {
    State& s = *state_;
    const bool inside = s.hasStorage && RowCallInside(s.width, s.height, x, y, count);
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

int InstrumentedBitmap::Finish(int result) {
    state_->calls.back().result = result;
    return result;
}

int InstrumentedBitmap::ReadPixels(int x, int y, int count, BMM_Color_64* pixels) {
    const int verdict = Begin(RowOp::ReadPixels, x, y, count);
    if (verdict != 1) return Finish(verdict);
    if (count > 0) CopyRow(pixels, &Pixel(x, y), count);
    return Finish(1);
}

int InstrumentedBitmap::WritePixels(int x, int y, int count, const BMM_Color_64* pixels) {
    const int verdict = Begin(RowOp::WritePixels, x, y, count);
    if (verdict != 1) return Finish(verdict);
    if (count > 0) CopyRow(&Pixel(x, y), pixels, count);
    return Finish(1);
}

int InstrumentedBitmap::ReadGray(int x, int y, int count, uint16_t* values) {
    const int verdict = Begin(RowOp::ReadGray, x, y, count);
    if (verdict != 1) return Finish(verdict);
    for (int i = 0; i < count; ++i) values[i] = GrayOf(Pixel(x + i, y));
    return Finish(1);
}

}  // namespace hostsdk

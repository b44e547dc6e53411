#pragma once

#include <cstddef>
#include <cstdlib>
#include <utility>

// One row of elements, zero-filled from the standard heap and released when the buffer goes
// out of scope, on every path. A row of zero elements is a valid, empty buffer.
template <class T>
class RowBuffer {
  public:
    RowBuffer() = default;

    // An empty (false) buffer when the heap refuses.
    static RowBuffer Obtain(std::size_t count) {
        return RowBuffer(static_cast<T*>(std::calloc(count == 0 ? 1 : count, sizeof(T))));
    }

    RowBuffer(RowBuffer&& other) noexcept : data_(std::exchange(other.data_, nullptr)) {}
    RowBuffer& operator=(RowBuffer&& other) noexcept {
        std::swap(data_, other.data_);
        return *this;
    }
    RowBuffer(const RowBuffer&) = delete;
    RowBuffer& operator=(const RowBuffer&) = delete;
    ~RowBuffer() { std::free(data_); }

    explicit operator bool() const { return data_ != nullptr; }
    T* data() const { return data_; }

  private:
    explicit RowBuffer(T* data) : data_(data) {}

    T* data_ = nullptr;
};

#pragma once

#include <windows.h>

#include <memory>
#include <utility>

// A kernel object handle (file, event, thread, ...) closed when it goes out of scope. Both
// null and INVALID_HANDLE_VALUE mean "none", since Win32 calls fail with either.
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

    // Closes the handle now; returns whether the close succeeded (a write may fail only here).
    bool Close() {
        const bool ok = !*this || CloseHandle(handle_) != 0;
        handle_ = nullptr;
        return ok;
    }
    void Reset() { Close(); }

  private:
    HANDLE handle_ = nullptr;
};

// A buffer the system allocated for the caller with LocalAlloc (FormatMessage's, for one).
struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};
template <class T>
using UniqueLocal = std::unique_ptr<T, LocalFreer>;

// A view of a file mapping, unmapped when it goes.
struct ViewUnmapper {
    void operator()(const void* view) const { UnmapViewOfFile(view); }
};
using UniqueView = std::unique_ptr<const void, ViewUnmapper>;

#pragma once

#include <cstdint>
#include <string>
#include <utility>

// What the program's stages hold of the system's files, the same on every system: an open
// file's handle (a Win32 HANDLE on Windows, a descriptor on POSIX), the text a system names
// files in (UTF-16 on Windows; on POSIX the bytes of the name, any but NUL), and the standard
// streams by their role.
#if defined(_WIN32)
using FileHandle = void*;
using SystemText = std::wstring;
#else
using FileHandle = int;
using SystemText = std::string;
#endif

enum class StandardStreamId { Input, Output, Error };

// An open file owned by one object and closed when it goes.
class OwnedFile {
  public:
    OwnedFile() = default;
    explicit OwnedFile(FileHandle handle) : handle_(handle) {}
    ~OwnedFile() { Close(); }
    OwnedFile(OwnedFile&& other) noexcept : handle_(std::exchange(other.handle_, None())) {}
    OwnedFile& operator=(OwnedFile&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = std::exchange(other.handle_, None());
        }
        return *this;
    }
    OwnedFile(const OwnedFile&) = delete;
    OwnedFile& operator=(const OwnedFile&) = delete;

    explicit operator bool() const { return IsOpen(handle_); }
    FileHandle Get() const { return handle_; }
    // Closes the file now; whether the close succeeded (a write may fail only here).
    bool Close();

    // The handle of no file, and whether a handle is one of an open file (Win32 calls fail
    // with null or INVALID_HANDLE_VALUE).
    static FileHandle None() {
#if defined(_WIN32)
        return nullptr;
#else
        return -1;
#endif
    }
    static bool IsOpen(FileHandle handle) {
#if defined(_WIN32)
        return handle != nullptr && handle != reinterpret_cast<void*>(static_cast<intptr_t>(-1));
#else
        return handle >= 0;
#endif
    }

  private:
    FileHandle handle_ = None();
};

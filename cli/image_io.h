#pragma once

#include <memory>
#include <string>

#include "cli/exit_codes.h"
#include "cli/file_paths.h"
#include "hostsdk/plain_bitmap.h"

// Image files through the platform's imaging component. Every function expects COM to be
// initialised on the calling thread (see ComSession).

// Initialises COM (multithreaded) for the lifetime of the object on the current thread.
class ComSession {
  public:
    ComSession();
    ~ComSession();
    ComSession(const ComSession&) = delete;
    ComSession& operator=(const ComSession&) = delete;
    bool Ok() const { return ok_; }

  private:
    bool ok_;
};

enum class ImageFormat { Png, Tiff, Unknown };

// The output format that a file name's extension selects (.png, .tif, .tiff; any case).
ImageFormat FormatForPath(const std::wstring& path);

// Reads the first frame of a PNG or TIFF file as 64-bit RGBA: 8-bit channels are widened
// exactly (v * 257), grey is copied into red, green and blue, a missing alpha is 65535. Pixel
// values are taken as stored: no colour management, gamma or premultiplication is applied.
// Failures carry kExitBadInput.
std::unique_ptr<hostsdk::PlainBitmap> ReadImage(const FilePath& path, Failure& failure);

// Writes the bitmap as 16-bit RGBA in `format`, through a temporary file that replaces `path`
// only once it is complete. Failures carry kExitNotWritten and leave no temporary file.
Failure WriteImage(const hostsdk::PlainBitmap& image, const FilePath& path, ImageFormat format);

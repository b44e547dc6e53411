#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/platform/file_paths.h"
#include "cli/render/image_io.h"

// The run's mask. The render reads only the rows and columns of the mask that its frame covers,
// so the mask is decoded once for each frame size, only that far: a mask far larger than the
// frames never takes more memory than they do.
class RunMask {
  public:
    // Checks that the file is an image the codec reads (FailureCode::BadInput otherwise);
    // what its decode left out goes to `notes`.
    static Failure Open(const FilePath& path, std::unique_ptr<RunMask>& mask,
                        std::vector<std::string>& notes);

    // The mask for a frame of that size; null with `failure` set when it cannot be read.
    hostsdk::PlainBitmap* For(std::uint32_t width, std::uint32_t height, Failure& failure);

  private:
    explicit RunMask(FilePath path) : path_(std::move(path)) {}

    FilePath path_;
    std::mutex lock_;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::unique_ptr<Image>> crops_;
};

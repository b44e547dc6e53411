#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/platform/file_paths.h"
#include "cli/render/image_io.h"
#include "cli/render/workers.h"

// The run's mask. The render reads only the rows and columns of the mask that its frame covers,
// so the mask is decoded only that far, from its file as far as the decode needs: a mask far
// larger than the frames never takes more memory than they do. A crop serves every frame it
// covers; the last one is kept for the frames after, the others go with the frames that hold
// them, so that frames of many sizes do not pile up crops. Each crop must fit in the memory the
// run's frames may take, and is refused (FailureCode::BadInput) before it is allocated.
class RunMask {
  public:
    // Checks that the file is an image the codec reads (FailureCode::BadInput otherwise);
    // what its decode left out goes to `notes`.
    static Failure Open(const FilePath& path, std::unique_ptr<RunMask>& mask,
                        std::vector<std::string>& notes);

    // The mask for a frame of that size, kept while the frame holds it; null with `failure` set
    // when it cannot be read.
    std::shared_ptr<hostsdk::PlainBitmap> For(std::uint32_t width, std::uint32_t height,
                                              Failure& failure);

  private:
    explicit RunMask(FilePath path) : path_(std::move(path)), memory_(FrameMemoryBudget()) {}

    FilePath path_;
    FrameMemory memory_;
    std::mutex lock_;
    // The crop decoded last and the frame size it was decoded for.
    std::shared_ptr<const Image> last_;
    std::pair<std::uint32_t, std::uint32_t> lastSize_{0, 0};
};

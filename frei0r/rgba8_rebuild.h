#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "rebuild/core/field_rebuild.h"

// Rebuilds 8-bit RGBA frames held in memory (four bytes a pixel, R, G, B, A, rows packed) with
// the plug-in's rules and kernels. Each channel is widened exactly to 16 bits (v x 257) as a row
// is read and narrowed to the nearest 8-bit value as a rebuilt row is written, so a frame comes
// out as the plug-in makes the widened frame, rounded to 8 bits.
//
// Everything a frame needs is obtained when the object is made; a frame allocates nothing. A
// frame of many rows is rebuilt in two bands at once: the lower band by a helper thread of the
// object's own, which waits for frames while it lives.
class Rgba8Rebuild {
  public:
    // How a frame is cut into bands: by the frame and the machine (one band for a short frame or
    // a single processor, else two), or always in two, to exercise that path anywhere.
    enum class Bands { ByMachine, Two };

    // Null when the memory for a frame of this size cannot be had. `kernels` are the processor
    // level's; they must outlive the object.
    static std::unique_ptr<Rgba8Rebuild> Create(unsigned width, unsigned height,
                                                const RowKernels& kernels = ProcessorKernels(),
                                                Bands bands = Bands::ByMachine);
    ~Rgba8Rebuild();
    Rgba8Rebuild(const Rgba8Rebuild&) = delete;
    Rgba8Rebuild& operator=(const Rgba8Rebuild&) = delete;

    // The rebuilt frame of `in` into `out`; both hold width x height pixels. They may be the same
    // frame, but must not otherwise overlap. One frame at a time.
    void Run(Kernel kernel, Field field, const uint8_t* in, uint8_t* out);

  private:
    struct Band {
        RowBand rows;
        RebuildBuffers buffers;
    };
    struct Frame {
        Kernel kernel;
        Field field;
        const uint8_t* in;
        uint8_t* out;
    };

    Rgba8Rebuild(unsigned width, unsigned height, const RowKernels& kernels,
                 std::vector<Band> bands);
    void StartHelper();
    void HelperLoop();
    void RebuildBand(Band& band);

    unsigned width_;
    unsigned height_;
    const RowKernels& kernels_;
    std::vector<Band> bands_;
    Frame frame_{};

    // The helper's hand-over: a frame is posted by number, and finished when the helper says so.
    std::mutex mutex_;
    std::condition_variable posted_;
    std::condition_variable finished_;
    uint64_t postedFrames_ = 0;
    uint64_t finishedFrames_ = 0;
    bool stopping_ = false;
    std::thread helper_;
};

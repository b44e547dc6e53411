#pragma once

#include <memory>
#include <optional>
#include <string>

#include "cli/exit_codes.h"
#include "cli/plan/arguments.h"
#include "cli/platform/file_paths.h"
#include "cli/render/workers.h"
#include "hostsdk/plain_bitmap.h"
#include "image_files/image_files.h"

// braidel-run's image files: PNG and TIFF through the codec in image_files/, frames held as
// host bitmaps.

// A frame read from a file: its pixels as a host bitmap (16-bit RGBA) and what the file said
// about them (colour profile, gamma, resolution, text, alpha meaning, compression, pages).
struct Image {
    FrameMemory::Share memory;  // declared first: given back after the pixels go
    std::unique_ptr<hostsdk::PlainBitmap> bitmap;
    image_files::ImageMetadata metadata;
};

// Reads the first image of a PNG or TIFF file exactly, as the codec describes; with `memory`, the
// pixels are taken from that budget first. Failures carry FailureCode::BadInput and one line that
// says what is wrong.
// Only the crop's rows and columns are decoded and kept. A frame that the run holds `copies`
// times over (both eyes' views) takes that many times its pixels from the budget.
Failure ReadImage(const FilePath& path, Image& image, FrameMemory* memory = nullptr,
                  image_files::DecodeCrop crop = {}, unsigned copies = 1);

// The codec's options for one output: the command line's, else the defaults; a TIFF output
// keeps a TIFF input's compression (PackBits, which is not written, becomes Deflate).
image_files::EncodeOptions EncodeOptionsFor(const OutputOptions& options,
                                            const image_files::ImageMetadata& input);

// The image in `format` with its metadata, as the bytes of a file. Failures carry
// FailureCode::NotWritten; what the encoder left out is added to `notes`, one line each.
Failure EncodeImage(const Image& image, const FilePath& path, image_files::FileFormat format,
                    const OutputOptions& options, std::vector<std::uint8_t>& bytes,
                    std::vector<std::string>& notes);

// Writes the image in `format` with its metadata, through a temporary file that replaces `path`
// only once it is complete. Failures carry FailureCode::NotWritten and leave no temporary file.
// What the encoder left out is added to `notes`, one line each.
Failure WriteImage(const Image& image, const FilePath& path, image_files::FileFormat format,
                   const OutputOptions& options, std::vector<std::string>& notes);

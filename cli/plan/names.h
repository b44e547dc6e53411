#pragma once

#include <span>
#include <string>

#include "filter/filter_config.h"
#include "image_files/image_files.h"
#include "rebuild/core/vocabulary.h"

// The names of the values braidel-run takes and shows, one table per kind: the option parser,
// --help, the summary lines and the configuration messages all read them from here, so a value
// has one name everywhere and reordering an enum cannot change the command line. The kernels'
// and fields' tables are the rebuild core's (kKernelNames, kFieldNames), which the other tools
// share.

inline constexpr NamedValue<int> kDepthNames[] = {
    {16, BRAIDEL_NAME("16"), {}},
    {8, BRAIDEL_NAME("8"), {}},
};

inline constexpr NamedValue<image_files::PngFilter> kPngFilterNames[] = {
    {image_files::PngFilter::None, BRAIDEL_NAME("none"), {}},
    {image_files::PngFilter::Sub, BRAIDEL_NAME("sub"), {}},
    {image_files::PngFilter::Up, BRAIDEL_NAME("up"), {}},
    {image_files::PngFilter::Average, BRAIDEL_NAME("average"), {}},
    {image_files::PngFilter::Paeth, BRAIDEL_NAME("paeth"), {}},
    {image_files::PngFilter::Adaptive, BRAIDEL_NAME("adaptive"), {}},
};

inline constexpr NamedValue<image_files::TiffCompression> kTiffCompressionNames[] = {
    {image_files::TiffCompression::None, BRAIDEL_NAME("none"), {}},
    {image_files::TiffCompression::Lzw, BRAIDEL_NAME("lzw"), {}},
    {image_files::TiffCompression::Deflate, BRAIDEL_NAME("deflate"), {}},
};

// "copy line", or "mode 7" for a value without a name.
std::string DescribeMode(Kernel mode);
// "even lines", or "field 7".
std::string DescribeField(Field field);
// "0 copy, 1 linear, 2 weighted": the block's numbers with their names.
std::string NumberedModes();
std::string NumberedFields();

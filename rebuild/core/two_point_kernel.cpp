#include "rebuild/core/two_point_kernel.h"

#include "rebuild/core/channels.h"

void TwoPointMeanRow(const BMM_Color_64* upper, BMM_Color_64* lower, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x) {
        for (auto c : kChannels) lower[x].*c = ChannelMean(lower[x].*c, upper[x].*c);
    }
}

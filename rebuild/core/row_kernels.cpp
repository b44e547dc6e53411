#include "rebuild/core/row_kernels.h"

#include "rebuild/core/channel_rows.h"
#include "rebuild/core/six_point_kernel.h"
#include "rebuild/core/two_point_kernel.h"
#include "rebuild/core/vector_kernels.h"

namespace {

const RowKernels kProcessorKernels = RowKernelsFor(DetectCpuLevel());

}  // namespace

RowKernels RowKernelsFor(CpuLevel level) {
    switch (level) {
        case CpuLevel::Avx2:
            return {TwoPointMeanRowAvx2, SixPointWeightedRowAvx2, WidenRowAvx2, NarrowRowAvx2};
        case CpuLevel::Sse2:
            return {TwoPointMeanRowSse2, SixPointWeightedRowSse2, WidenRowSse2, NarrowRowSse2};
        case CpuLevel::Plain:
            break;
    }
    return {TwoPointMeanRow, SixPointWeightedRow, WidenRow, NarrowRow};
}

const RowKernels& ProcessorKernels() {
    return kProcessorKernels;
}

// SSE2 is part of every x86-64 processor.
CpuLevel DetectCpuLevel() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? CpuLevel::Avx2 : CpuLevel::Sse2;
}

std::vector<CpuLevel> AvailableCpuLevels() {
    std::vector<CpuLevel> levels{CpuLevel::Plain, CpuLevel::Sse2};
    if (DetectCpuLevel() == CpuLevel::Avx2) levels.push_back(CpuLevel::Avx2);
    return levels;
}

const char* CpuLevelName(CpuLevel level) {
    switch (level) {
        case CpuLevel::Avx2:
            return "avx2";
        case CpuLevel::Sse2:
            return "sse2";
        case CpuLevel::Plain:
            break;
    }
    return "plain";
}

#include "rebuild/row_kernels.h"

#include "rebuild/six_point_kernel.h"
#include "rebuild/two_point_kernel.h"
#include "rebuild/vector_kernels.h"

RowKernels RowKernelsFor(CpuLevel level) {
    switch (level) {
        case CpuLevel::Avx2:
            return {TwoPointMeanRowAvx2, SixPointWeightedRowAvx2};
        case CpuLevel::Sse2:
            return {TwoPointMeanRowSse2, SixPointWeightedRowSse2};
        case CpuLevel::Plain:
            break;
    }
    return {TwoPointMeanRow, SixPointWeightedRow};
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

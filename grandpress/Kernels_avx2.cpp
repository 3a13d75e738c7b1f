// The AVX2+FMA table: the kernel templates instantiated for AVX2 with FMA (this file alone is
// built with -mavx2 -mfma; see CMakeLists.txt). Called only on processors that have both.
#include "grandpress/DetectorKernels.h"
#include "grandpress/GainComputerKernels.h"
#include "grandpress/GainCurveKernels.h"
#include "grandpress/Kernels.h"
#include "grandpress/SideChainKernels.h"

namespace grandpress {

namespace {

constexpr Kernels kAvx2 = {
    // The compressor's stages.
    sideChainKernelsFor<xsimd::fma3<xsimd::avx2>>(),
    gainCurveKernelsFor<xsimd::fma3<xsimd::avx2>>(),
    gainComputerKernelsFor<xsimd::fma3<xsimd::avx2>>(),
    detectorKernelsFor<xsimd::fma3<xsimd::avx2>>(),
};

}  // namespace

const Kernels& avx2Kernels() noexcept {
    return kAvx2;
}

}  // namespace grandpress

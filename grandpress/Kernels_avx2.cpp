// The AVX2+FMA kernel table: built with -mavx2 -mfma (grandpress/CMakeLists.txt); four doubles
// per vector, the recursive stages on two-lane vectors with fused products where they ask.
#include "grandpress/Kernels.h"
#include "grandpress/KernelsImpl.h"

namespace grandpress {
namespace {

constexpr Kernels kAvx2Kernels = kernelsOf<xsimd::fma3<xsimd::avx2>>();

}  // namespace

const Kernels& avx2Kernels() noexcept {
    return kAvx2Kernels;
}

}  // namespace grandpress

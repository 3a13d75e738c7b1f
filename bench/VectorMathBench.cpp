// Vector exp2/log2 candidates for the gain computer's static curve, 4-wide double (AVX2 + FMA):
// xsimd, SLEEF, Highway (where installed) and our own polynomial on xsimd batches, against the
// library's scalar calls. Each pass computes 2^(k * log2(x)) for 128 levels (one chunk of both
// channels), the shape of the curve above the threshold. The worst relative error against the
// scalar result is reported as a counter.
//
// Run: build/bin/vector_math_bench
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "dsp/VectorMath.h"

#if QRX_BENCH_SLEEF
#include <sleef.h>
#endif
#if QRX_BENCH_HWY
#include <hwy/contrib/math/math-inl.h>
#include <hwy/highway.h>
#endif

namespace {

constexpr int kCount = 128;
constexpr double kExponent = 0.3;
#if defined(__AVX2__) && defined(__FMA__)
using Batch = xsimd::batch<double, xsimd::fma3<xsimd::avx2>>;
#else
using Batch = xsimd::batch<double, xsimd::sse2>;  // the baseline build of the same kernels
#endif

std::vector<double> levels() {
    std::vector<double> x(kCount);
    for (int i = 0; i < kCount; ++i) x[i] = 1.0 + 0.37 * i + 1e-3 * (i % 7);
    return x;
}

double worstError(const std::vector<double>& y) {
    const std::vector<double> x = levels();
    double worst = 0.0;
    for (int i = 0; i < kCount; ++i) {
        const double exact = std::pow(x[i], kExponent);
        worst = std::fmax(worst, std::fabs(y[i] - exact) / exact);
    }
    return worst;
}

template <typename Kernel>
void run(benchmark::State& state, Kernel kernel) {
    const std::vector<double> x = levels();
    std::vector<double> y(kCount);
    for (auto _ : state) {
        kernel(x.data(), y.data());
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
    state.counters["relError"] = worstError(y);
}

void Libm(benchmark::State& state) {
    run(state, [](const double* x, double* y) {
        for (int i = 0; i < kCount; ++i) y[i] = std::exp2(kExponent * std::log2(x[i]));
    });
}
BENCHMARK(Libm);

void Xsimd(benchmark::State& state) {
    run(state, [](const double* x, double* y) {
        for (int i = 0; i < kCount; i += Batch::size) {
            const Batch v = Batch::load_unaligned(x + i);
            xsimd::exp2(kExponent * xsimd::log2(v)).store_unaligned(y + i);
        }
    });
}
BENCHMARK(Xsimd);

void OwnPolynomial(benchmark::State& state) {
    run(state, [](const double* x, double* y) {
        for (int i = 0; i < kCount; i += Batch::size) {
            const Batch v = Batch::load_unaligned(x + i);
            qrx::dsp::vmath::exp2(kExponent * qrx::dsp::vmath::log2(v)).store_unaligned(y + i);
        }
    });
}
BENCHMARK(OwnPolynomial);

#if QRX_BENCH_SLEEF
void Sleef(benchmark::State& state) {
    run(state, [](const double* x, double* y) {
        for (int i = 0; i < kCount; i += 4) {
            const __m256d v = _mm256_loadu_pd(x + i);
            const __m256d l = _mm256_mul_pd(_mm256_set1_pd(kExponent), Sleef_log2d4_u10avx2(v));
            _mm256_storeu_pd(y + i, Sleef_exp2d4_u10avx2(l));
        }
    });
}
BENCHMARK(Sleef);
#endif

#if QRX_BENCH_HWY
void Highway(benchmark::State& state) {
    namespace hn = hwy::HWY_NAMESPACE;
    run(state, [](const double* x, double* y) {
        const hn::ScalableTag<double> d;
        const auto k = hn::Set(d, kExponent * 0.6931471805599453);
        for (int i = 0; i < kCount; i += static_cast<int>(hn::Lanes(d))) {
            const auto v = hn::LoadU(d, x + i);
            hn::StoreU(hn::Exp(d, hn::Mul(k, hn::Log2(d, v))), d, y + i);
        }
    });
}
BENCHMARK(Highway);
#endif

}  // namespace

BENCHMARK_MAIN();

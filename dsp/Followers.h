// The steps the engines' envelope followers, meter integrators and gain glides share, on plain
// doubles and on xsimd batches alike (T is double or xsimd::batch<double, Arch>). Each is written
// in the one order of operations its callers round by: a caller that rounds differently (a fused
// multiply-add, or e += (x - e) k) writes its own step instead.
//
// Threads: pure functions, called on the audio thread (references and kernels).
#pragma once

#include <algorithm>
#include <type_traits>
#include <xsimd/xsimd.hpp>

namespace qrx::dsp {

// The gain glides move towards their targets by this share of the distance per sample, at every
// sample rate (the filters' coefficients glide at rates of their own, GlidingBiquad.h).
inline constexpr double kGainGlidePerSample = 0.001;

// One step of a one-pole follower or glide, v + (target - v) k, taken as v (1 - k) + pull with
// keep = 1 - k and pull = k target (plus the noise offset, where the caller adds one): the
// recursion waits on one product and one sum only.
template <class T>
[[gnu::always_inline]] inline T followStep(const T& value, const T& keep, const T& pull) noexcept {
    return value * keep + pull;
}

// The programme-dependent speed factor 2a/(a + 1) + 0.1 of a ratio a of level averages: from
// 0.1 (a near 0) towards 2.1 (a large); 1.1 at a = 1.
template <class T>
[[gnu::always_inline]] inline T autoSpeedFactor(const T& a) noexcept {
    return T(2.0) * a / (a + T(1.0)) + T(0.1);
}

// A follower with an attack and a return rate can take both steps every sample and keep the one
// that applies. The two ways differ by (attackRate - returnRate) (x - v), rounding aside, so the
// attack's way is the greater one exactly when the attack moves the value up (attackRises) with
// the faster rate, or down with the slower one; a max or a min of both ways (attackOrReturn)
// then picks it with no compare on the recursion. Where the two ways lie within rounding of each
// other, either is the result.
constexpr bool attackWayGreater(bool attackRises, double attackRate, double returnRate) noexcept {
    return attackRises == (attackRate >= returnRate);
}

// The attack's way or the return's, as attackWayGreater() said (on doubles, the attack's way
// where either is not a number; on batches, the return's).
template <class T>
[[gnu::always_inline]] inline T attackOrReturn(bool attackGreater, const T& attackWay,
                                               const T& returnWay) noexcept {
    if constexpr (std::is_floating_point_v<T>)
        return attackGreater ? std::max(attackWay, returnWay) : std::min(attackWay, returnWay);
    else
        return attackGreater ? xsimd::max(attackWay, returnWay) : xsimd::min(attackWay, returnWay);
}

}  // namespace qrx::dsp

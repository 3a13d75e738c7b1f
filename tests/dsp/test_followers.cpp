// The shared follower steps: the pick of both ways by a max or a min follows the way a compare
// would take, for an attack that moves the value up or down, faster or slower than the return.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <xsimd/xsimd.hpp>

#include "dsp/Followers.h"

namespace {

using qrx::dsp::attackOrReturn;
using qrx::dsp::attackWayGreater;
using qrx::dsp::followStep;

struct Rates {
    bool attackRises;
    double attack, back;
};

// A test signal that jumps up and down by several orders of magnitude and sits still between.
double signalAt(int i) {
    const double levels[] = {0.001, 2.0, 0.5, 0.5, 8.0, 1e-4, 3.0, 0.02};
    return levels[(i / 37) % 8] * (1.0 + 0.25 * std::sin(0.3 * i));
}

// The greatest lane of v (v itself on doubles).
template <class T>
double greatestOf(const T& v) {
    if constexpr (std::is_floating_point_v<T>) {
        return v;
    } else {
        alignas(64) double lanes[T::size];
        v.store_aligned(lanes);
        return *std::max_element(lanes, lanes + T::size);
    }
}

// The follower stepped with a compare on every sample, and with both ways picked.
template <class T>
void expectPickFollowsTheCompare(const Rates& r) {
    const T attack(r.attack), back(r.back), keepAttack(1.0 - r.attack), keepBack(1.0 - r.back);
    const bool greater = attackWayGreater(r.attackRises, r.attack, r.back);
    double compared = 0.1;
    T picked(0.1);
    for (int i = 0; i < 2000; ++i) {
        const double x = signalAt(i);
        const bool attacks = r.attackRises ? x > compared : x < compared;
        compared = attacks ? followStep(compared, 1.0 - r.attack, r.attack * x)
                           : followStep(compared, 1.0 - r.back, r.back * x);
        const T xs(x);
        picked = attackOrReturn(greater, followStep(picked, keepAttack, attack * xs),
                                followStep(picked, keepBack, back * xs));
        // Where both ways lie within rounding of each other either may be taken, so the two
        // followers may part by a few ulps; they never part by more.
        ASSERT_NEAR(greatestOf(picked), compared, 1e-12 * compared)
            << "sample " << i << (r.attackRises ? " rising" : " falling") << " attack " << r.attack
            << " return " << r.back;
    }
}

TEST(Followers, BothWaysPickedAsTheCompareWould) {
    const Rates cases[] = {{true, 0.3, 0.01},
                           {true, 0.01, 0.3},
                           {false, 0.3, 0.01},
                           {false, 0.01, 0.3},
                           {true, 0.2, 0.2}};
    for (const Rates& r : cases) {
        expectPickFollowsTheCompare<double>(r);
        expectPickFollowsTheCompare<xsimd::batch<double, xsimd::sse2>>(r);
    }
}

}  // namespace

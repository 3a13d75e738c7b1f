// The settings hand-over both engines use: with writers on other threads the audio side's
// settings always belong to one set of values, each a value some writer really set (never a mix
// of two settings of one index, never older than one it adopted before), and once the writers are
// quiet the next block adopts exactly the latest values and rate.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "presets/SettingsHandOver.h"

namespace {

// Writer 0 sets indices 0 and 1, writer 1 indices 2 and 3, both set index 4.
constexpr int kCount = 5;
constexpr int kShared = 4;

// Each index drives its own field; indices 0 and 1 also drive one they share (a derived value).
struct Built {
    double rateHz = 0.0;
    double field[kCount] = {};
    double product = 0.0;
};

void buildOne(Built& s, int index, const float* v) {
    s.field[index] = v[index] * s.rateHz;
    if (index < 2) s.product = static_cast<double>(v[0]) * v[1];
}

void buildAll(Built& s, const float* v, double rateHz) {
    s.rateHz = rateHz;
    for (int i = 0; i < kCount; ++i) buildOne(s, i, v);
}

bool same(const Built& a, const Built& b) {
    if (a.rateHz != b.rateHz || a.product != b.product) return false;
    for (int i = 0; i < kCount; ++i)
        if (a.field[i] != b.field[i]) return false;
    return true;
}

using HandOver = SettingsHandOver<Built, kCount>;

// Writer w sets value w * 100000 + n (exact in a float) into its own indices and the shared one.
constexpr int kSets = 20000;
float written(int writer, int n) {
    return static_cast<float>(writer * 100000 + n);
}
int writerOf(float v) {
    return static_cast<int>(v) / 100000;
}
int sequenceOf(float v) {
    return static_cast<int>(v) % 100000;
}

TEST(SettingsHandOver, TakesOnlyWhatWasSetAndRebuildsOnRequest) {
    HandOver h(buildAll, buildOne, 44100.0);
    Built s;
    h.requestRebuild();
    h.set(3, 0.5f);
    HandOver::Changes c = h.take();
    EXPECT_TRUE(c.rebuild);
    h.build(s, c);
    EXPECT_EQ(s.rateHz, 44100.0);
    EXPECT_EQ(s.field[3], 0.5 * 44100.0);

    EXPECT_FALSE(h.take().any());  // nothing set since

    h.set(1, 2.0f);
    h.set(0, 3.0f);
    h.setRate(48000.0);  // no rebuild asked for: the rate waits for one
    c = h.take();
    EXPECT_FALSE(c.rebuild);
    EXPECT_EQ(c.indices, 0b11u);
    h.build(s, c);
    EXPECT_EQ(s.product, 6.0);
    EXPECT_EQ(s.field[0], 3.0 * 44100.0);
    EXPECT_EQ(h.settingsNow().rateHz, 48000.0);  // what a rebuild now would give
}

TEST(SettingsHandOver, ConcurrentWritersNeverTearTheAdoptedSettings) {
    HandOver h(buildAll, buildOne, 44100.0);
    Built s;
    h.build(s, h.take());
    std::atomic<int> running{2};
    const auto writer = [&](int w) {
        for (int n = 1; n <= kSets; ++n) {
            h.set(2 * w, written(w, n));
            h.set(2 * w + 1, written(w, n));
            h.set(kShared, written(w, n));
            if (w == 1 && n % 1000 == 0) {
                h.setRate(44100.0 + n);
                h.requestRebuild();
            }
        }
        running.fetch_sub(1);
    };
    std::thread a(writer, 0), b(writer, 1);

    int last[kCount] = {};
    int faults = 0, blocks = 0;
    bool quiet = false;
    while (!quiet) {
        quiet = running.load() == 0;  // one more block after the writers are done
        h.build(s, h.take());
        ++blocks;
        const float* v = h.adopted();
        Built full;
        buildAll(full, v, s.rateHz);
        if (!same(s, full)) ++faults;  // the settings belong to the adopted values
        for (int i = 0; i < kCount; ++i) {
            if (v[i] == 0.0f) continue;
            const int w = writerOf(v[i]), n = sequenceOf(v[i]);
            const bool byOwner = i == kShared ? w <= 1 : w == i / 2;
            if (!byOwner || n < 1 || n > kSets || v[i] != written(w, n)) ++faults;
            if (i != kShared && n < last[i]) ++faults;  // one writer: never older
            last[i] = n;
        }
    }
    a.join();
    b.join();
    EXPECT_EQ(faults, 0) << "of " << blocks << " blocks";
    for (int i = 0; i < kCount; ++i) EXPECT_EQ(h.adopted()[i], h.value(i)) << i;
    EXPECT_EQ(sequenceOf(h.adopted()[0]), kSets);
    EXPECT_EQ(sequenceOf(h.adopted()[2]), kSets);
    EXPECT_EQ(s.rateHz, 44100.0 + kSets);
}

}  // namespace

// Hands the parameter values from the threads that set them to the audio thread, which builds the
// engine's precomputed settings from them, without a lock or an allocation on any thread.
//
// Threads:
// - Setting threads (the user interface, host automation, the dispatcher; several at once):
//   set(), setRate(), requestRebuild(). Each value is a relaxed atomic; set() stores it, then
//   marks its bit in an atomic mask (release).
// - Any thread: value(), rate(), settingsNow().
// - The audio thread only, at the start of a block: take(), then build(); adopted().
//
// Tear-free: take() first takes the mask (acquire), then reads the marked values into its own
// copy `adopted`. A value stored after its bit was taken is read again with the next take(), so
// the settings build() makes always belong to one set of values in `adopted`, each a value some
// thread set, and none is lost once the setting threads are quiet.
#pragma once

#include <atomic>
#include <cstdint>

template <typename Settings, int kCount>
class SettingsHandOver {
    static_assert(kCount > 0 && kCount <= 64, "one bit per parameter in the mask");

  public:
    // The engine's builders (pure): everything from the values at a rate, and what one index
    // drives at the rate already in the settings.
    using BuildAll = void (*)(Settings& s, const float* values, double rateHz);
    using BuildOne = void (*)(Settings& s, int index, const float* values);

    SettingsHandOver(BuildAll all, BuildOne one, double rateHz) : buildAll(all), buildOne(one) {
        for (auto& v : values) v.store(0.0f, kRelaxed);
        processingRate.store(rateHz, kRelaxed);
    }

    // Setting threads. `index` lies in 0..kCount-1.
    void set(int index, float value) noexcept {
        values[index].store(value, kRelaxed);
        changed.fetch_or(std::uint64_t{1} << index, std::memory_order_release);
    }
    void setRate(double rateHz) noexcept { processingRate.store(rateHz, kRelaxed); }
    // The next take() rebuilds everything at rate().
    void requestRebuild() noexcept { rebuildRequests.fetch_add(1, std::memory_order_release); }

    // Any thread.
    float value(int index) const noexcept { return values[index].load(kRelaxed); }
    double rate() const noexcept { return processingRate.load(kRelaxed); }
    // The settings built from the values and the rate as they stand now.
    Settings settingsNow() const noexcept {
        float now[kCount];
        for (int i = 0; i < kCount; ++i) now[i] = value(i);
        Settings s;
        buildAll(s, now, rate());
        return s;
    }

    // Audio thread: what take() found.
    struct Changes {
        bool rebuild = false;       // a rebuild was requested
        std::uint64_t indices = 0;  // bit i: parameter i was set
        bool any() const noexcept { return rebuild || indices != 0; }
    };
    // Audio thread: takes what was set since the last take() into adopted().
    Changes take() noexcept {
        Changes c;
        const std::uint32_t rebuild = rebuildRequests.load(std::memory_order_acquire);
        c.rebuild = rebuild != rebuildsDone;
        rebuildsDone = rebuild;
        c.indices = changed.exchange(0, std::memory_order_acquire);
        for (int i = 0; i < kCount; ++i)
            if (c.indices & (std::uint64_t{1} << i)) adoptedValues[i] = value(i);
        return c;
    }
    // Audio thread: brings `next` up to date with what take() found: everything at rate() after
    // a rebuild request, else what the changed indices drive.
    void build(Settings& next, const Changes& c) const noexcept {
        if (c.rebuild) {
            buildAll(next, adoptedValues, rate());
            return;
        }
        for (int i = 0; i < kCount; ++i)
            if (c.indices & (std::uint64_t{1} << i)) buildOne(next, i, adoptedValues);
    }
    // Audio thread: the values the settings were last built from.
    const float* adopted() const noexcept { return adoptedValues; }

  private:
    static constexpr auto kRelaxed = std::memory_order_relaxed;

    const BuildAll buildAll;
    const BuildOne buildOne;
    std::atomic<float> values[kCount];
    std::atomic<double> processingRate;
    std::atomic<std::uint64_t> changed{0};
    std::atomic<std::uint32_t> rebuildRequests{0};

    // Audio thread.
    float adoptedValues[kCount] = {};
    std::uint32_t rebuildsDone = 0;
};

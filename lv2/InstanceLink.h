// What the UI reaches of the plug-in instance when the host offers instance access (the
// plug-in's LV2_Handle points at an InstanceLink): the effect's meter feed, and the two image
// blocks of EffectImage.h. The plug-in and its UI are built from the same sources in the same
// build, so the layout is the same on both sides; `magic` and `uniqueId` catch a host that pairs
// a UI with another plug-in's instance.
//
// Threads: the plug-in writes `published` (instantiation, state restore, and the audio thread
// when it takes over the UI's image); the UI thread writes `fromUi`. Both read the other's
// without a lock. The meter feed is relaxed atomics, as in the VST plug-in.
#pragma once

#include <cstdint>

#include "dsp/MeterFeed.h"
#include "lv2/EffectImage.h"

namespace qrxlv2 {

struct InstanceLink {
    static constexpr std::uint32_t kMagic = 0x51524c32;  // "QRL2"

    std::uint32_t magic = kMagic;
    std::uint32_t uniqueId = 0;
    double sampleRate = 44100.0;
    MeterFeed* meterFeed = nullptr;
    SharedEffectImage* published = nullptr;
    SharedEffectImage* fromUi = nullptr;
};

// The link of an instance handle, or null when it is not one of ours for `uniqueId`.
inline const InstanceLink* instanceLink(const void* handle, std::uint32_t uniqueId) {
    const auto* link = static_cast<const InstanceLink*>(handle);
    return link && link->magic == InstanceLink::kMagic && link->uniqueId == uniqueId ? link
                                                                                     : nullptr;
}

}  // namespace qrxlv2

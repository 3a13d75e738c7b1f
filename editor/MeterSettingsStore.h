// The five meter settings (parameters 36..40) kept per user, shared by both plug-ins: read while
// an effect is constructed, written when it is destroyed. Store failures are silent.
// Called on the threads that construct and destroy the effect, never on the audio thread.
#pragma once

namespace meter_settings {

constexpr const char* kStoreKey = "SOFTWARE\\QRX-soundwerk\\AmberGlowTube20";
constexpr int kFirstIndex = 36;
constexpr int kLastIndex = 40;

// The stored normalised value of `index`, or its default when the key or value is missing or
// unreadable (36: 0.5, 37: 0.41, 38: 0.5, 39: 0.5, 40: 2/9). Other indices answer 0.
float read(int index);
// Stores `value` for `index` (4-byte little-endian float); other indices are ignored.
void write(int index, float value);

}  // namespace meter_settings

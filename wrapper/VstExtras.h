// VST 2.4 records and flags the adaptor needs beyond shell/vst2.h: the MIDI event record and
// the time-info flags. Same published layout rules as shell/vst2.h.
#pragma once

#include "shell/vst2.h"

namespace wrapper {

constexpr VstInt32 kVstMidiType = 1;

struct VstMidiEvent {
    VstInt32 type;
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    VstInt32 noteLength;
    VstInt32 noteOffset;
    char midiData[4];
    char detune;
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};
static_assert(sizeof(VstMidiEvent) == 32, "VstMidiEvent layout");

enum VstTimeInfoFlags : VstInt32 {
    kVstTransportChanged = 1,
    kVstTransportPlaying = 1 << 1,
    kVstPpqPosValid = 1 << 9,
    kVstTempoValid = 1 << 10,
    kVstTimeSigValid = 1 << 13,
};

}  // namespace wrapper

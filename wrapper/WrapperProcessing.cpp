// CPluginWrapper: the processing call. Real-time thread; allocates nothing, takes no lock
// (the gate and the MIDI queue's busy flag are spun on, never slept on).
#include "wrapper/CPluginWrapper.h"
#include "wrapper/VstExtras.h"

void CPluginWrapper::Process(float** channels, int frames, const WrapperTimeInfo* time) {
    const bool effectMayRun = gate_.enterProcessing();
    if (effectMayRun && loaded_ && frames > 0 && channels != nullptr) {
        if (time != nullptr) {
            timeInfo_.samplePos = time->samplePos;
            timeInfo_.ppqPos = static_cast<double>(time->tickPos) / 960000.0;
            const bool playing = (timeInfo_.flags & wrapper::kVstTransportPlaying) != 0;
            if (time->playing != playing) {
                timeInfo_.flags ^= wrapper::kVstTransportPlaying;
                timeInfo_.flags |= wrapper::kVstTransportChanged;
            }
        }
        if (VstEvents* events = midi_.takeForProcessing())
            dispatcher_(effect_, effProcessEvents, 0, 0, events, 0.0f);
        if (processReplacing_) processReplacing_(effect_, channels, channels, frames);
        timeInfo_.flags &= ~wrapper::kVstTransportChanged;
        midi_.finishProcessing();
    }
    gate_.leaveProcessing();
}

// Which host buffers feed an engine in a block: the right main input and the side-chain pair,
// chosen from the host's pointers, its pin-connected answers and the effect's arrangement flags.
// Both engines choose their inputs alike; each picks its outputs itself.
//
// Threads: audio thread (once per block). Pure apart from the pin queries it is handed.
#pragma once

namespace qrx::dsp {

// The host buffers chosen for a block. A null input reads as silence; a null output is not
// written. The outputs may alias each other or the inputs.
template <typename Sample>
struct HostBuffers {
    const Sample* mainLeft = nullptr;
    const Sample* mainRight = nullptr;
    const Sample* sideLeft = nullptr;
    const Sample* sideRight = nullptr;
    Sample* outLeft = nullptr;
    Sample* outRight = nullptr;  // may equal outLeft: the right result is then written last
};

struct InputFlags {
    bool rightInput = true;          // the speaker arrangement gives a right main input
    bool sideChainInputs = true;     // ... and the side-chain pair
    bool externalSideChain = false;  // the external side-chain switch
};

// Fills the four inputs of `io` (left as they are when `inputs` is null). `connected(pin)` asks
// the host whether input `pin` (0-based) is connected; it is only asked about pins the flags
// allow, in the order 1, 2, 3. Rules:
// - right main: input 2 when its flag is set, it is connected and its pointer is not null; else
//   input 1;
// - side-chain left: input 3 under the same rule with the side-chain flag; else input 1;
// - side-chain right: input 4 likewise; else the side-chain left when that was usable, otherwise
//   the right main input;
// - with the external side chain off, the side chain is the main pair.
template <typename Sample, typename ConnectedQuery>
void selectInputs(Sample* const* inputs, const InputFlags& flags, ConnectedQuery&& connected,
                  HostBuffers<Sample>& io) {
    if (!inputs) return;
    io.mainLeft = inputs[0];
    const bool rightUsable = flags.rightInput && inputs[1] && connected(1);
    io.mainRight = rightUsable ? inputs[1] : inputs[0];
    if (!flags.externalSideChain) {
        io.sideLeft = io.mainLeft;
        io.sideRight = io.mainRight;
        return;
    }
    const bool leftUsable = flags.sideChainInputs && inputs[2] && connected(2);
    const bool rightSideUsable = flags.sideChainInputs && inputs[3] && connected(3);
    io.sideLeft = leftUsable ? inputs[2] : inputs[0];
    io.sideRight = rightSideUsable ? inputs[3] : (leftUsable ? io.sideLeft : io.mainRight);
}

}  // namespace qrx::dsp

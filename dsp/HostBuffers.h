// Which host buffers an engine uses in a block: the right main input, the side-chain pair and the
// right output, chosen from the host's pointers, its pin-connected answers and the effect's
// arrangement flags. Both engines choose alike: a pointer the arrangement does not give is never
// read, so a host may pass arrays of only as many entries as it announced.
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

// Fills the two outputs of `io` (left as they are when `outputs` is null). `connected(pin)` asks
// the host whether output `pin` is connected; it is only asked about pin 1, and only when
// `rightOutput` (the arrangement gives a right output) is set and outputs[1] is not null. The
// right output is outputs[1] then; else outputs[0], which then takes both results, the right
// one last.
template <typename Sample, typename ConnectedQuery>
void selectOutputs(Sample* const* outputs, bool rightOutput, ConnectedQuery&& connected,
                   HostBuffers<Sample>& io) {
    if (!outputs) return;
    io.outLeft = outputs[0];
    const bool rightUsable = rightOutput && outputs[1] && connected(1);
    io.outRight = rightUsable ? outputs[1] : outputs[0];
}

}  // namespace qrx::dsp

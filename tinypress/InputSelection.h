// Which host buffers feed the engine in a block: the right main input, the side-chain pair and
// the two outputs, chosen from the host's pointers, its pin-connected answers and the effect's
// connection flags.
//
// Threads: audio thread (once per block). Pure apart from the pin queries it is handed.
#pragma once

namespace tinypress {

// The host buffers chosen for a block. A null input reads as silence; a null output is not
// written. The outputs may alias each other or the inputs.
struct HostStreams {
    const float* mainLeft = nullptr;
    const float* mainRight = nullptr;
    const float* sideLeft = nullptr;
    const float* sideRight = nullptr;
    float* outLeft = nullptr;
    float* outRight = nullptr;
};

struct InputFlags {
    bool rightInput = true;          // the speaker arrangement gives a right main input
    bool sideChainInputs = true;     // ... and the side-chain pair
    bool externalSideChain = false;  // "S.C.Ext" switch
};

// `connected(pin)` asks the host whether input `pin` (0-based) is connected; it is only asked
// about pins the flags allow. Rules:
// - right main: input 2 when its flag is set, it is connected and its pointer is not null; else
//   input 1;
// - side-chain left: input 3 under the same rule with the side-chain flag; else input 1;
// - side-chain right: input 4 likewise; else the side-chain left when that was usable, otherwise
//   the right main input;
// - with the external side chain off, the side chain is the main pair.
template <typename ConnectedQuery>
HostStreams selectStreams(float** inputs, float** outputs, const InputFlags& flags,
                          ConnectedQuery&& connected) {
    HostStreams io;
    if (outputs) {
        io.outLeft = outputs[0];
        io.outRight = outputs[1];
    }
    if (!inputs) return io;  // every input reads as silence
    io.mainLeft = inputs[0];
    const bool rightUsable = flags.rightInput && inputs[1] && connected(1);
    io.mainRight = rightUsable ? inputs[1] : inputs[0];
    if (!flags.externalSideChain) {
        io.sideLeft = io.mainLeft;
        io.sideRight = io.mainRight;
        return io;
    }
    const bool leftUsable = flags.sideChainInputs && inputs[2] && connected(2);
    const bool rightSideUsable = flags.sideChainInputs && inputs[3] && connected(3);
    io.sideLeft = leftUsable ? inputs[2] : inputs[0];
    io.sideRight = rightSideUsable ? inputs[3] : (leftUsable ? io.sideLeft : io.mainRight);
    return io;
}

}  // namespace tinypress

// The effect base of both plug-ins that owns the sixteen programs and the state chunk. The host
// sees one VST program; the preset bar switches between the sixteen internal ones.
//
// Threads: setParameter may arrive on the host's automation thread and stores into the current
// program (relaxed atomics); selectProgram, names and chunks run on the user-interface thread.
#pragma once

#include <atomic>
#include <memory>

#include "presets/CEditorNotices.h"
#include "presets/ProgramStore.h"
#include "shell/AEffEditor.h"
#include "shell/AudioEffectX.h"

class CPresetSystemEffect : public AudioEffectX {
  public:
    static constexpr VstInt32 kChunkSize = 2592;
    static constexpr std::uint32_t kChunkFormat = 0x01000000;

    // `factory` is the engine's table of 16 programs; it must outlive the effect.
    CPresetSystemEffect(audioMasterCallback audioMaster, const FactoryProgram* factory);
    ~CPresetSystemEffect() override;

    virtual int getCurrentProgramIndex() { return currentProgram.load(std::memory_order_relaxed); }
    // Applies program i (0..15) to the engine: indices 0..33 through setParameter, in order,
    // then asks the host to update its display.
    virtual void selectProgram(int i);
    virtual void renameCurrentProgram(const char* name);
    virtual VstInt32 getPluginUniqueId() { return cEffect.uniqueID; }
    virtual void loadStoredDefaults();
    virtual void fillFactoryPresets();

    void setProgram(VstInt32 program) override {}
    VstInt32 getProgram() override { return 0; }
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    // The storing step the engines call: indices 0..33 go into the current program.
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override { return -1.0f; }
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;

    // Writes the 2592-byte state chunk of `records` (16 programs) with `currentProgram` current:
    // the image getChunk hands out, also for tools that give a bank file to a plug-in.
    static void writeChunkImage(unsigned char* chunk, std::uint32_t pluginId, int currentProgram,
                                const ProgramRecord* records);

    bool isProgramLoading() const { return programLoading.load(std::memory_order_relaxed); }
    // Null when the store could not be allocated.
    ProgramStore* programStore() { return store.get(); }
    const unsigned char* chunkBuffer() const { return chunk.get(); }

  protected:
    // The notices of the editor object; null when the effect has none or its editor object does
    // not take notices. Lock-free and allocation-free (any thread).
    CEditorNotices* editorNotices() const { return dynamic_cast<CEditorNotices*>(editor); }
    // The storing step of the engines' setParameter: records 0..33 in the current program
    // unless a program is being loaded, and spreads Power (index 0) over all sixteen programs.
    void recordParameter(VstInt32 index, float value);

  private:
    const FactoryProgram* factory;
    std::unique_ptr<ProgramStore> store;
    std::unique_ptr<unsigned char[]> chunk;
    std::atomic<int> currentProgram{0};
    std::atomic<bool> programLoading{false};
};

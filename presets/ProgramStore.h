// The sixteen named programs of a plug-in and the byte image of one program.
//
// Threads: names are read and written on the user-interface thread only. Values are relaxed
// atomics: host automation may store a value into the current program while the user-interface
// thread reads the store (chunk, files, program switch).
#pragma once

#include <atomic>
#include <cstdint>

constexpr int kNumPrograms = 16;
constexpr int kNumProgramParams = 34;  // parameter indices 0..33 live in a program
constexpr int kProgramNameSize = 24;   // no terminator inside when the name uses all 24 bytes

// One program as it stands in chunks and files: the name, then the 34 values in index order.
struct ProgramRecord {
    char name[kProgramNameSize];
    float values[kNumProgramParams];
};
static_assert(sizeof(ProgramRecord) == 160, "program record image");

// Whether every value of a record that arrived from outside (state chunk, image, file) is a
// finite number. Loaders refuse a record that is not, before changing anything: a NaN or an
// infinity only comes from a damaged or foreign image, and no engine value can represent it.
bool recordValuesFinite(const ProgramRecord& record);

// Factory values of one engine: 16 programs of 34 values, held in double precision.
// Program k's name is kFactoryProgramNames[k].
struct FactoryProgram {
    double values[kNumProgramParams];
};

// The sixteen factory names, the same in both plug-ins.
extern const char* const kFactoryProgramNames[kNumPrograms];

// Reverses the four bytes of a 32-bit word in place (images from a machine of the other byte
// order).
void byteSwap32(void* word);
std::uint32_t byteSwapped32(std::uint32_t word);

class ProgramStore {
  public:
    ProgramStore();

    // Stores a name: shorter than 24 characters -> zero-filled; otherwise exactly its first 24
    // bytes.
    void setName(int program, const char* text);
    // Copies the 24 name bytes as they stand (file and chunk loaders).
    void setNameBytes(int program, const char* bytes);
    // Writes the 24 name bytes and a terminator: `text` needs 25 bytes.
    void getName(int program, char* text) const;
    const char* nameBytes(int program) const { return names[program]; }

    float value(int program, int index) const {
        return values[program][index].load(std::memory_order_relaxed);
    }
    void setValue(int program, int index, float value) {
        values[program][index].store(value, std::memory_order_relaxed);
    }

    ProgramRecord record(int program) const;
    // Stores a record from a chunk or image; values are clamped into 0..1 as the engines clamp
    // the values they are given, so the store always holds what the engine plays.
    void setRecord(int program, const ProgramRecord& record);

  private:
    char names[kNumPrograms][kProgramNameSize];
    std::atomic<float> values[kNumPrograms][kNumProgramParams];
};

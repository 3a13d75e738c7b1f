// Every dispatcher opcode 0..80 with null pointers and extreme index, value and opt arguments.
//
// What a host may send, per the published interface:
// - index, value and opt are plain numbers for every opcode except effSetSpeakerArrangement (42,
//   value is the input arrangement) and effGetSpeakerArrangement (69, value receives a pointer);
//   those two get 0 or a real record as value, never an arbitrary number.
// - ptr is the host's buffer or record for the getters (5, 6, 7, 8, 13, 23, 29, 33, 34, 45, 47,
//   48, 56, 69), a string for 4, 27 and 51, the chunk for 24, the events for 25 and a window for
//   14. A conforming host never passes null there, but null costs one comparison to refuse, so
//   every opcode is also sent with ptr null and must not crash. effEditOpen only ever gets null
//   (offscreen), since any other value is taken as a window id.
// - effClose (1) is sent once, last, by the host's destructor.
// Afterwards the effect must still answer and produce the audio of a fresh instance.
#include <cfloat>
#include <climits>
#include <cstring>

#include "hostile/HostileRig.h"

namespace hostile {
namespace {

const VstInt32 kIndices[] = {0, 1, -1, 2, 40, 1000, INT_MIN, INT_MAX};
const VstIntPtr kValues[] = {0,          1,         -1, 2, 127, 0x7FFFFFFF, VstIntPtr(1) << 40,
                             INTPTR_MIN, INTPTR_MAX};
const float kOpts[] = {0.0f, 1.0f, -1.0f, 44100.0f, kNaN, kInf, -kInf, 1e30f, kDenormal};

bool valueIsPointer(VstInt32 opcode) {
    return opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement;
}

// Opcodes that change the sample rate, block size or run state are swept too, then put back.
void restoreNormalState(host::Plugin& plugin) {
    plugin.dispatch(effEditClose);
    plugin.suspend();
    plugin.setSampleRate(44100.0f);
    plugin.setBlockSize(512);
    plugin.resume();
}

std::vector<float> referenceRun(host::Plugin& plugin) {
    return run(plugin, 22050, 512, [](int i) { return sine(i, 440.0, 0.3); }).left();
}

class DispatcherTest : public ::testing::TestWithParam<const char*> {};

TEST_P(DispatcherTest, EveryOpcodeWithNullPointerAndExtremeArguments) {
    auto plugin = loadPlugin(GetParam());
    auto fresh = loadPlugin(GetParam());
    ASSERT_TRUE(plugin && fresh);
    plugin->resume();
    long cases = 0;
    for (VstInt32 opcode = 0; opcode <= 80; ++opcode) {
        if (opcode == effClose) continue;
        for (VstInt32 index : kIndices)
            for (VstIntPtr value : kValues)
                for (float opt : kOpts) {
                    const VstIntPtr v = valueIsPointer(opcode) ? 0 : value;
                    plugin->dispatch(opcode, index, v, nullptr, opt);
                    ++cases;
                }
        ASSERT_TRUE(plugin->isOpen()) << "opcode " << opcode;
    }
    RecordProperty("cases", static_cast<int>(cases));

    restoreNormalState(*plugin);
    fresh->resume();
    // A swept effect and a fresh one agree once both run at the same settings: the sweep
    // changed the program and parameters only through opcodes that set them, so put the
    // program back through a chunk of the fresh one.
    std::vector<std::uint8_t> chunk;
    ASSERT_TRUE(fresh->getChunk(chunk));
    plugin->setChunk(chunk);
    const std::vector<float> a = referenceRun(*plugin), b = referenceRun(*fresh);
    ASSERT_EQ(firstNonFinite(a), -1);
    // The sweep's resets leave the signal path cleared, so the two agree once their state
    // settles; compare the last quarter second.
    const double level = rms(b, 11025, 22050);
    EXPECT_GT(level, 0.01);
    EXPECT_NEAR(rms(a, 11025, 22050), level, 0.02 * level);
}

// The getters with a real buffer and extreme indices: the answer stays a short, terminated
// text or a record written inside its own size.
TEST_P(DispatcherTest, GettersWithExtremeIndicesStayInsideTheirBuffers) {
    auto plugin = loadPlugin(GetParam());
    ASSERT_TRUE(plugin);
    const VstInt32 textOpcodes[] = {
        effGetProgramName,        effGetParamLabel, effGetParamDisplay, effGetParamName,
        effGetProgramNameIndexed, effGetEffectName, effGetVendorString, effGetProductString};
    int cases = 0;
    for (VstInt32 opcode : textOpcodes)
        for (VstInt32 index : kIndices)
            for (VstIntPtr value : kValues) {
                char buffer[1024];
                std::memset(buffer, 0x7E, sizeof buffer);
                buffer[0] = 0;
                plugin->dispatch(opcode, index, value, buffer, 0.0f);
                ++cases;
                // The largest published text is 64 bytes including its terminator.
                const void* end = std::memchr(buffer, 0, 64);
                EXPECT_NE(end, nullptr) << "opcode " << opcode << " index " << index;
                EXPECT_EQ(buffer[256], 0x7E) << "opcode " << opcode << " index " << index;
            }
    for (VstInt32 opcode :
         {effGetInputProperties, effGetOutputProperties, effGetParameterProperties})
        for (VstInt32 index : kIndices) {
            unsigned char record[2 * sizeof(VstParameterProperties)];
            std::memset(record, 0x7E, sizeof record);
            plugin->dispatch(opcode, index, 0, record, 0.0f);
            ++cases;
            const std::size_t size = opcode == effGetParameterProperties
                                         ? sizeof(VstParameterProperties)
                                         : sizeof(VstPinProperties);
            for (std::size_t i = size; i < sizeof record; ++i)
                ASSERT_EQ(record[i], 0x7E) << "opcode " << opcode << " wrote past its record";
        }
    // Strings the host hands in: empty, and far longer than any field.
    std::string longText(4000, 'x');
    for (VstInt32 opcode : {effSetProgramName, effString2Parameter, effCanDo})
        for (VstInt32 index : kIndices) {
            char empty[1] = {0};
            plugin->dispatch(opcode, index, 0, empty, 0.0f);
            plugin->dispatch(opcode, index, 0, longText.data(), 0.0f);
            cases += 2;
        }
    const std::string name = plugin->programName();
    EXPECT_LT(name.size(), 25u);
    for (VstInt32 i = 0; i < plugin->numParams(); ++i) {
        const float v = plugin->getParameter(i);
        EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << i;
    }
    RecordProperty("cases", cases);
}

// A chunk the host claims is huge, negative or absent is refused without reading it.
TEST_P(DispatcherTest, SetChunkWithNullOrLyingSizeIsRefused) {
    auto plugin = loadPlugin(GetParam());
    ASSERT_TRUE(plugin);
    std::vector<std::uint8_t> before;
    ASSERT_TRUE(plugin->getChunk(before));
    unsigned char small[16] = {};
    for (VstIntPtr size : {VstIntPtr(0), VstIntPtr(-1), VstIntPtr(16), VstIntPtr(INT_MIN)})
        for (int preset : {0, 1}) {
            EXPECT_LE(plugin->dispatch(effSetChunk, preset, size, small, 0.0f), 0) << size;
            EXPECT_LE(plugin->dispatch(effSetChunk, preset, size, nullptr, 0.0f), 0) << size;
        }
    std::vector<std::uint8_t> after;
    ASSERT_TRUE(plugin->getChunk(after));
    EXPECT_EQ(after, before);
}

// The speaker arrangements: absent records are refused, a record with a hostile channel count
// is refused or accepted without harm.
TEST_P(DispatcherTest, SpeakerArrangementWithNullOrHostileCounts) {
    auto plugin = loadPlugin(GetParam());
    ASSERT_TRUE(plugin);
    VstSpeakerArrangement a{};
    EXPECT_EQ(plugin->dispatch(effSetSpeakerArrangement, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(plugin->dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&a),
                               nullptr, 0.0f),
              0);
    EXPECT_EQ(plugin->dispatch(effSetSpeakerArrangement, 0, 0, &a, 0.0f), 0);
    for (VstInt32 channels : {-1, 0, 3, 1000, INT_MIN, INT_MAX}) {
        VstSpeakerArrangement in{}, out{};
        in.numChannels = out.numChannels = channels;
        EXPECT_EQ(plugin->dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in),
                                   &out, 0.0f),
                  0)
            << channels;
    }
    EXPECT_TRUE(plugin->setSpeakerArrangement(2, 2));
    plugin->resume();
    const std::vector<float> out = referenceRun(*plugin);
    EXPECT_EQ(firstNonFinite(out), -1);
    EXPECT_GT(rms(out, 11025, 22050), 0.01);
}

INSTANTIATE_TEST_SUITE_P(BothPlugins, DispatcherTest, ::testing::Values("grandpress", "tinypress"));

}  // namespace
}  // namespace hostile

// Writes the seed corpora of the fuzz targets from the real engines: their state chunks, preset
// and bank images in both byte orders, store values and adaptor states, plus a few edge cases;
// and the host scripts of the process target (ProcessSeeds.cpp).
// Run once by hand after a format change: fuzz_make_seeds <tests/fuzz/corpus>.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "grandpress/GrandPress.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/ProcessScript.h"
#include "tinypress/TinyPress.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
std::string root;

void put(const std::string& target, const std::string& name, const Bytes& bytes) {
    std::filesystem::create_directories(root + "/" + target);
    fuzz::writeWholeFile(root + "/" + target + "/" + name, bytes.data(), bytes.size());
}

Bytes chunkOf(AudioEffect& e) {
    void* data = nullptr;
    AEffect* a = e.getAeffect();
    const VstIntPtr n = a->dispatcher(a, effGetChunk, 0, 0, &data, 0.0f);
    const auto* b = static_cast<const std::uint8_t*>(data);
    return {b, b + n};
}

// The chunk as a machine of the other byte order writes it: every word but the names reversed.
Bytes otherOrderChunk(Bytes c) {
    for (int offset = 0; offset < 32; offset += 4) byteSwap32(&c[offset]);
    for (int p = 0; p < kNumPrograms; ++p)
        for (int i = 0; i < kNumProgramParams; ++i) byteSwap32(&c[32 + p * 160 + 24 + 4 * i]);
    return c;
}

Bytes otherOrderImage(Bytes b) {
    byteSwap32(&b[0]);
    const int records = b.size() == kPresetImageSize ? 1 : kNumPrograms;
    for (int k = 0; k < records; ++k)
        for (int i = 0; i < kNumProgramParams; ++i) byteSwap32(&b[5 + 160 * k + 24 + 4 * i]);
    return b;
}

Bytes presetOf(AudioEffect& e) {
    Bytes b(kPresetImageSize);
    fuzz::presetEditorOf(e)->makePresetImage(b.data());
    return b;
}

Bytes bankOf(AudioEffect& e) {
    Bytes b(kBankImageSize);
    fuzz::presetEditorOf(e)->makeBankImage(b.data());
    return b;
}

Bytes text(const std::string& s) {
    return {s.begin(), s.end()};
}

Bytes withSelector(std::uint8_t selector, const Bytes& content) {
    Bytes b{selector};
    b.insert(b.end(), content.begin(), content.end());
    return b;
}

Bytes floatBytes(float f) {
    Bytes b(4);
    std::memcpy(b.data(), &f, 4);
    return b;
}

void putBig(Bytes& b, std::uint32_t w) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<std::uint8_t>(w >> s));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds <corpus folder>\n");
        return 2;
    }
    root = argv[1];
    fuzz::privateConfigHome();
    std::unique_ptr<AudioEffect> grand(
        new grandpress::GrandPress(fuzz::quietHost, &GrandPressEditor::create));
    std::unique_ptr<AudioEffect> tiny(
        new tinypress::TinyPress(fuzz::quietHost, &GrandPressEditor::create));
    static_cast<CPresetSystemEffect&>(*tiny).selectProgram(3);

    // effSetChunk: both plug-ins, both orders, another format, a cut chunk.
    const Bytes grandChunk = chunkOf(*grand), tinyChunk = chunkOf(*tiny);
    put("chunk", "grandpress", grandChunk);
    put("chunk", "tinypress", tinyChunk);
    put("chunk", "tinypress-other-order", otherOrderChunk(tinyChunk));
    Bytes otherFormat = grandChunk;
    otherFormat[0] ^= 0x01;
    put("chunk", "grandpress-other-format", otherFormat);
    put("chunk", "tinypress-cut", Bytes(tinyChunk.begin(), tinyChunk.begin() + 200));

    // Images and files: presets and banks of both plug-ins in both orders.
    for (AudioEffect* e : {grand.get(), tiny.get()}) {
        const std::string name = e == grand.get() ? "grandpress" : "tinypress";
        const Bytes preset = presetOf(*e), bank = bankOf(*e);
        for (const char* target : {"image", "file"}) {
            put(target, name + "-preset", preset);
            put(target, name + "-preset-other-order", otherOrderImage(preset));
            put(target, name + "-bank", bank);
            put(target, name + "-bank-other-order", otherOrderImage(bank));
        }
    }
    put("file", "empty", {});

    // The store: selector byte (value file, and which engine reads it), then the file's bytes.
    // Selectors: 0..4 meter settings, 5 DefaultBank, 6 DefaultPreset, 7 MemoA, 8 MemoB,
    // 9..11 path texts, 12..13 values of the unexpected type; +14 has grandpress read them.
    put("store", "vuintegration", withSelector(0, floatBytes(0.7f)));
    put("store", "overcounter-nan", withSelector(4, floatBytes(std::nanf(""))));
    put("store", "vureference-large", withSelector(1, floatBytes(2.0f)));
    put("store", "default-bank-tinypress", withSelector(5, bankOf(*tiny)));
    put("store", "default-bank-grandpress", withSelector(5 + 14, bankOf(*grand)));
    put("store", "default-preset-tinypress", withSelector(6, presetOf(*tiny)));
    put("store", "memo-a-grandpress", withSelector(7 + 14, presetOf(*grand)));
    put("store", "memo-b-other-order", withSelector(8, otherOrderImage(presetOf(*tiny))));
    put("store", "curr-dir", withSelector(9, text("/home/engineer/presets/")));
    put("store", "curr-bank-long", withSelector(10, text(std::string(300, 'b') + ".qrb")));
    put("store", "curr-preset-bad-utf8", withSelector(11, text("Vox \xC3\x28.qrx")));
    put("store", "preset-as-text", withSelector(12, text("not an image")));

    // Typed numbers.
    const char* numbers[] = {"2,5",  "2k5", "-3.25dB", "10k", "0.5k", "007",
                             "-0,5", "16",  "1000",    "-30", "abc",  "9999999999999999999999"};
    int n = 0;
    for (const char* s : numbers) put("typed_number", "number-" + std::to_string(n++), text(s));

    // The adaptor's state: form A (tinypress's chunk + two tags), forms B and old B by hand.
    Bytes formA = tinyChunk;
    putBig(formA, 0x3000);
    putBig(formA, 0x3000);
    put("wrapper_state", "form-a-tinypress", formA);
    for (const std::uint32_t tag : {0x2001u, 0x2000u}) {
        Bytes b;
        const int params = 12, programs = 8;
        putBig(b, params);
        putBig(b, programs);
        for (int p = 0; p < programs; ++p) {
            Bytes name(64, 0);
            std::snprintf(reinterpret_cast<char*>(name.data()), 64, "Seed %d", p);
            b.insert(b.end(), name.begin(), name.end());
            for (int i = 0; i < params; ++i) {
                const float v = (p * params + i) / 100.0f;
                std::uint32_t bits;
                std::memcpy(&bits, &v, 4);
                putBig(b, bits);
            }
        }
        putBig(b, tag);
        putBig(b, 2);
        put("wrapper_state", tag == 0x2001u ? "form-b" : "form-b-old", b);
    }
    // The host scripts of the process target.
    fuzz::script::writeProcessSeeds(root + "/process");
    std::printf("seeds written to %s\n", root.c_str());
    return 0;
}

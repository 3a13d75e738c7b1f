// The two byte images of the preset system: one program ("qrx" preset file, default preset,
// memos) and all sixteen programs ("qrb" bank file, default bank). Their layout is the product's
// file format and never changes:
//
//   PresetImage, 165 bytes            BankImage, 2565 bytes
//   0   4  plug-in unique id          0          4  plug-in unique id
//   4   1  type 0x21 '!'              4          1  type 0x37 '7'
//   5  24  program name               5+160k    24  name of program k (k = 0..15)
//   29 136 34 float values            29+160k  136  34 float values of program k
//
// Words are in the writing machine's byte order and sit at odd offsets (copy, never cast). Names
// are bytes and are never reversed. Pure functions; any thread, though only the user-interface
// thread uses them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "presets/ProgramStore.h"

constexpr std::size_t kPresetImageSize = 165;
constexpr std::size_t kBankImageSize = 2565;
constexpr std::uint8_t kPresetImageType = 0x21;
constexpr std::uint8_t kBankImageType = 0x37;
constexpr std::size_t kImageHeaderSize = 5;
constexpr std::size_t kImageRecordSize = sizeof(ProgramRecord);  // 24 name bytes + 34 words
static_assert(kPresetImageSize == kImageHeaderSize + kImageRecordSize);
static_assert(kBankImageSize == kImageHeaderSize + kNumPrograms * kImageRecordSize);

// What the first word and the type byte of an image say.
enum class ImageCheck {
    Native,       // written on a machine of our byte order
    Reversed,     // identifier byte-reversed: written on a machine of the other order
    WrongPlugin,  // identifier of another plug-in (or an empty buffer)
    WrongType,    // our plug-in, but a bank where a preset is expected or the other way round
};

// `pluginId` is getPluginUniqueId(); `type` the expected type byte.
ImageCheck checkImage(const std::uint8_t* image, std::uint32_t pluginId, std::uint8_t type);

// Writes the header and the records. `records` holds 1 (preset) or 16 (bank) programs.
void writeImage(std::uint8_t* image, std::uint32_t pluginId, std::uint8_t type,
                const ProgramRecord* records, int count);

// Reads record k (0 for a preset) of an image, reversing every value word when `swapValues`.
ProgramRecord readImageRecord(const std::uint8_t* image, int k, bool swapValues);

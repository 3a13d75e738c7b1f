#include "presets/PresetImage.h"

#include <cstring>

ImageCheck checkImage(const std::uint8_t* image, std::uint32_t pluginId, std::uint8_t type) {
    std::uint32_t word;
    std::memcpy(&word, image, 4);
    // Native first: an identifier that reads the same both ways is our own order.
    ImageCheck order;
    if (word == pluginId)
        order = ImageCheck::Native;
    else if (word == byteSwapped32(pluginId))
        order = ImageCheck::Reversed;
    else
        return ImageCheck::WrongPlugin;
    return image[4] == type ? order : ImageCheck::WrongType;
}

void writeImage(std::uint8_t* image, std::uint32_t pluginId, std::uint8_t type,
                const ProgramRecord* records, int count) {
    std::memcpy(image, &pluginId, 4);
    image[4] = type;
    for (int k = 0; k < count; ++k) {
        std::uint8_t* at = image + kImageHeaderSize + k * kImageRecordSize;
        std::memcpy(at, records[k].name, kProgramNameSize);
        std::memcpy(at + kProgramNameSize, records[k].values, 4 * kNumProgramParams);
    }
}

ProgramRecord readImageRecord(const std::uint8_t* image, int k, bool swapValues) {
    ProgramRecord r;
    const std::uint8_t* at = image + kImageHeaderSize + k * kImageRecordSize;
    std::memcpy(r.name, at, kProgramNameSize);
    std::memcpy(r.values, at + kProgramNameSize, 4 * kNumProgramParams);
    if (swapValues)
        for (float& v : r.values) byteSwap32(&v);
    return r;
}

// The block the plug-in and its UI hand each other without a lock: a copy is either whole (every
// word from one write) or refused, while another thread keeps writing; once the writer stops, the
// next copy is its last block and names its generation.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "lv2/SharedImage.h"

namespace {

TEST(SharedImage, ACopyIsWholeOrRefused) {
    constexpr std::size_t kWords = 654;  // as large as the effect's image
    constexpr std::uint32_t kWrites = 20000;
    qrxlv2::SharedImage<kWords> image;
    EXPECT_EQ(image.generation(), 0u);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        std::uint32_t block[kWords];
        for (std::uint32_t n = 1; n <= kWrites; ++n) {
            for (std::size_t i = 0; i < kWords; ++i)
                block[i] = n * 7919u + static_cast<std::uint32_t>(i);
            image.write(block);
        }
        done.store(true);
    });
    std::uint32_t copy[kWords];
    std::size_t torn = 0, whole = 0;
    while (!done.load()) {
        std::uint32_t seen = 0;
        // (Before the first write the block is all zeros, generation 0.)
        if (!image.tryRead(copy, &seen) || seen == 0) continue;
        ++whole;
        const std::uint32_t n = copy[0] / 7919u;
        for (std::size_t i = 0; i < kWords; ++i) torn += copy[i] != n * 7919u + i;
    }
    writer.join();
    EXPECT_EQ(torn, 0u) << "of " << whole << " copies taken during the writes";
    std::uint32_t generation = 0;
    ASSERT_TRUE(image.tryRead(copy, &generation));
    EXPECT_EQ(copy[kWords - 1], kWrites * 7919u + kWords - 1);
    EXPECT_EQ(generation, 2 * kWrites);
    EXPECT_EQ(image.generation(), generation);
}

}  // namespace

// Every skin image of both plug-ins, decoded from the embedded PNGs, against the panel tables:
// size, frame count (the height splits into that many frames, and neighbouring frames differ),
// and no image beyond the tables. CBitmap loads them by id.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "gui/CBitmap.h"
#include "gui/EmbeddedImages.h"

namespace qgui::skins {
const EmbeddedImageTable* qrx_skin_grandpress();
const EmbeddedImageTable* qrx_skin_tinypress();
}  // namespace qgui::skins

namespace guitest {
namespace {

using namespace qgui;

struct Expected {
    int width, height, frames;
    int densities = 3;  // drawn at 1x up to this density
};

// Preset bar images, the same in both plug-ins.
const std::map<int, Expected> kPresetBar = {
    {19899, {47, 30, 3}}, {19990, {37, 30, 3}}, {19991, {12, 42, 3}}, {19992, {12, 42, 3}},
    {19993, {12, 42, 3}}, {19994, {12, 42, 3}}, {19995, {12, 42, 3}}, {19996, {12, 42, 3}},
    {19997, {31, 70, 5}}, {19998, {12, 42, 3}}, {19999, {12, 42, 3}},
};

std::map<int, Expected> grandpressTable() {
    std::map<int, Expected> t = {
        {19000, {450, 460, 1}},  {19001, {450, 445, 1}},  {19002, {88, 6424, 73}},
        {19003, {54, 1998, 37}}, {19004, {54, 1134, 21}}, {19005, {54, 2214, 41}},
        {19006, {54, 2646, 49}}, {19007, {54, 1782, 33}}, {19008, {54, 1782, 33}},
        {19009, {54, 2214, 41}}, {19010, {54, 2214, 41}}, {19011, {54, 2214, 41}},
        {19012, {54, 2646, 49}}, {19013, {20, 32, 2}},    {19014, {20, 32, 2}},
        {19015, {34, 96, 2}},    {19016, {30, 52, 2}},    {19017, {30, 52, 2}},
        {19018, {30, 52, 2}},    {19019, {30, 52, 2}},    {19020, {30, 52, 2}},
        {19021, {30, 52, 2}},    {19022, {32, 92, 2}},    {19023, {32, 92, 2}},
        {19024, {32, 92, 2}},    {19025, {32, 92, 2}},    {19026, {30, 52, 2}},
        {19027, {30, 52, 2}},    {19028, {146, 70, 1}},   {19029, {146, 21, 1}},
        {19030, {14, 42, 3}},    {19031, {146, 70, 1}},   {19032, {146, 21, 1}},
        {19033, {14, 42, 3}},    {19034, {38, 144, 3}},   {19035, {450, 445, 1}},
        {19036, {38, 1887, 51}}, {19038, {29, 50, 2}},
    };
    t.insert(kPresetBar.begin(), kPresetBar.end());
    return t;
}

std::map<int, Expected> tinypressTable() {
    std::map<int, Expected> t = {
        {19000, {450, 378, 1}},
        {19001, {450, 361, 1}},
        {19002, {90, 3330, 37}},
        {19003, {60, 2220, 37}},
        {19004, {60, 1260, 21}},
        {19005, {59, 1260, 21}},
        {19006, {60, 1500, 25}},
        {19009, {32, 92, 2}},
        {19012, {60, 2220, 37}},
        {19013, {23, 75, 3}},
        {19014, {25, 75, 3}},
        {19015, {37, 92, 2}},
        {19016, {36, 94, 2}},
        {19017, {26, 52, 2}},
        {19019, {26, 52, 2}},
        {19023, {26, 52, 2}},
        {19024, {26, 52, 2}},
        {19026, {26, 52, 2}},
        {19027, {26, 52, 2}},
        {19028, {146, 70, 1}},
        {19029, {146, 21, 1}},
        {19030, {14, 42, 3}},
        {19031, {146, 70, 1}},
        {19032, {146, 21, 1}},
        {19033, {14, 42, 3}},
        {19034, {38, 141, 3}},
        {19035, {450, 360, 1}},
        {19036, {38, 1887, 51}},
        {19038, {33, 92, 2}},
        // present with the grandpress sizes, unused by the tinypress panel: at 1x only
        {19007, {54, 1782, 33, 1}},
        {19008, {54, 1782, 33, 1}},
        {19010, {54, 2214, 41, 1}},
        {19011, {54, 2214, 41, 1}},
        {19018, {30, 52, 2, 1}},
        {19020, {30, 52, 2, 1}},
        {19021, {30, 52, 2, 1}},
        {19022, {32, 92, 2, 1}},
        {19025, {32, 92, 2, 1}},
    };
    t.insert(kPresetBar.begin(), kPresetBar.end());
    return t;
}

bool framesDiffer(cairo_surface_t* s, int frameHeight, int a, int b) {
    cairo_surface_flush(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char* d = cairo_image_surface_get_data(s);
    return std::memcmp(d + a * frameHeight * stride, d + b * frameHeight * stride,
                       static_cast<size_t>(frameHeight * stride)) != 0;
}

// Every image at densities 1, 2 and 3 (images the panel never draws at 1x only), each as the
// bitmap decodes it from its tiles: the size of the table times the density, and no two
// neighbouring frames alike.
void checkSkin(const EmbeddedImageTable* table, const std::map<int, Expected>& expected) {
    ASSERT_NE(table, nullptr);
    registerEmbeddedImages(table);
    std::set<std::pair<int, int>> seen;
    for (size_t i = 0; i < table->count; ++i) {
        const EmbeddedImage& image = table->images[i];
        SCOPED_TRACE(std::string(table->name) + " image " + std::to_string(image.id) + " at " +
                     std::to_string(image.density) + "x");
        EXPECT_TRUE(seen.insert({image.id, image.density}).second) << "twice";
        auto it = expected.find(image.id);
        ASSERT_NE(it, expected.end()) << "not in the panel tables";
        const Expected& e = it->second;
        EXPECT_EQ(image.width, e.width);
        EXPECT_EQ(image.height, e.height);
        EXPECT_EQ(image.frames, e.frames);
        auto* bitmap = new CBitmap(image.id);
        cairo_surface_t* s = bitmap->getSurface(image.density);
        ASSERT_NE(s, nullptr);
        const int d = image.density;
        EXPECT_EQ(cairo_image_surface_get_width(s), e.width * d);
        EXPECT_EQ(cairo_image_surface_get_height(s), e.height * d);
        const int fh = e.height / e.frames * d;
        for (int f = 1; f < e.frames; ++f)
            EXPECT_TRUE(framesDiffer(s, fh, f - 1, f)) << "frames " << f - 1 << " and " << f;
        bitmap->forget();
    }
    for (const auto& [id, e] : expected)
        for (int d = 1; d <= 3; ++d)
            EXPECT_EQ(seen.count({id, d}), d <= e.densities ? 1u : 0u) << id << " at " << d << "x";
}

TEST(Skin, GrandpressImagesMatchItsTables) {
    checkSkin(skins::qrx_skin_grandpress(), grandpressTable());
}

TEST(Skin, TinypressImagesMatchItsTables) {
    checkSkin(skins::qrx_skin_tinypress(), tinypressTable());
}

TEST(Skin, BitmapsLoadByIdFromTheRegisteredSkinAndAreShared) {
    registerEmbeddedImages(skins::qrx_skin_tinypress());
    auto* knob = new CBitmap(19002);
    ASSERT_TRUE(knob->isLoaded());
    EXPECT_EQ(knob->getWidth(), 90);
    EXPECT_EQ(knob->getHeight(), 3330);
    EXPECT_EQ(knob->getResourceId(), 19002);
    knob->remember();  // a second owner
    EXPECT_EQ(knob->getNbReference(), 2);
    knob->forget();
    EXPECT_EQ(knob->getNbReference(), 1);
    knob->forget();

    registerEmbeddedImages(skins::qrx_skin_grandpress());
    auto* frame = new CBitmap(19000);
    EXPECT_EQ(frame->getHeight(), 460);
    frame->forget();
    auto* missing = new CBitmap(4242);
    EXPECT_FALSE(missing->isLoaded());
    EXPECT_EQ(missing->getWidth(), 0);
    missing->forget();
}

}  // namespace
}  // namespace guitest

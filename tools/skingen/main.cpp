// skingen: draws a plug-in's skin from its manifest three times, at one, two and three image
// pixels per design pixel (vectors and text drawn anew at each density), and writes into the
// output folder one PNG per resource id and density and a C++ source that embeds them (film
// strips cut into tiles of a few frames) and registers them with the view toolkit when the
// plug-in library is loaded.
//
//   skingen <manifest> <output folder> <skin target name>
#include <cairo.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "Manifest.h"
#include "Paint.h"

namespace fs = std::filesystem;
using namespace skingen;

namespace {

struct Image {
    cairo_surface_t* surface;
    int frames;
    int width, height;  // design pixels
};

class Skin {
  public:
    Skin() = default;
    Skin(const Skin&) = delete;
    Skin& operator=(const Skin&) = delete;
    ~Skin() {
        for (auto& [id, image] : images) cairo_surface_destroy(image.surface);
    }

    void add(const Statement& s, int id, cairo_surface_t* surface, int frames, int w, int h) {
        if (images.count(id)) throw error(s, "id " + std::to_string(id) + " appears twice");
        if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) throw error(s, "cairo failed");
        if (cairo_image_surface_get_width(surface) != w * density() ||
            cairo_image_surface_get_height(surface) != h * density())
            throw error(s, "drawn size differs from the manifest");
        if (frames < 1 || h % frames != 0)
            throw error(s, "height " + std::to_string(h) + " is not a multiple of " +
                               std::to_string(frames) + " frames");
        images[id] = {surface, frames, w, h};
    }

    cairo_t* panelOf(const Statement& s) {
        const int id = s.integer(1);
        auto it = images.find(id);
        if (it == images.end() || !panels.count(id))
            throw error(s, "no panel " + std::to_string(id));
        return openImage(it->second.surface);
    }

    // One manifest statement: the skin's name, the unused ids, an image of its own, or a
    // drawing on a panel.
    void apply(const Statement& s);
    std::string name = "skin";
    int pixelDensity = 1;
    std::map<int, Image> images;
    // Ids the panel never draws: kept at 1x only, where hosts and tools still find them.
    std::set<int> unused;

  private:
    // Draws and adds the image of an image statement; false for any other statement.
    bool addImage(const Statement& s);
    // Draws a panel statement's part onto the panel `cr` draws on.
    void paintOnPanel(cairo_t* cr, const Statement& s);
    static std::runtime_error error(const Statement& s, const std::string& what) {
        return std::runtime_error("manifest line " + std::to_string(s.line) + ": " + what);
    }

    std::map<int, bool> panels;
};

Rgb inkOf(const std::string& w) {
    if (w == "light") return palette::kInkLight;
    if (w == "accent") return palette::kAccent;
    if (w == "amber") return palette::kAmber;
    return palette::kInk;
}

Align alignOf(const std::string& w) {
    if (w == "left") return Align::Left;
    if (w == "right") return Align::Right;
    return Align::Centre;
}

// Word i of `s`, empty when the statement is shorter.
std::string optionalWord(const Statement& s, size_t i) {
    return i < s.words.size() ? s.words[i] : std::string();
}

void Skin::apply(const Statement& s) {
    const std::string& kind = s.words[0];
    if (kind == "skin") {
        name = s.word(1);
    } else if (kind == "unused") {
        for (size_t i = 1; i < s.words.size(); ++i) unused.insert(s.integer(i));
    } else if (!addImage(s)) {
        const std::unique_ptr<cairo_t, void (*)(cairo_t*)> context(panelOf(s), cairo_destroy);
        paintOnPanel(context.get(), s);
    }
}

bool Skin::addImage(const Statement& s) {
    const std::string& kind = s.words[0];
    if (kind == "knob") {
        const int w = s.integer(2), h = s.integer(3), frames = s.integer(4);
        add(s, s.integer(1), knobStrip(w, h, frames, s.word(5), optionalWord(s, 6) == "dark"),
            frames, w, h);
    } else if (kind == "button") {
        // button <id> <w> <h> "<legend>" [body <l> <t> <r> <b>]
        const int w = s.integer(2), h = s.integer(3);
        Body body;
        if (optionalWord(s, 5) == "body")
            body = {s.number(6), s.number(7), s.number(8), s.number(9)};
        add(s, s.integer(1), twoStateButton(w, h, s.word(4), body), 2, w, h);
    } else if (kind == "selector") {
        const int w = s.integer(2), h = s.integer(3), frames = s.integer(4);
        std::vector<std::string> labels(s.words.begin() + 5, s.words.end());
        add(s, s.integer(1), selector(w, h, frames, labels), frames, w, h);
    } else if (kind == "legendswitch") {
        const int w = s.integer(2), h = s.integer(3), frames = s.integer(4);
        std::vector<std::string> legends(s.words.begin() + 5, s.words.end());
        add(s, s.integer(1), legendSwitch(w, h, frames, legends), frames, w, h);
    } else if (kind == "meterface") {
        const int w = s.integer(2), h = s.integer(3);
        add(s, s.integer(1), meterFace(w, h, s.number(4), s.number(5)), 1, w, h);
    } else if (kind == "meterstrip") {
        const int w = s.integer(2), h = s.integer(3);
        add(s, s.integer(1), meterStrip(w, h, s.word(4)), 1, w, h);
    } else if (kind == "lamp") {
        const int w = s.integer(2), h = s.integer(3);
        add(s, s.integer(1), overLamp(w, h), 3, w, h);
    } else if (kind == "barbutton") {
        const int w = s.integer(2), h = s.integer(3);
        add(s, s.integer(1), barButton(w, h, s.word(4)), 3, w, h);
    } else if (kind == "barrocker") {
        const int w = s.integer(2), h = s.integer(3);
        add(s, s.integer(1), barRocker(w, h), 5, w, h);
    } else if (kind == "panel") {
        const int w = s.integer(2), h = s.integer(3);
        add(s, s.integer(1), panel(w, h, s.word(4) == "dark"), 1, w, h);
        panels[s.integer(1)] = true;
    } else {
        return false;
    }
    return true;
}

void Skin::paintOnPanel(cairo_t* cr, const Statement& s) {
    const std::string& kind = s.words[0];
    if (kind == "header") {
        headerBand(cr, designWidth(cr), s.number(2), s.word(3), s.word(4));
    } else if (kind == "window") {
        readoutWindow(cr, s.number(2), s.number(3), s.number(4), s.number(5),
                      optionalWord(s, 6) == "dark");
    } else if (kind == "group") {
        group(cr, s.number(2), s.number(3), s.number(4), s.number(5), s.word(6),
              optionalWord(s, 7) == "dark");
    } else if (kind == "bezel") {
        bezel(cr, s.number(2), s.number(3), s.number(4), s.number(5));
    } else if (kind == "plate") {
        plate(cr, s.number(2), s.number(3), s.number(4), s.number(5));
    } else if (kind == "text") {
        TextStyle ts;
        ts.size = s.number(6);
        ts.align = alignOf(s.word(7));
        ts.colour = inkOf(s.word(8));
        ts.narrow = optionalWord(s, 10) == "narrow";
        const double l = s.number(2), t = s.number(3);
        drawText(cr, s.word(9), l, t, s.number(4) - l, s.number(5) - t, ts);
    } else if (kind == "fits") {
        // fits <panel> l t r b <size> "text": the widest text the editor writes into a window
        // of this panel at run time, in its regular face at <size> px.
        checkRuntimeText(cr, s.word(7), s.number(6), s.number(2), s.number(3), s.number(4),
                         s.number(5));
    } else if (kind == "strip") {
        presetStrip(cr, designWidth(cr), s.number(2), s.number(3));
    } else if (kind == "namefield") {
        nameField(cr, s.number(2), s.number(3), s.number(4), s.number(5));
    } else if (kind == "menuglyph") {
        menuGlyph(cr, s.number(2), s.number(3), s.number(4), s.number(5));
    } else if (kind == "screw") {
        screw(cr, s.number(2), s.number(3));
    } else {
        throw error(s, "unknown statement " + kind);
    }
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

std::string encodePng(cairo_surface_t* surface) {
    std::string png;
    if (cairo_surface_write_to_png_stream(surface, appendBytes, &png) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("cannot encode an image");
    return png;
}

// A tile holds at most this many bytes of decoded frames at density d (one frame when a frame is
// larger): the editor decodes the tiles of the frames it shows, not whole film strips. Small at
// 2x, the density of most high-density screens, so an open editor there holds little more than
// what it shows; larger at 3x and 1x, where more frames side by side compress better.
constexpr int kTileBytes[] = {1024 * 1024, 384 * 1024, 4096 * 1024};

// The frames first .. first + count - 1 of a film strip of `density`, side by side: rows of
// neighbouring frames lie close together, where the PNG compressor finds what they share.
cairo_surface_t* tileOf(const Image& image, int density, int first, int count) {
    const int w = image.width * density, fh = image.height / image.frames * density;
    cairo_surface_t* tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w * count, fh);
    cairo_t* cr = cairo_create(tile);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    for (int i = 0; i < count; ++i) {
        cairo_set_source_surface(cr, image.surface, i * w, -(first + i) * fh);
        cairo_rectangle(cr, i * w, 0, w, fh);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    return tile;
}

// The bytes as a string literal of octal escapes (compiles far faster than a list of numbers).
void writeLiteral(std::ostream& out, const std::string& bytes) {
    static const char* const digits = "01234567";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 40 == 0) out << (i ? "\"\n    \"" : "\n    \"");
        const auto c = static_cast<unsigned char>(bytes[i]);
        out << '\\' << digits[c >> 6] << digits[(c >> 3) & 7] << digits[c & 7];
    }
    if (bytes.empty()) out << "\"";
    out << "\"";
}

// Writes every image of every density set: the 1x images as <id>.png and the others as
// <id>@<d>x.png for people to look at, and the C++ source that embeds their tiles.
void writeSkin(const std::vector<Skin>& sets, const fs::path& folder, const std::string& target,
               const std::string& manifest) {
    fs::create_directories(folder);
    std::ostringstream src, table;
    src << "// Generated by skingen from " << manifest << "; do not edit.\n"
        << "#include \"gui/EmbeddedImages.h\"\n\nnamespace {\n";
    size_t count = 0;
    for (const Skin& set : sets) {
        const int d = set.pixelDensity;
        for (const auto& [id, image] : set.images) {
            if (d > 1 && set.unused.count(id)) continue;
            const std::string name =
                std::to_string(id) + (d == 1 ? "" : "@" + std::to_string(d) + "x");
            const std::string whole = encodePng(image.surface);
            std::ofstream(folder / (name + ".png"), std::ios::binary)
                .write(whole.data(), static_cast<std::streamsize>(whole.size()));
            const int frameBytes = image.width * d * (image.height / image.frames) * d * 4;
            const int perTile = std::clamp(kTileBytes[d - 1] / frameBytes, 1, image.frames);
            const std::string array = "image" + std::to_string(id) + "x" + std::to_string(d);
            std::ostringstream tiles;
            int tileCount = 0;
            for (int first = 0; first < image.frames; first += perTile, ++tileCount) {
                cairo_surface_t* tile =
                    tileOf(image, d, first, std::min(perTile, image.frames - first));
                const std::string png = encodePng(tile);
                cairo_surface_destroy(tile);
                const std::string bytes = array + "t" + std::to_string(tileCount);
                src << "const char " << bytes << "[] =";
                writeLiteral(src, png);
                src << ";\n";
                tiles << "    {reinterpret_cast<const unsigned char*>(" << bytes << "), sizeof "
                      << bytes << " - 1},\n";
            }
            src << "const qgui::EmbeddedTile " << array << "[] = {\n" << tiles.str() << "};\n";
            table << "    {" << id << ", " << d << ", " << image.width << ", " << image.height
                  << ", " << image.frames << ", " << perTile << ", " << array << ", " << tileCount
                  << "},\n";
            ++count;
        }
    }
    src << "\nconst qgui::EmbeddedImage kImages[] = {\n"
        << table.str() << "};\n\n"
        << "const qgui::EmbeddedImageTable kTable{\"" << sets.front().name << "\", kImages, "
        << count << "};\n\n"
        << "// Registers the images when the library is loaded.\n"
        << "const bool kRegistered = (qgui::registerEmbeddedImages(&kTable), true);\n\n"
        << "}  // namespace\n\n"
        << "namespace qgui::skins {\n"
        << "const EmbeddedImageTable* " << target << "() { return &kTable; }\n"
        << "}  // namespace qgui::skins\n";
    const fs::path out = folder / (target + ".cpp");
    const fs::path tmp = folder / (target + ".cpp.tmp");
    std::ofstream(tmp) << src.str();
    fs::rename(tmp, out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: skingen <manifest> <output folder> <skin target name>\n";
        return 2;
    }
    try {
        const std::vector<Statement> statements = readManifest(argv[1]);
        // The images at one, two and three image pixels per design pixel, each drawn anew.
        std::vector<Skin> sets(3);
        for (int d = 1; d <= 3; ++d) {
            setDensity(d);
            Skin& skin = sets[static_cast<size_t>(d - 1)];
            skin.pixelDensity = d;
            for (const Statement& s : statements) {
                try {
                    skin.apply(s);
                } catch (const LegendError& e) {
                    throw std::runtime_error("manifest line " + std::to_string(s.line) + ": " +
                                             e.what());
                }
            }
        }
        writeSkin(sets, argv[2], argv[3], fs::path(argv[1]).filename().string());
    } catch (const std::exception& e) {
        std::cerr << "skingen: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

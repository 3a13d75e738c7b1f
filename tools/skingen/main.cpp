// skingen: draws a plug-in's skin from its manifest and writes, into the output folder, one PNG
// per resource id and a C++ source that embeds them (a byte array per id) and registers them
// with the view toolkit when the plug-in library is loaded.
//
//   skingen <manifest> <output folder> <skin target name>
#include <cairo.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "Manifest.h"
#include "Paint.h"

namespace fs = std::filesystem;
using namespace skingen;

namespace {

struct Image {
    cairo_surface_t* surface;
    int frames;
};

class Skin {
  public:
    ~Skin() {
        for (auto& [id, image] : images) cairo_surface_destroy(image.surface);
    }

    void add(const Statement& s, int id, cairo_surface_t* surface, int frames, int w, int h) {
        if (images.count(id)) throw error(s, "id " + std::to_string(id) + " appears twice");
        if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) throw error(s, "cairo failed");
        if (cairo_image_surface_get_width(surface) != w ||
            cairo_image_surface_get_height(surface) != h)
            throw error(s, "drawn size differs from the manifest");
        if (frames < 1 || h % frames != 0)
            throw error(s, "height " + std::to_string(h) + " is not a multiple of " +
                               std::to_string(frames) + " frames");
        images[id] = {surface, frames};
    }

    cairo_t* panelOf(const Statement& s) {
        const int id = s.integer(1);
        auto it = images.find(id);
        if (it == images.end() || !panels.count(id))
            throw error(s, "no panel " + std::to_string(id));
        return cairo_create(it->second.surface);
    }

    void apply(const Statement& s);
    void write(const fs::path& folder, const std::string& target, const std::string& manifest);

    std::string name = "skin";

  private:
    static std::runtime_error error(const Statement& s, const std::string& what) {
        return std::runtime_error("manifest line " + std::to_string(s.line) + ": " + what);
    }

    std::map<int, Image> images;
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

void Skin::apply(const Statement& s) {
    const std::string& kind = s.words[0];
    auto optional = [&](size_t i) { return i < s.words.size() ? s.words[i] : std::string(); };
    if (kind == "skin") {
        name = s.word(1);
    } else if (kind == "knob") {
        const int w = s.integer(2), h = s.integer(3), frames = s.integer(4);
        add(s, s.integer(1), knobStrip(w, h, frames, s.word(5), optional(6) == "dark"), frames, w,
            h);
    } else if (kind == "button") {
        const int w = s.integer(2), h = s.integer(3);
        add(s, s.integer(1), twoStateButton(w, h, s.word(4)), 2, w, h);
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
        const std::unique_ptr<cairo_t, void (*)(cairo_t*)> context(panelOf(s), cairo_destroy);
        cairo_t* cr = context.get();
        if (kind == "header") {
            headerBand(cr, cairo_image_surface_get_width(cairo_get_target(cr)), s.number(2),
                       s.word(3), s.word(4));
        } else if (kind == "window") {
            readoutWindow(cr, s.number(2), s.number(3), s.number(4), s.number(5),
                          optional(6) == "dark");
        } else if (kind == "group") {
            group(cr, s.number(2), s.number(3), s.number(4), s.number(5), s.word(6),
                  optional(7) == "dark");
        } else if (kind == "bezel") {
            bezel(cr, s.number(2), s.number(3), s.number(4), s.number(5));
        } else if (kind == "plate") {
            plate(cr, s.number(2), s.number(3), s.number(4), s.number(5));
        } else if (kind == "text") {
            TextStyle ts;
            ts.size = s.number(6);
            ts.align = alignOf(s.word(7));
            ts.colour = inkOf(s.word(8));
            ts.narrow = optional(10) == "narrow";
            const double l = s.number(2), t = s.number(3);
            drawText(cr, s.word(9), l, t, s.number(4) - l, s.number(5) - t, ts);
        } else if (kind == "fits") {
            // fits <panel> l t r b <size> "text": the widest text the editor writes into a
            // window of this panel at run time, in its regular face at <size> px.
            checkRuntimeText(cr, s.word(7), s.number(6), s.number(2), s.number(3), s.number(4),
                             s.number(5));
        } else if (kind == "strip") {
            presetStrip(cr, cairo_image_surface_get_width(cairo_get_target(cr)), s.number(2),
                        s.number(3));
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
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

void Skin::write(const fs::path& folder, const std::string& target, const std::string& manifest) {
    fs::create_directories(folder);
    std::ostringstream src;
    src << "// Generated by skingen from " << manifest << "; do not edit.\n"
        << "#include \"gui/EmbeddedImages.h\"\n\n";
    std::ostringstream table;
    for (auto& [id, image] : images) {
        std::string png;
        if (cairo_surface_write_to_png_stream(image.surface, appendBytes, &png) !=
            CAIRO_STATUS_SUCCESS)
            throw std::runtime_error("cannot encode image " + std::to_string(id));
        const fs::path file = folder / (std::to_string(id) + ".png");
        std::ofstream(file, std::ios::binary)
            .write(png.data(), static_cast<std::streamsize>(png.size()));
        // The bytes go in as they are; one array per id.
        src << "static const unsigned char image" << id << "[] = {";
        for (size_t i = 0; i < png.size(); ++i) {
            if (i % 24 == 0) src << "\n";
            src << static_cast<unsigned>(static_cast<unsigned char>(png[i])) << ",";
        }
        src << "\n};\n";
        table << "    {" << id << ", image" << id << ", sizeof image" << id << "},\n";
    }
    src << "\nnamespace {\n\nconst qgui::EmbeddedImage kImages[] = {\n"
        << table.str() << "};\n\n"
        << "const qgui::EmbeddedImageTable kTable{\"" << name << "\", kImages, "
        << "sizeof kImages / sizeof kImages[0]};\n\n"
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
        Skin skin;
        for (const Statement& s : readManifest(argv[1])) {
            try {
                skin.apply(s);
            } catch (const LegendError& e) {
                throw std::runtime_error("manifest line " + std::to_string(s.line) + ": " +
                                         e.what());
            }
        }
        skin.write(argv[2], argv[3], fs::path(argv[1]).filename().string());
    } catch (const std::exception& e) {
        std::cerr << "skingen: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

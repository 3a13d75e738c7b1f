// qrx-lv2-ttl: writes the Turtle files of one LV2 bundle from the engine's own tables (the build
// runs it; nothing in these files is written by hand):
//   manifest.ttl   the plug-in, its UI and its presets
//   <name>.ttl     ports with names, units, ranges, defaults, steps; features; the UI
//   presets.ttl    the sixteen factory programs as presets (port values and the program image)
// usage: qrx-lv2-ttl grandpress|tinypress BUNDLE-FOLDER
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "lv2/DspInstance.h"
#include "lv2/Engines.h"
#include "presets/PresetImage.h"

namespace {

using qrxlv2::Engine;
using qrxlv2::PortTable;

const char* const kPrefixes =
    "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf:  <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix opts:  <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix pg:    <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix ui:    <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix xsd:   <http://www.w3.org/2001/XMLSchema#> .\n\n";

std::string pluginUri(const Engine& e) {
    return std::string(qrxlv2::kProjectUri) + e.name;
}

// A float as a Turtle decimal that reads back as the same float: the fewest fixed-point decimals
// that do (no exponent: hosts read decimals as floats everywhere, doubles not always).
std::string number(double x) {
    const auto value = static_cast<float>(x);
    char text[80];
    for (int decimals = 1; decimals < 60; ++decimals) {
        std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) break;
    }
    return text;
}

std::string quoted(const char* text) {
    std::string s = "\"";
    for (const char* c = text; *c; ++c) {
        if (*c == '"' || *c == '\\') s += '\\';
        s += *c;
    }
    return s + "\"";
}

std::string trimmed(const char* text) {
    std::string s = text ? text : "";
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// "Damp it!" -> "damp-it"
std::string slug(const char* name) {
    std::string s;
    for (const char* c = name; *c; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c)))
            s += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        else if (!s.empty() && s.back() != '-')
            s += '-';
    }
    while (!s.empty() && s.back() == '-') s.pop_back();
    return s;
}

std::string base64(const std::uint8_t* data, std::size_t size) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string s;
    for (std::size_t i = 0; i < size; i += 3) {
        const std::uint32_t b = (data[i] << 16) | (i + 1 < size ? data[i + 1] << 8 : 0) |
                                (i + 2 < size ? data[i + 2] : 0);
        s += kDigits[(b >> 18) & 63];
        s += kDigits[(b >> 12) & 63];
        s += i + 1 < size ? kDigits[(b >> 6) & 63] : '=';
        s += i + 2 < size ? kDigits[b & 63] : '=';
    }
    return s;
}

const char* unitTerm(units::Unit unit) {
    switch (unit) {
        case units::Unit::Decibel:
            return "units:db";
        case units::Unit::Millisecond:
            return "units:ms";
        case units::Unit::Second:
            return "units:s";
        case units::Unit::Hertz:
            return "units:hz";
        case units::Unit::Kilohertz:
            return "units:khz";
        case units::Unit::Percent:
        case units::Unit::Balance:  // -50 (left) .. 50 (right)
            return "units:pc";
        case units::Unit::Ratio:
            return "<#ratio>";
        case units::Unit::None:
            break;
    }
    return nullptr;
}

const char* stateKeyComment(const char* key) {
    if (std::strcmp(key, qrxlv2::DspInstance::kChunkKey) == 0)
        return "The sixteen programs and the current one, as the VST plug-in's chunk.";
    if (std::strcmp(key, qrxlv2::DspInstance::kProgramKey) == 0)
        return "One program, as a preset file holds it; loaded into the current program.";
    return "The five meter settings of the editor's back page (normalised).";
}

void audioPort(std::ostream& o, int index, const char* direction, const char* symbol,
               const char* name, const char* group, const char* side, bool sideChain) {
    o << "    lv2:port [\n        a lv2:" << direction << "Port , lv2:AudioPort ;\n"
      << "        lv2:index " << index << " ;\n        lv2:symbol \"" << symbol << "\" ;\n"
      << "        lv2:name \"" << name << "\" ;\n        pg:group <#" << group << "> ;\n"
      << "        lv2:designation pg:" << side << " ;\n";
    if (sideChain) o << "        lv2:portProperty lv2:isSideChain , lv2:connectionOptional ;\n";
    o << "    ] ;\n";
}

void outputControl(std::ostream& o, int index, const char* symbol, const char* name,
                   const char* extra) {
    o << "    lv2:port [\n        a lv2:OutputPort , lv2:ControlPort ;\n"
      << "        lv2:index " << index << " ;\n        lv2:symbol \"" << symbol << "\" ;\n"
      << "        lv2:name \"" << name << "\" ;\n"
      << extra << "    ] ;\n";
}

void scalePoints(std::ostream& o, const units::Param& p) {
    o << "        lv2:scalePoint";
    for (int k = 0; k < p.steps; ++k) {
        const float v = units::stepValue(p, k);
        const double x = units::physicalOf(p, v);
        char label[32];
        units::formatPhysical(p, x, label, sizeof label);
        o << (k ? " ,\n            " : " ") << "[ rdfs:label " << quoted(label) << " ; rdf:value "
          << number(x) << " ]";
    }
    o << " ;\n";
}

void controlPort(std::ostream& o, const PortTable& table, int k) {
    const int i = table.parameterAt(k);
    const units::Param& p = table.param(i);
    const units::Range r = units::rangeOf(p);
    o << "    lv2:port [\n        a lv2:InputPort , lv2:ControlPort ;\n"
      << "        lv2:index " << qrxlv2::kFirstControlPort + k << " ;\n"
      << "        lv2:symbol \"" << table.symbol(i) << "\" ;\n"
      << "        lv2:name " << quoted(trimmed(p.name).c_str()) << " ;\n"
      << "        lv2:default " << number(table.portValue(i, p.defaultValue)) << " ;\n"
      << "        lv2:minimum " << number(r.min) << " ;\n"
      << "        lv2:maximum " << number(r.max) << " ;\n";
    if (i == 0) o << "        lv2:designation lv2:enabled ;\n";
    const bool named = p.kind != units::Kind::Continuous && !p.value;
    std::string properties;
    if (p.kind == units::Kind::Switch) properties = "lv2:toggled , lv2:integer";
    if (p.kind == units::Kind::Stepped)
        properties = named ? "lv2:enumeration , lv2:integer" : "lv2:enumeration";
    if (p.kind == units::Kind::Continuous && p.curve == units::Curve::Exponential)
        properties = "pprops:logarithmic";
    if (!properties.empty()) o << "        lv2:portProperty " << properties << " ;\n";
    if (const char* unit = unitTerm(p.unit)) o << "        units:unit " << unit << " ;\n";
    if (p.kind != units::Kind::Continuous) scalePoints(o, p);
    o << "    ] ;\n";
}

std::string pluginTtl(const Engine& e, const PortTable& table) {
    std::ostringstream o;
    const std::string uri = pluginUri(e);
    o << kPrefixes << "@base <" << uri << "> .\n\n";
    for (const char* key : {qrxlv2::DspInstance::kChunkKey, qrxlv2::DspInstance::kProgramKey,
                            qrxlv2::DspInstance::kMeterSettingsKey})
        o << "<" << qrxlv2::kProjectUri << key << ">\n    a rdf:Property ;\n    rdfs:label \""
          << (std::strchr(key, '#') + 1) << "\" ;\n    rdfs:comment \"" << stateKeyComment(key)
          << "\" .\n\n";
    o << "<#ratio>\n    a units:Unit ;\n    rdfs:label \"ratio\" ;\n    units:symbol \":1\" ;\n"
      << "    units:render \"%.2f:1\" .\n\n";
    o << "<#in>\n    a pg:StereoGroup , pg:InputGroup ;\n    lv2:symbol \"in\" ;\n"
      << "    rdfs:label \"Input\" .\n\n";
    o << "<#out>\n    a pg:StereoGroup , pg:OutputGroup ;\n    lv2:symbol \"out\" ;\n"
      << "    rdfs:label \"Output\" ;\n    pg:source <#in> .\n\n";
    o << "<#sidechain>\n    a pg:StereoGroup , pg:InputGroup ;\n    lv2:symbol \"sidechain\" ;\n"
      << "    rdfs:label \"Side chain\" ;\n    pg:sideChainOf <#in> .\n\n";
    o << "<#ui>\n    a ui:X11UI ;\n"
      << "    lv2:requiredFeature ui:idleInterface , ui:parent ;\n"
      << "    lv2:optionalFeature ui:resize , ui:touch , urid:map , opts:options ,\n"
      << "        <http://lv2plug.in/ns/ext/instance-access> ;\n"
      << "    opts:supportedOption ui:scaleFactor ;\n"
      << "    lv2:extensionData ui:idleInterface .\n\n";
    o << "<" << uri << ">\n    a lv2:Plugin , lv2:CompressorPlugin , doap:Project ;\n"
      << "    doap:name " << quoted(e.label) << " ;\n"
      << "    doap:maintainer [\n        foaf:name \"QRX-soundwerk\" ;\n"
      << "        foaf:homepage <http://www.qrx-soundwerk.com/>\n    ] ;\n"
      << "    lv2:minorVersion 2 ;\n    lv2:microVersion 0 ;\n"
      << "    lv2:optionalFeature lv2:hardRTCapable , urid:map , opts:options ;\n"
      << "    lv2:extensionData state:interface ;\n    ui:ui <#ui> ;\n"
      << "    pg:mainInput <#in> ;\n    pg:mainOutput <#out> ;\n";
    audioPort(o, qrxlv2::kInLeft, "Input", "in_l", "In L", "in", "left", false);
    audioPort(o, qrxlv2::kInRight, "Input", "in_r", "In R", "in", "right", false);
    audioPort(o, qrxlv2::kSideLeft, "Input", "sc_l", "Side chain L", "sidechain", "left", true);
    audioPort(o, qrxlv2::kSideRight, "Input", "sc_r", "Side chain R", "sidechain", "right", true);
    audioPort(o, qrxlv2::kOutLeft, "Output", "out_l", "Out L", "out", "left", false);
    audioPort(o, qrxlv2::kOutRight, "Output", "out_r", "Out R", "out", "right", false);
    outputControl(o, qrxlv2::kLatencyPort, "latency", "Latency",
                  "        lv2:designation lv2:latency ;\n"
                  "        lv2:portProperty lv2:reportsLatency , lv2:integer ;\n"
                  "        units:unit units:frame ;\n"
                  "        lv2:minimum 0 ;\n        lv2:maximum 2048 ;\n");
    const std::string gainRange = "        units:unit units:db ;\n        lv2:minimum " +
                                  number(qrxlv2::kGainPortMinDb) + " ;\n        lv2:maximum " +
                                  number(qrxlv2::kGainPortMaxDb) + " ;\n";
    outputControl(o, qrxlv2::kGainLeft, "gr_l", "Gain reduction L", gainRange.c_str());
    outputControl(o, qrxlv2::kGainRight, "gr_r", "Gain reduction R", gainRange.c_str());
    for (int k = 0; k < table.controlCount(); ++k) controlPort(o, table, k);
    std::string text = o.str();
    text.replace(text.size() - 3, 3, " .\n");  // the last port's ";" ends the description
    return text;
}

std::string manifestTtl(const Engine& e) {
    std::ostringstream o;
    const std::string uri = pluginUri(e);
    o << kPrefixes;
    o << "<" << uri << ">\n    a lv2:Plugin ;\n    lv2:binary <qrx-" << e.name << ".so> ;\n"
      << "    rdfs:seeAlso <" << e.name << ".ttl> .\n\n";
    o << "<" << uri << "#ui>\n    a ui:X11UI ;\n    ui:binary <qrx-" << e.name << "-ui.so> ;\n"
      << "    rdfs:seeAlso <" << e.name << ".ttl> .\n";
    for (int p = 0; p < kNumPrograms; ++p)
        o << "\n<" << uri << "/preset/" << slug(kFactoryProgramNames[p]) << ">\n"
          << "    a pset:Preset ;\n    lv2:appliesTo <" << uri << "> ;\n"
          << "    rdfs:label " << quoted(kFactoryProgramNames[p]) << " ;\n"
          << "    rdfs:seeAlso <presets.ttl> .\n";
    return o.str();
}

std::string presetsTtl(const Engine& e, const PortTable& table) {
    std::ostringstream o;
    const std::string uri = pluginUri(e);
    o << kPrefixes;
    for (int p = 0; p < kNumPrograms; ++p) {
        ProgramRecord record = {};
        const char* name = kFactoryProgramNames[p];
        std::memcpy(record.name, name, strnlen(name, kProgramNameSize));
        for (int i = 0; i < kNumProgramParams; ++i)
            record.values[i] = static_cast<float>(e.programs[p].values[i]);
        std::uint8_t image[kPresetImageSize];
        writeImage(image, e.uniqueId, kPresetImageType, &record, 1);

        o << "<" << uri << "/preset/" << slug(kFactoryProgramNames[p]) << ">\n"
          << "    a pset:Preset ;\n    lv2:appliesTo <" << uri << "> ;\n"
          << "    rdfs:label " << quoted(kFactoryProgramNames[p]) << " ;\n    lv2:port";
        for (int k = 0; k < table.controlCount(); ++k) {
            const int i = table.parameterAt(k);
            o << (k ? " ,\n        " : " ") << "[ lv2:symbol \"" << table.symbol(i)
              << "\" ; pset:value " << number(table.portValue(i, record.values[i])) << " ]";
        }
        o << " ;\n    state:state [\n        <" << qrxlv2::kProjectUri
          << qrxlv2::DspInstance::kProgramKey << "> \"" << base64(image, sizeof image)
          << "\"^^xsd:base64Binary\n    ] .\n\n";
    }
    return o.str();
}

// Every symbol is a valid, unique LV2 symbol beside the fixed ports'.
bool symbolsValid(const PortTable& table) {
    std::set<std::string> seen = {"in_l",  "in_r",    "sc_l", "sc_r", "out_l",
                                  "out_r", "latency", "gr_l", "gr_r"};
    for (int k = 0; k < table.controlCount(); ++k) {
        const std::string s = table.symbol(table.parameterAt(k));
        if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0])) || !seen.insert(s).second) {
            std::fprintf(stderr, "qrx-lv2-ttl: symbol \"%s\" is not usable\n", s.c_str());
            return false;
        }
    }
    return true;
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
    f.close();
    if (!f) std::fprintf(stderr, "qrx-lv2-ttl: cannot write %s\n", path.c_str());
    return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qrx-lv2-ttl grandpress|tinypress BUNDLE-FOLDER\n");
        return 2;
    }
    const std::string name = argv[1];
    const Engine* engine = name == "grandpress"  ? &qrxlv2::grandpressEngine()
                           : name == "tinypress" ? &qrxlv2::tinypressEngine()
                                                 : nullptr;
    if (!engine) {
        std::fprintf(stderr, "qrx-lv2-ttl: unknown plug-in '%s'\n", argv[1]);
        return 2;
    }
    const PortTable table(*engine);
    if (!symbolsValid(table)) return 1;
    const std::string folder = std::string(argv[2]) + "/";
    const bool written = writeFile(folder + "manifest.ttl", manifestTtl(*engine)) &&
                         writeFile(folder + name + ".ttl", pluginTtl(*engine, table)) &&
                         writeFile(folder + "presets.ttl", presetsTtl(*engine, table));
    return written ? 0 : 1;
}

#include <new>

#include "lv2/Engines.h"
#include "tinypress/FactoryPrograms.h"
#include "tinypress/TinyPress.h"

namespace qrxlv2 {
namespace {

CompressorEffect* createTinyPress(audioMasterCallback host, EditorFactory editor) {
    return new (std::nothrow) tinypress::TinyPress(host, editor);
}

}  // namespace

const Engine& tinypressEngine() {
    static const Engine kEngine = {"tinypress",
                                   "QRX TinyPress",
                                   static_cast<std::uint32_t>(tinypress::TinyPress::kUniqueId),
                                   tinypress::TinyPress::kPanelHeight,
                                   tinypress::unitParam,
                                   tinypress::formatParamDisplay,
                                   tinypress::kFactoryPrograms,
                                   createTinyPress};
    return kEngine;
}

}  // namespace qrxlv2

#include <new>

#include "grandpress/FactoryPrograms.h"
#include "grandpress/GrandPress.h"
#include "lv2/Engines.h"

namespace qrxlv2 {
namespace {

CompressorEffect* createGrandPress(audioMasterCallback host, EditorFactory editor) {
    return new (std::nothrow) grandpress::GrandPress(host, editor);
}

}  // namespace

const Engine& grandpressEngine() {
    static const Engine kEngine = {"grandpress",
                                   "QRX GrandPress",
                                   static_cast<std::uint32_t>(grandpress::GrandPress::kUniqueId),
                                   grandpress::GrandPress::kPanelHeight,
                                   grandpress::unitParam,
                                   grandpress::formatParamDisplay,
                                   grandpress::kFactoryPrograms,
                                   createGrandPress};
    return kEngine;
}

}  // namespace qrxlv2

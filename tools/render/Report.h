// What qrx-render tells about a finished render: the summary text, one line per file in a batch,
// and the same as one JSON object for scripts. Main thread only.
#pragma once

#include <cstdio>
#include <string>

#include "render/Render.h"

namespace render {

// The full summary of one render.
void printSummary(std::FILE* out, const RenderRequest& request, const RenderResult& result);
// One line for a render of a batch (plus the clipping warning when there is one).
void printBatchLine(std::FILE* out, const RenderRequest& request, const RenderResult& result);
// One JSON object on one line.
void printJson(std::FILE* out, const RenderRequest& request, const RenderResult& result);

// The warning about clipped samples; empty when nothing clipped.
std::string clippingWarning(const RenderResult& result);

}  // namespace render

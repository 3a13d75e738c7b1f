// The render's picture: levels in and out and the gain reduction over time, as a PNG.
#pragma once

#include <string>

#include "render/Render.h"

namespace render {

constexpr int kPlotWidth = 1200;
constexpr int kPlotHeight = 720;

// False with a reason when the file cannot be written (it is written atomically).
bool writePlot(const std::string& path, const std::string& title, const RenderResult& result,
               std::string* error);

}  // namespace render

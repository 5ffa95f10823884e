#pragma once
// Drawing a plot into a PNG or SVG file with the module that holds Qt Charts,
// opened when the first plot is drawn (the other commands never map Qt). The
// module's file is found beside the program (../lib/tarvik/), or at the path
// in TARVIK_PLOT_MODULE.

#include "core/result.h"
#include "plot/plot_model.h"

#include <future>
#include <string>

namespace tarvik::plot {

struct RenderRequest {
    std::string temporaryPath;  // where the module writes the picture
    bool svg = false;           // else PNG
    std::string title;
    int width = 1200;
    int height = 700;
};

// The module's one function: draws `plot` into request->temporaryPath;
// nullptr when done, else why not.
using RenderFunction = const char* (*)(const Plot* plot, const RenderRequest* request);
inline constexpr const char* kRenderSymbol = "tarvik_render_plot";
inline constexpr const char* kRenderModuleName = "libtarvik-plot-render.so";

// Starts opening the module on a second thread, so that mapping Qt overlaps
// with the work before the first plot (renderPlot waits for it); the future
// waits for it too when dropped.
std::future<void> preloadRenderModule();
// Draws `plot` into `path` (".png" or ".svg", told by the name), written
// whole beside it and renamed into place; an existing file is replaced only
// when `replace`. Fails with the reason (a missing module named with the
// package that has Qt Charts).
Result<void> renderPlot(const Plot& plot, const std::string& path, const std::string& title, bool replace);

} // namespace tarvik::plot

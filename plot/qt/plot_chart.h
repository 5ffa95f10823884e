#pragma once
// A plot drawn as a Qt chart: a line per series against a time or ping axis,
// one value axis per unit. Shared by the window's plot pane and the module
// that draws `tarvik-cli plot`'s pictures.

#include "plot/plot_model.h"

class QChart;

namespace tarvik::plot {

// A new chart of `plot` (the caller owns it). A series of more than
// `maxDrawn` points is drawn from the lowest and highest of each run of
// them (the picture of a million points is the picture of a few thousand).
QChart* makeChart(const Plot& plot, std::size_t maxDrawn = 4'000);

} // namespace tarvik::plot

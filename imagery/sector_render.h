#pragma once
// Draws a sector picture as a fan: beams across the sector, range outward,
// coloured through a colour map, with range rings, the sector's edges and the
// newest soundings. Plain memory, no window: the widget shows the result and
// tarvik-cli writes it to a file.

#include "imagery/echogram.h"
#include "imagery/sector.h"

#include <cstdint>
#include <vector>

namespace tarvik {

// Where the fan lies in the output picture.
struct SectorLayout {
    double apexX = 0, apexY = 0;  // pixels
    double radius = 1;            // pixels for the full range
    double start = 59, end = -59; // degrees, as drawn
    bool forward = false;         // the fan opens upward
    std::vector<double> rings;    // ring radii as fractions of the range (the last is 1)

    // The pixel position of a point at `degrees` and `fraction` of the range.
    void point(double degrees, double fraction, double& x, double& y) const;
};

// Ring spacing: a round number of metres giving three to six rings.
double ringStep(double range);

class SectorRenderer {
public:
    // Renders into `out`, which keeps its size (at least 16 x 16 is drawn into).
    void render(const SectorPicture& picture, const ColourMap& map, RgbaImage& out);
    const SectorLayout& layout() const { return layout_; }

private:
    void buildLookup(int width, int height, int columns, int rows, double range);

    SectorLayout layout_;
    // Per output pixel: an index into the picture's image, or a marker below.
    std::vector<std::int32_t> lookup_;
    struct Key {
        int width = -1, height = -1, columns = -1, rows = -1;
        double start = 0, end = 0, range = 0;
        bool forward = false;
        bool operator==(const Key&) const = default;
    } key_;
};

} // namespace tarvik

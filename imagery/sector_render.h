#pragma once
// Draws a sector picture as a fan: beams across the sector, range outward,
// coloured through a colour map, with range rings, the sector's edges, the
// newest soundings and the range and angle labels. Plain memory, no window:
// the widget shows the result and tarvik-cli writes it to a file, so both show
// the same picture with the same labels.
//
// Every output pixel is mapped back to its place in the picture (beam and
// sample, read bilinearly between neighbours), and the fan's outline and
// lines are drawn with their coverage of the pixel, so the fan stays smooth at
// any size.

#include "imagery/echogram.h"
#include "imagery/sector.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvik {

// A label placed beside the fan, in output pixels.
struct SectorLabel {
    std::string text;  // UTF-8 ("20 m", "-59\u00B0")
    int x = 0, y = 0, width = 0, height = 0;
};

// Where the fan lies in the output picture.
struct SectorLayout {
    double apexX = 0, apexY = 0;  // pixels
    double radius = 1;            // pixels for the full range
    double start = 59, end = -59; // degrees, as drawn
    bool forward = false;         // the fan opens upward
    std::vector<double> rings;    // ring radii as fractions of the range (the last is 1)
    std::vector<SectorLabel> labels;  // those that found room outside the fan

    // The pixel position of a point at `degrees` and `fraction` of the range.
    void point(double degrees, double fraction, double& x, double& y) const;
};

// Ring spacing: a round number of metres giving three to six rings.
double ringStep(double range);
// A ring's label: "20 m", "2.5 m", "0.25 m".
std::string rangeLabel(double metres);

// The labels' built-in font: 5 x 7 cells for the digits, '.', '-', ' ', 'm'
// and the degree sign, one blank column between characters.
int labelTextWidth(const std::string& text, int scale);
inline int labelTextHeight(int scale) { return 7 * scale; }
// Draws `text` with its top left corner at (x, y); pixels outside `out` are skipped.
void drawLabelText(RgbaImage& out, int x, int y, const std::string& text, int scale, const std::uint8_t rgb[3]);

class SectorRenderer {
public:
    // Renders into `out`, which keeps its size (at least 16 x 16 is drawn into).
    // `labelScale` enlarges the labels' font by a whole factor (0: chosen from
    // the picture's size).
    void render(const SectorPicture& picture, const ColourMap& map, RgbaImage& out, int labelScale = 0);
    const SectorLayout& layout() const { return layout_; }
    // How much of output pixel (x, y) the fan or its lines cover, 0 to 255.
    std::uint8_t coverage(int x, int y) const;

private:
    void buildLookup(int width, int height, int columns, int rows, double range, int scale);
    void placeLabels(int width, int height, double range, int scale);

    SectorLayout layout_;
    // Per output pixel: where it lies in the picture and how much of it the
    // fan and the lines cover.
    struct Cell {
        float column = 0, row = 0;  // picture coordinates of the pixel's centre
        std::uint8_t fan = 0, line = 0;
    };
    std::vector<Cell> lookup_;
    int width_ = 0;
    struct Key {
        int width = -1, height = -1, columns = -1, rows = -1, scale = 0;
        double start = 0, end = 0, range = 0;
        bool forward = false;
        bool operator==(const Key&) const = default;
    } key_;
};

} // namespace tarvik

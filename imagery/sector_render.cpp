#include "imagery/sector_render.h"

#include <algorithm>
#include <cmath>

namespace tarvik {

namespace {

constexpr std::int32_t kOutside = -1, kLine = -2;
constexpr double kPi = 3.14159265358979323846;
constexpr double kRad = kPi / 180.0;
constexpr std::uint8_t kBackground[3] = {12, 14, 22};
constexpr std::uint8_t kLineColour[3] = {110, 110, 120};
constexpr std::uint8_t kPointColour[3] = {255, 60, 60};
constexpr int kMarginX = 34, kMarginY = 16;

// Angles the picture can draw: finite, within a full turn, not empty.
void saneAngles(double& start, double& end) {
    if (!std::isfinite(start) || !std::isfinite(end) || start == end) {
        start = 59.0;
        end = -59.0;
    }
    start = std::clamp(start, -180.0, 180.0);
    end = std::clamp(end, -180.0, 180.0);
    if (start == end) {
        start = 59.0;
        end = -59.0;
    }
}

} // namespace

void SectorLayout::point(double degrees, double fraction, double& x, double& y) const {
    const double r = fraction * radius;
    x = apexX - std::sin(degrees * kRad) * r;
    y = apexY + (forward ? -1.0 : 1.0) * std::cos(degrees * kRad) * r;
}

double ringStep(double range) {
    if (!std::isfinite(range) || range <= 0) return 1.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(range)));
    for (double m : {0.1, 0.2, 0.5, 1.0, 2.0, 5.0})
        if (range / (m * magnitude) <= 6.0) return m * magnitude;
    return 10.0 * magnitude;
}

void SectorRenderer::buildLookup(int width, int height, int columns, int rows, double range) {
    layout_.rings.clear();
    const double step = ringStep(range);
    if (std::isfinite(range) && range > 0)
        for (double r = step; r < range * 0.999 && layout_.rings.size() < 20; r += step) layout_.rings.push_back(r / range);
    layout_.rings.push_back(1.0);

    // The fan's extent for a unit radius: the apex and points along the arc.
    const double sign = layout_.forward ? -1.0 : 1.0;
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    const int steps = 180;
    for (int i = 0; i <= steps; ++i) {
        const double a = (layout_.start + (layout_.end - layout_.start) * i / steps) * kRad;
        const double x = -std::sin(a), y = sign * std::cos(a);
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    }
    const double usableW = std::max(width - 2.0 * kMarginX, 8.0), usableH = std::max(height - 2.0 * kMarginY, 8.0);
    const double spanX = std::max(maxX - minX, 1e-3), spanY = std::max(maxY - minY, 1e-3);
    layout_.radius = std::min(usableW / spanX, usableH / spanY);
    layout_.apexX = width / 2.0 - (minX + maxX) / 2.0 * layout_.radius;
    layout_.apexY = height / 2.0 - (minY + maxY) / 2.0 * layout_.radius;

    lookup_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), kOutside);
    const double span = layout_.end - layout_.start;
    for (int py = 0; py < height; ++py) {
        for (int px = 0; px < width; ++px) {
            const double dx = (px + 0.5 - layout_.apexX) / layout_.radius;
            const double dy = (py + 0.5 - layout_.apexY) / layout_.radius * sign;
            const double r = std::sqrt(dx * dx + dy * dy);
            if (r > 1.0 + 1.0 / layout_.radius) continue;
            const double degrees = std::atan2(-dx, dy) / kRad;
            const double u = (degrees - layout_.start) / span;
            if (u < 0.0 || u > 1.0) continue;
            std::int32_t& cell = lookup_[static_cast<std::size_t>(py) * width + px];
            // Lines: rings, and the two edges of the sector.
            const double pixelR = r * layout_.radius;
            bool line = false;
            for (double ring : layout_.rings) line = line || std::fabs(pixelR - ring * layout_.radius) < 0.6;
            const double edge = std::min(u, 1.0 - u) * std::fabs(span) * kRad * pixelR;
            line = line || edge < 0.7;
            if (line) {
                cell = kLine;
                continue;
            }
            if (r >= 1.0) continue;
            const int column = std::min(static_cast<int>(u * columns), columns - 1);
            const int row = std::min(static_cast<int>(r * rows), rows - 1);
            cell = row * columns + column;
        }
    }
}

void SectorRenderer::render(const SectorPicture& picture, const ColourMap& map, RgbaImage& out) {
    const int width = out.width, height = out.height;
    if (width <= 0 || height <= 0) return;
    double start = picture.properties.startAngle, end = picture.properties.endAngle;
    saneAngles(start, end);
    const bool hasImage = picture.width > 0 && picture.height > 0 &&
                          picture.image.size() >= static_cast<std::size_t>(picture.width) * picture.height;
    const int columns = hasImage ? picture.width : 1, rows = hasImage ? picture.height : 1;

    const Key key{width, height, columns, rows, start, end, picture.properties.range, picture.properties.forwardLooking};
    if (!(key == key_)) {
        key_ = key;
        layout_.start = start;
        layout_.end = end;
        layout_.forward = picture.properties.forwardLooking;
        buildLookup(width, height, columns, rows, picture.properties.range);
    }

    std::uint8_t* p = out.pixels.data();
    const std::uint8_t* image = hasImage ? picture.image.data() : nullptr;
    for (std::int32_t cell : lookup_) {
        const std::uint8_t* c = kBackground;
        std::uint8_t rgb[3];
        if (cell >= 0) {
            const Rgba& m = map[image ? image[cell] : 0];
            rgb[0] = m.r;
            rgb[1] = m.g;
            rgb[2] = m.b;
            c = rgb;
        } else if (cell == kLine) {
            c = kLineColour;
        }
        p[0] = c[0];
        p[1] = c[1];
        p[2] = c[2];
        p[3] = 255;
        p += 4;
    }

    // The newest soundings as small marks.
    for (const SectorPoint& point : picture.points) {
        if (!(point.across >= 0 && point.across <= 1 && point.outward >= 0 && point.outward <= 1)) continue;
        double x = 0, y = 0;
        layout_.point(start + (end - start) * point.across, point.outward, x, y);
        const int cx = static_cast<int>(x), cy = static_cast<int>(y);
        for (int yy = cy - 1; yy <= cy + 1; ++yy)
            for (int xx = cx - 1; xx <= cx + 1; ++xx) {
                if (xx < 0 || yy < 0 || xx >= width || yy >= height) continue;
                std::uint8_t* q = out.at(xx, yy);
                q[0] = kPointColour[0];
                q[1] = kPointColour[1];
                q[2] = kPointColour[2];
            }
    }
}

} // namespace tarvik

#include "imagery/sector_render.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace tarvik {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRad = kPi / 180.0;
constexpr std::uint8_t kBackground[3] = {12, 14, 22};
constexpr std::uint8_t kLineColour[3] = {110, 110, 120};
constexpr std::uint8_t kPointColour[3] = {255, 60, 60};
constexpr std::uint8_t kLabelColour[3] = {200, 200, 210};
constexpr int kLabelGap = 2;  // pixels kept free around a label

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

// The glyphs of the labels' font, seven rows of five bits, top row first.
struct Glyph {
    char32_t code;
    std::array<std::uint8_t, 7> rows;
};
constexpr Glyph kGlyphs[] = {
    {U'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {U'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {U'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {U'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {U'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {U'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {U'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {U'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {U'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {U'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {U'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {U'-', {0x00, 0x00, 0x00, 0x0E, 0x00, 0x00, 0x00}},
    {U'm', {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11}}, {U'\u00B0', {0x0C, 0x12, 0x12, 0x0C, 0x00, 0x00, 0x00}},
    {U' ', {0, 0, 0, 0, 0, 0, 0}},
};

// The characters of a UTF-8 label (only the two-byte forms the font has).
std::vector<char32_t> characters(const std::string& text) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0xC0 && c < 0xE0 && i + 1 < text.size()) {
            out.push_back(static_cast<char32_t>(((c & 0x1F) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F)));
            ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

const Glyph* glyphOf(char32_t code) {
    for (const Glyph& g : kGlyphs)
        if (g.code == code) return &g;
    return nullptr;
}

std::string angleLabel(double degrees) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f\u00B0", degrees);
    std::string s = text;
    if (s.rfind("-0\u00B0", 0) == 0) s.erase(0, 1);
    return s;
}

} // namespace

int labelTextWidth(const std::string& text, int scale) {
    const std::size_t n = characters(text).size();
    return n == 0 ? 0 : static_cast<int>(n * 6 - 1) * scale;
}

void drawLabelText(RgbaImage& out, int x, int y, const std::string& text, int scale, const std::uint8_t rgb[3]) {
    int left = x;
    for (char32_t c : characters(text)) {
        if (const Glyph* g = glyphOf(c)) {
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col) {
                    if (!(g->rows[static_cast<std::size_t>(row)] & (0x10 >> col))) continue;
                    for (int sy = 0; sy < scale; ++sy)
                        for (int sx = 0; sx < scale; ++sx) {
                            const int px = left + col * scale + sx, py = y + row * scale + sy;
                            if (px < 0 || py < 0 || px >= out.width || py >= out.height) continue;
                            std::uint8_t* p = out.at(px, py);
                            p[0] = rgb[0];
                            p[1] = rgb[1];
                            p[2] = rgb[2];
                            p[3] = 255;
                        }
                }
        }
        left += 6 * scale;
    }
}

std::string rangeLabel(double metres) {
    char text[48];
    if (!std::isfinite(metres)) return "";
    const double rounded = std::round(metres);
    if (std::fabs(metres - rounded) < 1e-6 * std::max(1.0, std::fabs(metres)) || std::fabs(metres) >= 100)
        std::snprintf(text, sizeof text, "%.0f m", metres);
    else if (std::fabs(metres * 10 - std::round(metres * 10)) < 1e-6)
        std::snprintf(text, sizeof text, "%.1f m", metres);
    else
        std::snprintf(text, sizeof text, "%.2f m", metres);
    return text;
}

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

std::uint8_t SectorRenderer::coverage(int x, int y) const {
    if (x < 0 || y < 0 || width_ <= 0 || x >= width_) return 0;
    const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
    if (i >= lookup_.size()) return 0;
    return std::max(lookup_[i].fan, lookup_[i].line);
}

void SectorRenderer::buildLookup(int width, int height, int columns, int rows, double range, int scale) {
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
    // Room for the labels around the fan.
    const double marginX = labelTextWidth("-180\u00B0", scale) + 3.0 * kLabelGap;
    const double marginY = labelTextHeight(scale) + 3.0 * kLabelGap;
    const double usableW = std::max(width - 2.0 * marginX, 8.0), usableH = std::max(height - 2.0 * marginY, 8.0);
    const double spanX = std::max(maxX - minX, 1e-3), spanY = std::max(maxY - minY, 1e-3);
    layout_.radius = std::max(1.0, std::min(usableW / spanX, usableH / spanY));
    layout_.apexX = width / 2.0 - (minX + maxX) / 2.0 * layout_.radius;
    layout_.apexY = height / 2.0 - (minY + maxY) / 2.0 * layout_.radius;

    width_ = width;
    lookup_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), Cell{});
    const double span = layout_.end - layout_.start;
    const double radius = layout_.radius;
    for (int py = 0; py < height; ++py) {
        for (int px = 0; px < width; ++px) {
            const double dx = px + 0.5 - layout_.apexX;
            const double dy = (py + 0.5 - layout_.apexY) * sign;
            const double pixelR = std::sqrt(dx * dx + dy * dy);
            if (pixelR > radius + 2.0) continue;
            const double degrees = std::atan2(-dx, dy) / kRad;
            const double u = (degrees - layout_.start) / span;
            // Signed distances in pixels to the arc and to the nearer edge (inside positive).
            const double angular = std::min(u, 1.0 - u) * std::fabs(span);
            const double edge = pixelR * std::sin(std::min(std::fabs(angular), 90.0) * kRad) * (angular < 0 ? -1.0 : 1.0);
            const double arc = radius - pixelR;
            if (edge < -2.0) continue;

            Cell& cell = lookup_[static_cast<std::size_t>(py) * static_cast<std::size_t>(width) + static_cast<std::size_t>(px)];
            const double fan = std::clamp(std::min(arc, edge) + 0.5, 0.0, 1.0);
            // Lines one pixel wide, weighted by how near the pixel's centre lies:
            // the rings within the sector, its two edges within the range.
            double line = 0;
            const double withinSector = std::clamp(edge + 0.5, 0.0, 1.0);
            for (double ring : layout_.rings)
                line = std::max(line, (1.0 - std::fabs(pixelR - ring * radius)) * withinSector);
            line = std::max(line, (1.0 - std::fabs(edge)) * std::clamp(arc + 0.5, 0.0, 1.0));
            line = std::clamp(line, 0.0, 1.0);
            cell.fan = static_cast<std::uint8_t>(std::lround(fan * 255));
            cell.line = static_cast<std::uint8_t>(std::lround(line * 255));
            cell.column = static_cast<float>(std::clamp(u * columns - 0.5, 0.0, columns - 1.0));
            cell.row = static_cast<float>(std::clamp(pixelR / radius * rows - 0.5, 0.0, rows - 1.0));
        }
    }
    placeLabels(width, height, range, scale);
}

// Each label goes as close to its place on the outline as it can without
// touching the fan, its lines, another label or the picture's border; one
// that finds no room is left out.
void SectorRenderer::placeLabels(int width, int height, double range, int scale) {
    layout_.labels.clear();
    const double sign = layout_.forward ? -1.0 : 1.0;
    const double mid = (layout_.start + layout_.end) / 2.0;
    auto direction = [&](double degrees, double& x, double& y) {
        x = -std::sin(degrees * kRad);
        y = sign * std::cos(degrees * kRad);
    };
    // The normal of an edge pointing away from the sector's inside.
    auto edgeNormal = [&](double edge, double& x, double& y) {
        direction(edge + (edge < mid ? -90.0 : 90.0), x, y);
    };
    auto clear = [&](int x, int y, int w, int h) {
        if (x - kLabelGap < 0 || y - kLabelGap < 0 || x + w + kLabelGap > width || y + h + kLabelGap > height)
            return false;
        for (const SectorLabel& other : layout_.labels)
            if (x < other.x + other.width + kLabelGap && other.x < x + w + kLabelGap &&
                y < other.y + other.height + kLabelGap && other.y < y + h + kLabelGap)
                return false;
        for (int yy = y - kLabelGap; yy < y + h + kLabelGap; ++yy)
            for (int xx = x - kLabelGap; xx < x + w + kLabelGap; ++xx)
                if (coverage(xx, yy) != 0) return false;
        return true;
    };
    auto place = [&](const std::string& text, double degrees, double fraction,
                     std::initializer_list<std::pair<double, double>> normals) {
        const int w = labelTextWidth(text, scale), h = labelTextHeight(scale);
        double ax = 0, ay = 0;
        layout_.point(degrees, fraction, ax, ay);
        const int reach = 2 * (w + h) + 8;
        for (const auto& [nx, ny] : normals) {
            for (int k = 0; k <= reach; ++k) {
                const int x = static_cast<int>(std::lround(ax + nx * k - w / 2.0));
                const int y = static_cast<int>(std::lround(ay + ny * k - h / 2.0));
                if (clear(x, y, w, h)) {
                    layout_.labels.push_back({text, x, y, w, h});
                    return;
                }
            }
        }
    };
    double rx = 0, ry = 0, ex = 0, ey = 0, sx = 0, sy = 0;
    const bool ranged = std::isfinite(range) && range > 0;
    if (ranged) {
        direction(mid, rx, ry);
        place(rangeLabel(range), mid, 1.0, {{rx, ry}});
    }
    for (double angle : {layout_.start, layout_.end}) {
        double nx = 0, ny = 0, ox = 0, oy = 0;
        direction(angle, nx, ny);
        edgeNormal(angle, ox, oy);
        place(angleLabel(angle), angle, 1.0, {{nx, ny}, {ox, oy}});
    }
    if (ranged) {
        edgeNormal(layout_.end, ex, ey);
        edgeNormal(layout_.start, sx, sy);
        for (double ring : layout_.rings)
            if (ring < 1.0) place(rangeLabel(ring * range), layout_.end, ring, {{ex, ey}, {sx, sy}});
    }
}

void SectorRenderer::render(const SectorPicture& picture, const ColourMap& map, RgbaImage& out, int labelScale) {
    const int width = out.width, height = out.height;
    if (width <= 0 || height <= 0) return;
    const int scale = labelScale > 0 ? std::min(labelScale, 16) : std::max(1, std::min(width, height) / 400);
    double start = picture.properties.startAngle, end = picture.properties.endAngle;
    saneAngles(start, end);
    const bool hasImage = picture.width > 0 && picture.height > 0 &&
                          picture.image.size() >= static_cast<std::size_t>(picture.width) * picture.height;
    const int columns = hasImage ? picture.width : 1, rows = hasImage ? picture.height : 1;

    const Key key{width, height, columns, rows, scale, start, end, picture.properties.range,
                  picture.properties.forwardLooking};
    if (!(key == key_)) {
        key_ = key;
        layout_.start = start;
        layout_.end = end;
        layout_.forward = picture.properties.forwardLooking;
        buildLookup(width, height, columns, rows, picture.properties.range, scale);
    }

    std::uint8_t* p = out.pixels.data();
    const std::uint8_t* image = hasImage ? picture.image.data() : nullptr;
    const auto at = [&](int c, int r) { return image ? image[static_cast<std::size_t>(r) * columns + c] : 0; };
    for (const Cell& cell : lookup_) {
        double rgb[3] = {kBackground[0], kBackground[1], kBackground[2]};
        if (cell.fan != 0) {
            // Bilinear between the four nearest samples of the picture.
            const int c0 = static_cast<int>(cell.column), r0 = static_cast<int>(cell.row);
            const int c1 = std::min(c0 + 1, columns - 1), r1 = std::min(r0 + 1, rows - 1);
            const double ac = cell.column - c0, ar = cell.row - r0;
            const double top = at(c0, r0) + (at(c1, r0) - at(c0, r0)) * ac;
            const double bottom = at(c0, r1) + (at(c1, r1) - at(c0, r1)) * ac;
            const auto value = static_cast<std::size_t>(std::clamp(std::lround(top + (bottom - top) * ar), 0L, 255L));
            const Rgba& m = map[value];
            const double a = cell.fan / 255.0;
            rgb[0] += (m.r - rgb[0]) * a;
            rgb[1] += (m.g - rgb[1]) * a;
            rgb[2] += (m.b - rgb[2]) * a;
        }
        if (cell.line != 0) {
            const double a = cell.line / 255.0;
            for (int i = 0; i < 3; ++i) rgb[i] += (kLineColour[i] - rgb[i]) * a;
        }
        for (int i = 0; i < 3; ++i) p[i] = static_cast<std::uint8_t>(std::lround(rgb[i]));
        p[3] = 255;
        p += 4;
    }

    // The newest soundings as small marks.
    for (const SectorPoint& point : picture.points) {
        if (!(point.across >= 0 && point.across <= 1 && point.outward >= 0 && point.outward <= 1)) continue;
        double x = 0, y = 0;
        layout_.point(start + (end - start) * point.across, point.outward, x, y);
        const int cx = static_cast<int>(x), cy = static_cast<int>(y);
        for (int yy = cy - scale; yy <= cy + scale; ++yy)
            for (int xx = cx - scale; xx <= cx + scale; ++xx) {
                if (xx < 0 || yy < 0 || xx >= width || yy >= height) continue;
                std::uint8_t* q = out.at(xx, yy);
                q[0] = kPointColour[0];
                q[1] = kPointColour[1];
                q[2] = kPointColour[2];
            }
    }
    for (const SectorLabel& label : layout_.labels) drawLabelText(out, label.x, label.y, label.text, scale, kLabelColour);
}

} // namespace tarvik

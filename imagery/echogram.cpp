#include "imagery/echogram.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tarvik {

namespace {

struct Colour {
    int r, g, b;
};
struct Segment {
    int first, last;
    Colour from, to;
};

std::uint8_t channel(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 255.0) return 255;
    return static_cast<std::uint8_t>(v);
}

// Linear gradients over index ranges; a later segment overwrites a shared end index.
void paint(ColourMap& map, std::initializer_list<Segment> segments) {
    for (const Segment& s : segments) {
        const double steps = s.last - s.first;
        for (int i = s.first; i <= s.last; ++i) {
            const double f = steps > 0 ? (i - s.first) / steps : 0.0;
            map[static_cast<std::size_t>(i)] = {channel(s.from.r + 0.5 + (s.to.r - s.from.r) * f),
                                                channel(s.from.g + 0.5 + (s.to.g - s.from.g) * f),
                                                channel(s.from.b + 0.5 + (s.to.b - s.from.b) * f), 255};
        }
    }
}

} // namespace

ColourMap baseColourMap(std::uint32_t choice) {
    ColourMap map{};
    switch (choice) {
    case 0:
        paint(map, {{0, 32, {4, 4, 32}, {4, 32, 64}},
                    {32, 48, {4, 32, 64}, {16, 48, 80}},
                    {48, 208, {16, 48, 80}, {176, 208, 80}},
                    {208, 240, {176, 208, 80}, {240, 240, 48}},
                    {240, 255, {240, 240, 48}, {255, 255, 48}}});
        break;
    case 2:
        paint(map, {{0, 63, {0, 0, 64}, {0, 0, 255}},
                    {64, 127, {0, 0, 255}, {0, 255, 255}},
                    {128, 191, {0, 255, 255}, {255, 255, 0}},
                    {192, 255, {255, 255, 0}, {255, 0, 0}}});
        break;
    case 3:
        for (int i = 0; i < 256; ++i) {
            if (i < 128) {
                const float f = static_cast<float>(i);
                map[static_cast<std::size_t>(i)] = {channel(f * 1.2777778f), channel(f * 0.35714287f),
                                                    channel(f * 0.031746034f), 255};
            } else {
                const float j = static_cast<float>(i - 128);
                map[static_cast<std::size_t>(i)] = {channel(161.0f + j * 0.7401575f), channel(45.0f + j * 1.6535434f),
                                                    channel(4.0f - j * 0.031496063f), 255};
            }
        }
        break;
    case 4:
        paint(map, {{0, 51, {255, 0, 0}, {255, 175, 0}},
                    {51, 102, {255, 175, 0}, {255, 246, 80}},
                    {102, 153, {255, 246, 0}, {0, 255, 15}},
                    {153, 204, {0, 255, 15}, {0, 192, 255}},
                    {204, 255, {0, 192, 255}, {18, 23, 205}}});
        break;
    default:
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<std::uint8_t>(i);
            map[static_cast<std::size_t>(i)] = {v, v, v, 255};
        }
        break;
    }
    return map;
}

std::array<std::uint8_t, 256> colourRamp(std::uint8_t brightness, std::uint8_t contrast) {
    std::array<std::uint8_t, 256> ramp{};
    // 255 - (contrast - 50) lies in 50..305 for a byte: never zero.
    const double slope = 255.0 / (255.0 - (static_cast<double>(contrast) - 50.0));
    const double offset = static_cast<double>(brightness) - 50.0;
    for (int i = 0; i < 256; ++i) {
        const double v = i * slope + offset;
        ramp[static_cast<std::size_t>(i)] = v <= 0.0 ? 0 : v >= 255.0 ? 255 : static_cast<std::uint8_t>(v);
    }
    return ramp;
}

EchogramImage::EchogramImage() : indices_(std::size_t{kWidth} * kHeight) {}

void EchogramImage::AddPing(const std::uint8_t* samples, std::size_t count) {
    std::memmove(&indices_[kWidth], &indices_[0], std::size_t{kWidth} * (kHeight - 1));
    ++generation_;
    if (samples == nullptr || count == 0) return;
    std::uint8_t* out = &indices_[0];

    if (count == kWidth) {
        std::memcpy(out, samples, kWidth);
    } else if (count < kWidth) {
        // Stretch: each sample covers 1,024 / count columns.
        std::size_t j = 0, acc = 0;
        for (std::uint32_t i = 0; i < kWidth; ++i) {
            out[i] = samples[std::min(j, count - 1)];
            acc += count;
            if (acc >= kWidth) {
                acc -= kWidth;
                ++j;
            }
        }
    } else {
        // Shrink: count / 1,024 samples share a column, combined by the resampling mode.
        std::uint64_t sum = 0;
        std::uint32_t largest = 0, n = 0;
        std::size_t acc = 0, column = 0;
        for (std::size_t j = 0; j < count && column < kWidth; ++j) {
            const std::uint32_t v = samples[j];
            sum += resampling_ == 2 ? v * v : v;
            largest = std::max(largest, v);
            ++n;
            acc += kWidth;
            if (acc < count) continue;
            acc -= count;
            std::uint32_t value = largest;
            if (resampling_ == 0) value = static_cast<std::uint32_t>(sum / n);
            else if (resampling_ == 2) value = static_cast<std::uint32_t>(std::sqrt(static_cast<double>(sum) / n));
            out[column++] = static_cast<std::uint8_t>(std::min<std::uint32_t>(value, 255));
            sum = 0;
            largest = 0;
            n = 0;
        }
    }
}

void EchogramImage::Clear() {
    std::fill(indices_.begin(), indices_.end(), std::uint8_t{0});
    ++generation_;
}

void EchogramImage::rebuildColourMap() {
    const ColourMap base = baseColourMap(choice_);
    const auto ramp = colourRamp(brightness_, contrast_);
    for (std::size_t i = 0; i < 256; ++i) {
        const Rgba& b = base[ramp[i]];
        colourMap_[i].r = b.r;
        colourMap_[i].g = b.g;
        colourMap_[i].b = b.b;
    }
    ++generation_;
}

void EchogramImage::SetColourMap(std::uint32_t choice) {
    choice_ = choice;
    rebuildColourMap();
}

void EchogramImage::SetBrightness(std::uint8_t brightness) {
    brightness_ = brightness;
    rebuildColourMap();
}

void EchogramImage::SetContrast(std::uint8_t contrast) {
    contrast_ = contrast;
    rebuildColourMap();
}

bool EchogramImage::SetRotation(std::uint32_t rotation) {
    if (rotation > 3) return false;
    rotation_ = rotation;
    ++generation_;
    return true;
}

bool EchogramImage::SetAspectMode(std::uint32_t mode) {
    if (mode > 3) return false;
    aspect_ = mode;
    ++generation_;
    return true;
}

bool EchogramImage::SetResamplingMode(std::uint32_t mode) {
    if (mode > 2) return false;
    resampling_ = mode;
    return true;
}

void EchogramImage::expand(std::vector<std::uint8_t>& rgba) const {
    rgba.resize(indices_.size() * 4);
    std::uint8_t* out = rgba.data();
    for (std::uint8_t index : indices_) {
        const Rgba& c = colourMap_[index];
        out[0] = c.r;
        out[1] = c.g;
        out[2] = c.b;
        out[3] = c.a;
        out += 4;
    }
}

OrthoBox EchogramImage::projection(int width, int height) const {
    const double a = static_cast<double>(std::max(width, 1)) / static_cast<double>(std::max(height, 1));
    const double h = (std::fabs(top_) + std::fabs(bottom_)) / 2.0;
    const bool wide = a > 1.0 / h;
    const auto narrow = [&] {
        const double d = h - 1.0 / a;
        return OrthoBox{-1.0, 1.0, bottom_ + d, top_ - d};
    };
    switch (aspect_) {
    case 1: return {-1.0, 1.0, -1.0, 1.0};
    case 2: return wide ? OrthoBox{-a, a, -1.0, 1.0} : OrthoBox{-1.0, 1.0, -1.0, 1.0};
    case 3: return wide ? OrthoBox{-1.0, 1.0, bottom_, top_} : narrow();
    default: return wide ? OrthoBox{-a * h, a * h, bottom_, top_} : narrow();
    }
}

double EchogramImage::rotationDegrees() const {
    switch (rotation_) {
    case 1: return 180.0;
    case 2: return 90.0;
    case 3: return -90.0;
    default: return 0.0;
    }
}

double EchogramImage::columnX(std::uint32_t column) const {
    const double step = 2.0 * column / (kWidth - 1.0);
    return rotation_ == 1 || rotation_ == 3 ? -1.0 + step : 1.0 - step;
}

RgbaImage renderEchogram(const EchogramImage& e) {
    constexpr int W = EchogramImage::kWidth, H = EchogramImage::kHeight;
    const std::uint32_t rotation = e.rotation();
    const bool turned = rotation == 2 || rotation == 3;
    RgbaImage out;
    out.resize(turned ? H : W, turned ? W : H);
    const ColourMap& map = e.colourMap();
    for (int row = 0; row < H; ++row) {
        const std::uint8_t* src = e.row(static_cast<std::uint32_t>(row));
        for (int column = 0; column < W; ++column) {
            // Strip geometry before turning: column 0 lies right for rotations 0 and 2,
            // left for 1 and 3; row 0 at the top. Turning then moves the picture.
            const int x = (rotation == 1 || rotation == 3) ? column : W - 1 - column;
            int px = x, py = row;
            switch (rotation) {
            case 1: px = W - 1 - x; py = H - 1 - row; break;         // 180 degrees
            case 2: px = row; py = W - 1 - x; break;                 // +90: counter-clockwise
            case 3: px = H - 1 - row; py = x; break;                 // -90: clockwise
            default: break;
            }
            const Rgba& c = map[src[column]];
            std::uint8_t* p = out.at(px, py);
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = 255;
        }
    }
    return out;
}

} // namespace tarvik

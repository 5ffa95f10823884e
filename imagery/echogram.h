#pragma once
// The echogram's picture without any window: a 1,024 x 512 image of colour
// indices in which every ping becomes the newest (top) row, the 256-entry
// colour map with brightness and contrast, and the orientation and projection
// rules of its display. The OpenGL widget and the offscreen renderer both draw
// from this model.

#include "core/bytes.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <vector>

#include <sys/mman.h>

namespace tarvik {

struct Rgba {
    std::uint8_t r = 255, g = 255, b = 255, a = 255;
    friend bool operator==(const Rgba&, const Rgba&) = default;
};
using ColourMap = std::array<Rgba, 256>;

// An 8-bit RGBA picture, rows top to bottom.
struct RgbaImage {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;  // width * height * 4

    void resize(int w, int h) {
        width = w;
        height = h;
        pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4, 0);
    }
    std::uint8_t* at(int x, int y) { return &pixels[(static_cast<std::size_t>(y) * width + x) * 4]; }
    const std::uint8_t* at(int x, int y) const { return &pixels[(static_cast<std::size_t>(y) * width + x) * 4]; }
};

// An orthographic projection: the view rectangle in view units.
struct OrthoBox {
    double left = -1, right = 1, bottom = -1, top = 1;
    friend bool operator==(const OrthoBox&, const OrthoBox&) = default;
};

// The base colour maps, before brightness and contrast; choices other than 0..4 give grey.
ColourMap baseColourMap(std::uint32_t choice);
// The ramp of brightness and contrast: which base entry each index shows.
std::array<std::uint8_t, 256> colourRamp(std::uint8_t brightness, std::uint8_t contrast);

// Pixels that start at zero, mapped straight from the system: its pages are
// zero and cost nothing until a ping is drawn into them, so a picture nobody
// draws (every command of tarvik-cli but image makes two) costs neither a
// fill nor its pages. (calloc gave no such promise: once the allocator has
// raised its threshold for mapping blocks, it clears a block of the heap,
// and the clearing touched 64 pages at every start.)
class ZeroedPixels {
public:
    explicit ZeroedPixels(std::size_t size) : size_(size), bytes_(allocate(size)) {}
    ZeroedPixels(const ZeroedPixels& other) : ZeroedPixels(other.size_) { std::memcpy(bytes_, other.bytes_, size_); }
    ZeroedPixels& operator=(const ZeroedPixels& other) {
        if (this != &other) {
            ZeroedPixels copy(other);
            std::swap(size_, copy.size_);
            std::swap(bytes_, copy.bytes_);
        }
        return *this;
    }
    ~ZeroedPixels() { ::munmap(bytes_, mappedSize(size_)); }
    std::uint8_t& operator[](std::size_t i) { return bytes_[i]; }
    const std::uint8_t& operator[](std::size_t i) const { return bytes_[i]; }
    std::uint8_t* begin() { return bytes_; }
    std::uint8_t* end() { return bytes_ + size_; }
    const std::uint8_t* begin() const { return bytes_; }
    const std::uint8_t* end() const { return bytes_ + size_; }
    std::size_t size() const { return size_; }

private:
    static std::size_t mappedSize(std::size_t size) { return size == 0 ? 1 : size; }
    static std::uint8_t* allocate(std::size_t size) {
        void* p = ::mmap(nullptr, mappedSize(size), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        return static_cast<std::uint8_t*>(p);
    }
    std::size_t size_;
    std::uint8_t* bytes_;
};

class EchogramImage {
public:
    static constexpr std::uint32_t kWidth = 1024;
    static constexpr std::uint32_t kHeight = 512;

    EchogramImage();

    // Scrolls the image one row down and resamples the ping into row 0.
    // No samples leaves row 0 as it was (the scroll still happens).
    void AddPing(const std::uint8_t* samples, std::size_t count);
    void AddPing(ByteSpan samples) { AddPing(samples.data(), samples.size()); }
    // Zeroes the image.
    void Clear();

    void SetColourMap(std::uint32_t choice);
    void SetBrightness(std::uint8_t brightness);
    void SetContrast(std::uint8_t contrast);
    // Refused (false, value kept) above 3, 3 and 2.
    bool SetRotation(std::uint32_t rotation);
    bool SetAspectMode(std::uint32_t mode);
    bool SetResamplingMode(std::uint32_t mode);

    const std::uint8_t* row(std::uint32_t r) const { return &indices_[std::size_t{r} * kWidth]; }
    std::span<const std::uint8_t> indices() const { return {indices_.begin(), indices_.size()}; }
    const ColourMap& colourMap() const { return colourMap_; }
    std::uint32_t colourMapChoice() const { return choice_; }
    std::uint8_t brightness() const { return brightness_; }
    std::uint8_t contrast() const { return contrast_; }
    std::uint32_t rotation() const { return rotation_; }
    std::uint32_t aspectMode() const { return aspect_; }
    std::uint32_t resamplingMode() const { return resampling_; }
    double bottom() const { return bottom_; }
    double top() const { return top_; }
    // Counts every change of the picture or its colours, so a display can tell it must redraw.
    std::uint64_t generation() const { return generation_; }

    // Every index expanded to its colour-map entry, row by row (the RGBA upload).
    void expand(std::vector<std::uint8_t>& rgba) const;
    // The projection of a window of width x height pixels (zero sizes count as 1).
    OrthoBox projection(int width, int height) const;
    // Rotation about the view axis in degrees, and the x of column i of the strip.
    double rotationDegrees() const;
    double columnX(std::uint32_t column) const;

private:
    void rebuildColourMap();

    ZeroedPixels indices_;
    ColourMap colourMap_{};
    std::uint8_t contrast_ = 50;
    std::uint8_t brightness_ = 50;
    std::uint32_t choice_ = 0;
    std::uint32_t resampling_ = 1;
    std::uint32_t rotation_ = 0;
    std::uint32_t aspect_ = 0;
    double bottom_ = -1.0;
    double top_ = 1.0;
    std::uint64_t generation_ = 0;
};

// The echogram as the display shows it with rotation and column order applied,
// one pixel per image entry (1,024 x 512, or 512 x 1,024 when turned by 90 degrees).
RgbaImage renderEchogram(const EchogramImage& echogram);

} // namespace tarvik

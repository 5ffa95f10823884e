#include "imagery/echogram.h"
#include "imagery/png_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>

#include <sys/mman.h>
#include <unistd.h>

namespace tarvik {
namespace {

Bytes counting(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return b;
}

TEST(EchogramPing, ResamplesEveryCountIntoOneRowAndScrollsOlderRowsDown) {
    EchogramImage e;
    // Stretching: 512 samples fill 1,024 columns, each sample twice.
    const Bytes half = counting(512);
    e.AddPing(half);
    for (std::uint32_t i = 0; i < 1024; ++i) ASSERT_EQ(e.row(0)[i], half[i / 2]) << i;

    // Exactly 1,024: a copy; the previous row moved one down.
    const Bytes full = counting(1024);
    e.AddPing(full);
    EXPECT_TRUE(std::equal(full.begin(), full.end(), e.row(0)));
    EXPECT_EQ(e.row(1)[5], half[2]);

    // Shrinking 2,048 samples, by maximum (the default), mean and root mean square.
    Bytes pairs(2048);
    for (std::size_t i = 0; i < pairs.size(); ++i) pairs[i] = (i % 2) ? 200 : 10;
    e.AddPing(pairs);
    for (std::uint32_t i = 0; i < 1024; ++i) ASSERT_EQ(e.row(0)[i], 200);
    ASSERT_TRUE(e.SetResamplingMode(0));
    e.AddPing(pairs);
    EXPECT_EQ(e.row(0)[17], 105);
    ASSERT_TRUE(e.SetResamplingMode(2));
    e.AddPing(pairs);
    EXPECT_EQ(e.row(0)[17], 141);  // sqrt((100 + 40000) / 2), truncated
    EXPECT_FALSE(e.SetResamplingMode(3));
    EXPECT_EQ(e.resamplingMode(), 2u);

    // An uneven count: every column is written, none twice past the end.
    e.SetResamplingMode(1);
    const Bytes odd(1500, 9);
    e.AddPing(odd);
    for (std::uint32_t i = 0; i < 1024; ++i) ASSERT_EQ(e.row(0)[i], 9);

    // No samples: row 0 stays as it was, the rest scrolls; the oldest row falls off.
    e.AddPing(nullptr, 0);
    EXPECT_EQ(e.row(0)[3], 9);
    EXPECT_EQ(e.row(1)[3], 9);
    for (int i = 0; i < 600; ++i) e.AddPing(full);
    EXPECT_EQ(e.row(511)[7], full[7]);
    e.Clear();
    EXPECT_EQ(std::accumulate(e.indices().begin(), e.indices().end(), 0u), 0u);
}

// Every command of the command line program builds the view and its two
// pictures; those that draw nothing must not pay for the pictures' pages,
// however much the allocator has been asked for before.
TEST(EchogramPing, APictureNobodyDrawsHoldsNoPagesUntilAPingComes) {
    auto resident = [](const EchogramImage& e) {
        // The whole pages inside the picture (its ends may share pages with other blocks).
        const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        const auto begin = (reinterpret_cast<std::uintptr_t>(e.indices().data()) + page - 1) / page * page;
        const auto end = (reinterpret_cast<std::uintptr_t>(e.indices().data()) + e.indices().size()) / page * page;
        std::vector<unsigned char> in((end - begin) / page);
        if (::mincore(reinterpret_cast<void*>(begin), end - begin, in.data()) != 0) return std::size_t{0} - 1;
        return static_cast<std::size_t>(std::count_if(in.begin(), in.end(), [](unsigned char c) { return c & 1; }));
    };
    // Large blocks taken and given back first, as the program's start does.
    for (int i = 0; i < 4; ++i) Bytes(std::size_t{1} << 20).swap(*std::make_unique<Bytes>());
    const EchogramImage fresh;
    EXPECT_EQ(resident(fresh), 0u);
    EXPECT_TRUE(std::all_of(fresh.indices().begin(), fresh.indices().end(), [](std::uint8_t b) { return b == 0; }));
    EchogramImage drawn;
    const Bytes ping = counting(EchogramImage::kWidth);
    drawn.AddPing(ping.data(), ping.size());
    EXPECT_GT(resident(drawn), 0u);
    EXPECT_EQ(drawn.row(0)[5], ping[5]);
    const EchogramImage copy = drawn;
    EXPECT_EQ(copy.row(0)[5], ping[5]);
}

TEST(EchogramColours, BrightnessContrastAndMapChoices) {
    // Both controls at 50: the identity.
    const auto identity = colourRamp(50, 50);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(identity[static_cast<std::size_t>(i)], i);
    // Brightness 100: 50 entries higher below 205, the rest saturate.
    const auto bright = colourRamp(100, 50);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(bright[static_cast<std::size_t>(i)], i < 205 ? i + 50 : 255) << i;
    // Extreme contrast never divides by zero and stays within the map.
    const auto steep = colourRamp(0, 255);
    EXPECT_EQ(steep[0], 0);
    EXPECT_EQ(steep[255], 255);

    EchogramImage e;
    EXPECT_EQ(e.colourMap()[10], (Rgba{255, 255, 255, 255}));  // before the first choice
    e.SetColourMap(7);
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        ASSERT_EQ(e.colourMap()[static_cast<std::size_t>(i)], (Rgba{v, v, v, 255}));
    }
    e.SetColourMap(0);
    EXPECT_EQ(e.colourMap()[0], (Rgba{4, 4, 32, 255}));
    EXPECT_EQ(e.colourMap()[32], (Rgba{4, 32, 64, 255}));
    EXPECT_EQ(e.colourMap()[255], (Rgba{255, 255, 48, 255}));
    e.SetBrightness(100);
    EXPECT_EQ(e.colourMap()[0], baseColourMap(0)[50]);
    EXPECT_EQ(e.colourMap()[210], baseColourMap(0)[255]);

    const ColourMap rainbow = baseColourMap(2);
    EXPECT_EQ(rainbow[0], (Rgba{0, 0, 64, 255}));
    EXPECT_EQ(rainbow[64], (Rgba{0, 0, 255, 255}));
    EXPECT_EQ(rainbow[255], (Rgba{255, 0, 0, 255}));
    const ColourMap copper = baseColourMap(3);
    EXPECT_EQ(copper[100], (Rgba{127, 35, 3, 255}));
    EXPECT_EQ(copper[128], (Rgba{161, 45, 4, 255}));
    // Map 4's third segment starts afresh at (255, 246, 0).
    EXPECT_EQ(baseColourMap(4)[102], (Rgba{255, 246, 0, 255}));
    EXPECT_EQ(baseColourMap(4)[255], (Rgba{18, 23, 205, 255}));
}

TEST(EchogramView, RotationAspectAndProjection) {
    EchogramImage e;
    ASSERT_TRUE(e.SetRotation(2));
    EXPECT_FALSE(e.SetRotation(4));
    EXPECT_EQ(e.rotation(), 2u);
    EXPECT_DOUBLE_EQ(e.rotationDegrees(), 90.0);
    EXPECT_DOUBLE_EQ(e.columnX(0), 1.0);
    EXPECT_DOUBLE_EQ(e.columnX(1023), -1.0);
    e.SetRotation(3);
    EXPECT_DOUBLE_EQ(e.columnX(0), -1.0);
    EXPECT_FALSE(e.SetAspectMode(4));

    // Default aspect mode 0: wide windows widen the box, narrow ones grow it vertically.
    EXPECT_EQ(e.projection(400, 200), (OrthoBox{-2.0, 2.0, -1.0, 1.0}));
    EXPECT_EQ(e.projection(200, 400), (OrthoBox{-1.0, 1.0, -2.0, 2.0}));
    EXPECT_EQ(e.projection(0, 0), (OrthoBox{-1.0, 1.0, -1.0, 1.0}));  // zero sizes count as 1
    e.SetAspectMode(1);
    EXPECT_EQ(e.projection(400, 200), (OrthoBox{-1.0, 1.0, -1.0, 1.0}));
    e.SetAspectMode(2);
    EXPECT_EQ(e.projection(400, 200), (OrthoBox{-2.0, 2.0, -1.0, 1.0}));
    EXPECT_EQ(e.projection(200, 400), (OrthoBox{-1.0, 1.0, -1.0, 1.0}));
    e.SetAspectMode(3);
    EXPECT_EQ(e.projection(400, 200), (OrthoBox{-1.0, 1.0, -1.0, 1.0}));
    EXPECT_EQ(e.projection(200, 400), (OrthoBox{-1.0, 1.0, -2.0, 2.0}));
}

TEST(EchogramRender, NewestPingOnTopAndColumnZeroOnTheRight) {
    EchogramImage e;
    e.SetColourMap(1);
    Bytes ping(1024, 0);
    ping[0] = 200;
    e.AddPing(ping);
    RgbaImage picture = renderEchogram(e);
    ASSERT_EQ(picture.width, 1024);
    ASSERT_EQ(picture.height, 512);
    EXPECT_EQ(picture.at(1023, 0)[0], 200);
    EXPECT_EQ(picture.at(0, 0)[0], 0);
    e.SetRotation(2);
    picture = renderEchogram(e);
    EXPECT_EQ(picture.width, 512);
    EXPECT_EQ(picture.height, 1024);

    // The PNG holds a valid header and every row.
    const Bytes png = encodePng(picture);
    ASSERT_GT(png.size(), std::size_t{512} * 1024 * 4);
    EXPECT_EQ(png[1], 'P');
    EXPECT_EQ(std::string(png.end() - 8, png.end() - 4), "IEND");
}

} // namespace
} // namespace tarvik

// tarvik-cli image: sector pictures and echograms of record files, as PNG files.

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/whole_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

using tarvik::testing::runProgram;
using tarvik::testing::TempDir;

namespace {
using tarvik::testing::slurp;
const std::string kCli = TARVIK_CLI;

unsigned be32(const std::string& s, std::size_t at) {
    unsigned v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
    return v;
}
// The RGBA pixels of a PNG file as tarvik-cli writes it: one IDAT stream of
// stored deflate blocks, each row led by filter byte 0.
std::string pixelsOf(const std::string& png) {
    std::string z;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const unsigned length = be32(png, at);
        if (png.compare(at + 4, 4, "IDAT") == 0) z += png.substr(at + 8, length);
        at += 12 + length;
    }
    std::string raw;
    for (std::size_t at = 2; at + 5 <= z.size();) {
        const bool last = z[at] & 1;
        const unsigned length = static_cast<unsigned char>(z[at + 1]) | static_cast<unsigned char>(z[at + 2]) << 8;
        raw += z.substr(at + 5, length);
        at += 5 + length;
        if (last) break;
    }
    const unsigned width = be32(png, 16), height = be32(png, 20);
    std::string pixels;
    for (unsigned y = 0; y < height; ++y) pixels += raw.substr(y * (width * 4 + 1) + 1, width * 4);
    return pixels;
}
} // namespace

// The labels of the window's sector (range and angles) are in the picture too:
// the same renderer draws them in the same colour.
TEST(CliImage, SectorPictureCarriesTheRangeAndAngleLabels) {
    TempDir dir;
    const std::string file = dir.file("pictures.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--imagery", "40"}).status, 0);
    const std::string fan = dir.file("fan.png");
    auto r = runProgram(kCli, {"image", file, "--filter", "7008", "--out", fan});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string pixels = pixelsOf(slurp(fan));
    ASSERT_EQ(pixels.size(), 640u * 480 * 4);
    std::size_t labelPixels = 0;
    for (std::size_t i = 0; i + 4 <= pixels.size(); i += 4)
        labelPixels += static_cast<unsigned char>(pixels[i]) == 200 && static_cast<unsigned char>(pixels[i + 1]) == 200 &&
                       static_cast<unsigned char>(pixels[i + 2]) == 210;
    // At least the full range and the two edge angles, some 15 lit cells each.
    EXPECT_GT(labelPixels, 45u);
}

TEST(CliImage, DrawsTheSectorOfARowAndTheEchogramOfAFile) {
    TempDir dir;
    const std::string file = dir.file("pictures.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--imagery", "40"}).status, 0);

    const std::string fan = dir.file("fan.png");
    auto r = runProgram(kCli, {"image", file, "--filter", "7008", "--row", "1", "--size", "320", "200", "--out", fan});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string png = slurp(fan);
    ASSERT_GT(png.size(), 320u * 200 * 4);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_EQ(be32(png, 16), 320u);
    EXPECT_EQ(be32(png, 20), 200u);
    // Not a blank picture: the stored pixel rows hold many different bytes.
    EXPECT_GT(std::set<char>(png.begin(), png.end()).size(), 100u);

    const std::string waterfall = dir.file("echogram.png");
    r = runProgram(kCli, {"image", file, "--kind", "echogram", "--out", waterfall});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string echogram = slurp(waterfall);
    EXPECT_EQ(be32(echogram, 16), 1024u);
    EXPECT_EQ(be32(echogram, 20), 512u);
}

TEST(CliImage, RowsWithoutAPictureAndBadArguments) {
    TempDir dir;
    const std::string file = dir.file("pictures.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--imagery", "20"}).status, 0);
    const std::string out = dir.file("x.png");

    auto r = runProgram(kCli, {"image", file, "--filter", "7007", "--row", "0", "--out", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarvik-cli: the record of row 0 (type 7007) draws no sector picture\n");
    // Without --row: the first listed row that draws a picture, or a line saying none does.
    r = runProgram(kCli, {"image", file, "--filter", "7007", "--out", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("tarvik-cli: no listed row draws a sector picture (20 rows listed", 0), 0u) << r.err;
    r = runProgram(kCli, {"image", file, "--out", out});
    EXPECT_EQ(r.status, 0) << r.err;
    std::filesystem::remove(out);
    EXPECT_EQ(runProgram(kCli, {"image", file, "--row", "100000", "--out", out}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"image", file, "--kind", "fan", "--out", out}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"image", file}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"image", file, "--filter", "7011", "--out", dir.file("no/such/dir.png")}).status, 1);
}

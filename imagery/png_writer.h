#pragma once
// Writes an RGBA picture as a PNG file without any image library: the pixel
// rows go into stored (uncompressed) deflate blocks.

#include "imagery/echogram.h"

#include <string>

namespace tarvik {

Bytes encodePng(const RgbaImage& image);
// False when the file could not be written.
bool writePng(const std::string& path, const RgbaImage& image);

} // namespace tarvik

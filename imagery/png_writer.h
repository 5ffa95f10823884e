#pragma once
// Writes an RGBA picture as a PNG file without any image library: the pixel
// rows go into stored (uncompressed) deflate blocks.

#include "core/result.h"
#include "imagery/echogram.h"

#include <string>

namespace tarvik {

Bytes encodePng(const RgbaImage& image);
// False when the file could not be written. The file is written whole or not
// at all; an existing file is replaced only with `replace` (see WholeFileOutput).
Result<void> writePng(const std::string& path, const RgbaImage& image, bool replace);

} // namespace tarvik

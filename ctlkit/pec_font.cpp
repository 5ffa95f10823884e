#include "ctlkit/pec_font.h"

#include <algorithm>

namespace Nerith::Windows::Fonts {

PECFont::PECFont() = default;

PECFont::PECFont(const QString& face, int pixelHeight, int weight, bool italic, bool underline)
    : height_(std::max(1, pixelHeight)) {
    font_.setFamily(face);
    font_.setPixelSize(height_);
    font_.setWeight(static_cast<QFont::Weight>(std::clamp(weight, 1, 1000)));
    font_.setItalic(italic);
    font_.setUnderline(underline);
}

int PECFont::ScaleHeight(int heightAt96, int dotsPerInch) {
    const long long scaled = (static_cast<long long>(heightAt96) * dotsPerInch + 48) / 96;
    return static_cast<int>(std::clamp<long long>(scaled, 1, 10000));
}

PECFont PECFont::ForScreen(const QString& face, int heightAt96, int weight, int dotsPerInch) {
    return PECFont(face, ScaleHeight(heightAt96, dotsPerInch), weight);
}

} // namespace Nerith::Windows::Fonts

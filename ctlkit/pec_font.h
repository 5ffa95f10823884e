#pragma once
// PECFont: a font that remembers the pixel height it was made for.

#include "ctlkit/ctlkit_export.h"

#include <QFont>
#include <QString>

namespace Nerith::Windows::Fonts {

class CTLKIT_EXPORT PECFont {
public:
    PECFont();
    // weight on the 1..1000 scale (400 normal, 700 bold); height in pixels, above 0.
    PECFont(const QString& face, int pixelHeight, int weight = 400, bool italic = false, bool underline = false);

    // A font whose height is given for 96 dots per inch, scaled to a screen's dots per inch.
    static PECFont ForScreen(const QString& face, int heightAt96, int weight, int dotsPerInch);
    // heightAt96 * dotsPerInch / 96, rounded to nearest; at least 1.
    static int ScaleHeight(int heightAt96, int dotsPerInch);

    const QFont& GetFont() const { return font_; }
    operator const QFont&() const { return font_; }
    int GetHeight() const { return height_; }  // 0 for a font not made yet

private:
    QFont font_;
    int height_ = 0;
};

} // namespace Nerith::Windows::Fonts

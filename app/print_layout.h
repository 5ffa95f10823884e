#pragma once
// The printed page of a report, laid out in tenths of a millimetre: a header
// with a rule under it, the report lines broken at blanks to fit the width, and
// a footer with the page number and the date and time of printing. The layout
// is shared by the window's printer and the PDF of tarvik-cli; each measures
// text with its own font.

#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

inline constexpr std::string_view kPrintHeader = "Nerith Vx Record Test Tool";

struct PrintPageLayout {
    // A4 portrait.
    int pageWidth = 2100;
    int pageHeight = 2970;
    int marginLeft = 200;
    int marginRight = 150;
    int marginTop = 150;
    int marginBottom = 150;
    int lineHeight = 45;     // one body line
    int headerHeight = 110;  // header text, rule and the gap under it
    int footerHeight = 80;

    int bodyTop() const { return marginTop + headerHeight; }
    int bodyWidth() const { return pageWidth - marginLeft - marginRight; }
    int linesPerPage() const;
};

// Width of a text in tenths of a millimetre, in the font it is printed with.
using TextWidth = std::function<int(std::string_view)>;

// Cuts a line into pieces that fit `width`, breaking at blanks (the blank at a
// break is dropped). A word wider than the page is cut where the width ends.
// After 1000 breaks the rest is kept as the last piece.
std::vector<std::string> breakAtBlanks(std::string_view line, int width, const TextWidth& measure);

struct PrintedPage {
    int number = 0;  // from 1
    std::vector<std::string> lines;
};

std::vector<PrintedPage> paginate(const std::vector<std::string>& lines, const PrintPageLayout& layout,
                                  const TextWidth& measure);

// "Page %d" and the local date and time "%0d/%0d/%d   %0d:%0d:%0d".
std::string printPageNumber(int page);
std::string printDateTime(const std::tm& local);

} // namespace tarvik

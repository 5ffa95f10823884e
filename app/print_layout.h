#pragma once
// The printed page of a report, laid out in tenths of a millimetre: a header
// naming the tool and the record (file, record type, row) with a rule under
// it, the report lines broken between values to fit the width, and a footer
// with "Page N of M" and the date and time of printing. A heading is never
// left alone at the foot of a page. The layout is shared by the window's
// printer and the PDF of tarvik-cli; each measures text with its own font.

#include <ctime>
#include <cstdint>
#include <functional>
#include <optional>
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
    int headerHeight = 155;  // two header lines, the rule and the gap under it
    int footerHeight = 80;

    int bodyTop() const { return marginTop + headerHeight; }
    int bodyWidth() const { return pageWidth - marginLeft - marginRight; }
    int linesPerPage() const;
};

// Width of a text in tenths of a millimetre, in the font it is printed with.
using TextWidth = std::function<int(std::string_view)>;

// What the printed record is: the second header line of every page.
struct PrintHeading {
    std::string file;                      // the record file's name, or the live source
    std::optional<std::uint32_t> recordType;
    std::optional<std::size_t> row;        // the listed row
    // "sample.vxr   Record type 7004   Row 2" (parts that are unknown left out).
    std::string text() const;
};
// The record type a report names in its "Record type N, ..." line.
std::optional<std::uint32_t> reportRecordType(const std::vector<std::string>& lines);

// Cuts a line into pieces that fit `width`, breaking at blanks (the blank at a
// break is dropped); pieces after the first are indented four blanks deeper
// than the line, so that they read as its continuation. A word wider than the
// page is cut after a comma, semicolon or closing bracket where it can, else
// between two characters that are not both parts of a number, and only where
// neither is found, where the width ends. After 1000 breaks the rest is kept
// as the last piece.
std::vector<std::string> breakAtBlanks(std::string_view line, int width, const TextWidth& measure);

struct PrintedPage {
    int number = 0;  // from 1
    int total = 0;   // pages of the report
    std::vector<std::string> lines;
};

// True for a line that opens a block of the report: it follows a blank line
// (or starts the report) and the next line is not blank.
bool isHeadingLine(const std::vector<std::string>& lines, std::size_t i);

std::vector<PrintedPage> paginate(const std::vector<std::string>& lines, const PrintPageLayout& layout,
                                  const TextWidth& measure);

// "Page %d of %d" and the local date and time "%0d/%0d/%d   %0d:%0d:%0d".
std::string printPageNumber(int page, int total);
std::string printDateTime(const std::tm& local);

} // namespace tarvik

#pragma once
// The printed report as a PDF file, drawn with the page layout of the printer
// in a built-in monospaced font, without any desktop library.

#include "app/print_layout.h"

#include <ctime>
#include <string>
#include <vector>

namespace tarvik {

// Width in tenths of a millimetre of a text in the PDF's font.
int pdfTextWidth(std::string_view text);
// The layout the PDF is drawn with (line height of its font).
PrintPageLayout pdfPageLayout();

// Writes the report's lines as pages; false with `error` set when the file
// could not be written (it is then removed, never left half-written).
bool writeReportPdf(const std::string& path, const std::vector<std::string>& lines, const std::tm& printedAt,
                    std::string& error);

} // namespace tarvik

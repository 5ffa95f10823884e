#pragma once
// Draws a report's pages on a printer (or a preview, or a PDF printer) with
// the shared page layout, measuring text in the printer's font.

#include "app/print_layout.h"

#include <ctime>
#include <string>
#include <vector>

class QPrinter;

namespace tarvik {

// Returns the number of pages drawn.
int printReportPages(QPrinter& printer, const std::vector<std::string>& lines, const PrintHeading& heading,
                     const std::tm& printedAt);

} // namespace tarvik

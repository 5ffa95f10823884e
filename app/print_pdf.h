#pragma once
// The printed report as a PDF file, drawn with the page layout of the printer
// in a built-in monospaced font, without any desktop library.

#include "app/print_layout.h"
#include "core/whole_file_output.h"

#include <ctime>
#include <string>
#include <vector>

namespace tarvik {

// Width in tenths of a millimetre of a text in the PDF's font.
int pdfTextWidth(std::string_view text);
// The layout the PDF is drawn with (line height of its font).
PrintPageLayout pdfPageLayout();

// The PDF's bytes: the report's lines as pages under the heading.
std::string reportPdf(const std::vector<std::string>& lines, const PrintHeading& heading, const std::tm& printedAt);

// Writes the report's lines as pages, whole or not at all: an existing file is
// replaced only with Replace::Yes, and never when it is not a regular file.
// The reason when the file could not be written (nothing of it is then left behind).
Result<void> writeReportPdf(const std::string& path, const std::vector<std::string>& lines, const PrintHeading& heading,
                            const std::tm& printedAt, WholeFileOutput::Replace replace);

} // namespace tarvik

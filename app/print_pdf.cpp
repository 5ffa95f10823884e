#include "app/print_pdf.h"

#include "core/text.h"

#include <cstdio>

namespace tarvik {

namespace {

constexpr double kFontPoints = 9.0;
// Every glyph of the standard monospaced font is 600/1000 of the font size wide.
constexpr double kGlyphPoints = kFontPoints * 0.6;
constexpr double kPointsPerTenthMm = 72.0 / 254.0;

double points(int tenths) { return tenths * kPointsPerTenthMm; }

// A PDF string literal: parentheses and backslashes escaped, bytes outside
// printable ASCII as octal escapes.
std::string literal(std::string_view text) {
    std::string out = "(";
    for (unsigned char c : text) {
        if (c == '(' || c == ')' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 32 || c > 126) {
            out += strprintf("\\%03o", c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + ")";
}

} // namespace

int pdfTextWidth(std::string_view text) {
    return static_cast<int>(static_cast<double>(text.size()) * kGlyphPoints / kPointsPerTenthMm + 0.5);
}

PrintPageLayout pdfPageLayout() {
    PrintPageLayout layout;
    layout.lineHeight = 40;  // 9 point text with its leading
    return layout;
}

std::string reportPdf(const std::vector<std::string>& lines, const PrintHeading& heading, const std::tm& printedAt) {
    const PrintPageLayout layout = pdfPageLayout();
    const std::vector<PrintedPage> pages = paginate(lines, layout, pdfTextWidth);
    const double height = points(layout.pageHeight);
    auto y = [&](int tenths) { return height - points(tenths); };
    const std::string date = printDateTime(printedAt);

    // Objects: 1 catalog, 2 page tree, 3 font, then a page and its content per page.
    std::vector<std::string> objects(3);
    std::string kids;
    for (std::size_t p = 0; p < pages.size(); ++p) kids += strprintf("%zu 0 R ", 4 + 2 * p);
    objects[0] = "<< /Type /Catalog /Pages 2 0 R >>";
    objects[1] = strprintf("<< /Type /Pages /Kids [%s] /Count %zu >>", kids.c_str(), pages.size());
    objects[2] = "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>";

    const double left = points(layout.marginLeft);
    const double right = points(layout.pageWidth - layout.marginRight);
    for (std::size_t p = 0; p < pages.size(); ++p) {
        std::string content;
        auto text = [&](double x, double baseline, std::string_view s) {
            content += strprintf("BT /F1 %.1f Tf %.2f %.2f Td %s Tj ET\n", kFontPoints, x, baseline, literal(s).c_str());
        };
        const int headerBase = layout.marginTop + layout.lineHeight;
        text(left, y(headerBase), kPrintHeader);
        const std::string title = heading.text();
        const std::vector<std::string> titleLines = breakAtBlanks(title, layout.bodyWidth(), pdfTextWidth);
        text(left, y(headerBase + layout.lineHeight), titleLines.empty() ? std::string() : titleLines.front());
        const double rule = y(headerBase + layout.lineHeight + 20);
        content += strprintf("0.5 w %.2f %.2f m %.2f %.2f l S\n", left, rule, right, rule);
        int baseline = layout.bodyTop() + layout.lineHeight;
        for (const std::string& line : pages[p].lines) {
            text(left, y(baseline), line);
            baseline += layout.lineHeight;
        }
        const double footer = y(layout.pageHeight - layout.marginBottom);
        text(left, footer, printPageNumber(pages[p].number, pages[p].total));
        text(right - static_cast<double>(date.size()) * kGlyphPoints, footer, date);

        objects.push_back(strprintf("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %.2f %.2f] "
                                    "/Resources << /Font << /F1 3 0 R >> >> /Contents %zu 0 R >>",
                                    points(layout.pageWidth), height, 5 + 2 * p));
        objects.push_back(strprintf("<< /Length %zu >>\nstream\n", content.size()) + content + "endstream");
    }

    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += strprintf("%zu 0 obj\n", i + 1) + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += strprintf("xref\n0 %zu\n0000000000 65535 f \n", objects.size() + 1);
    for (std::size_t offset : offsets) pdf += strprintf("%010zu 00000 n \n", offset);
    pdf += strprintf("trailer\n<< /Size %zu /Root 1 0 R >>\nstartxref\n%zu\n%%%%EOF\n", objects.size() + 1, xref);

    return pdf;
}

Result<void> writeReportPdf(const std::string& path, const std::vector<std::string>& lines, const PrintHeading& heading,
                            const std::tm& printedAt, WholeFileOutput::Replace replace) {
    const std::string pdf = reportPdf(lines, heading, printedAt);
    return writeWholeFile(path, asBytes(pdf), replace);
}

} // namespace tarvik

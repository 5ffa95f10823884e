// Printing a report: lines broken at blanks to fit the page, pages with their
// header and number, and the PDF read back with a PDF text extractor.

#include "app/memory_port.h"
#include "app/print_layout.h"
#include "app/print_pdf.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tarvik;

namespace {
// One unit per character: widths are character counts.
const TextWidth kChars = [](std::string_view text) { return static_cast<int>(text.size()); };

std::vector<std::string> split(const std::string& text, char at) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == at) parts.emplace_back();
        else parts.back() += c;
    }
    return parts;
}
} // namespace

TEST(PrintLayout, BreaksLinesAtBlanksSoEachPieceFits) {
    EXPECT_EQ(breakAtBlanks("short line", 20, kChars), std::vector<std::string>{"short line"});
    EXPECT_EQ(breakAtBlanks("alpha beta gamma delta", 11, kChars),
              (std::vector<std::string>{"alpha beta", "gamma delta"}));
    // A word wider than the page is cut where the width ends.
    EXPECT_EQ(breakAtBlanks("abcdefghijkl xy", 5, kChars), (std::vector<std::string>{"abcde", "fghij", "kl xy"}));
    // Indented report lines keep their indent on the first piece.
    EXPECT_EQ(breakAtBlanks("   Size 400, offset 60", 12, kChars),
              (std::vector<std::string>{"   Size 400,", "offset 60"}));

    // No more than 1000 breaks: the rest stays whole in the last piece.
    std::string many;
    for (int i = 0; i < 1500; ++i) many += "ab ";
    auto pieces = breakAtBlanks(many, 2, kChars);
    EXPECT_EQ(pieces.size(), 1001u);
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) EXPECT_EQ(pieces[i], "ab");
    EXPECT_GT(pieces.back().size(), 2u);
}

TEST(PrintLayout, PagesFollowTheLinesThatFit) {
    PrintPageLayout layout;
    const int perPage = layout.linesPerPage();
    ASSERT_GT(perPage, 10);
    std::vector<std::string> lines;
    for (int i = 0; i < 2 * perPage + 3; ++i) lines.push_back("line " + std::to_string(i));
    auto pages = paginate(lines, layout, kChars);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].number, 1);
    EXPECT_EQ(pages[2].number, 3);
    EXPECT_EQ(pages[1].lines.front(), "line " + std::to_string(perPage));
    EXPECT_EQ(pages[2].lines.size(), 3u);
    EXPECT_EQ(paginate({}, layout, kChars).size(), 1u);  // an empty report still prints its page

    std::tm t{};
    t.tm_year = 124, t.tm_mon = 2, t.tm_mday = 5, t.tm_hour = 7, t.tm_min = 4, t.tm_sec = 9;
    EXPECT_EQ(printDateTime(t), "3/5/2024   7:4:9");
    EXPECT_EQ(printPageNumber(12), "Page 12");
}

TEST(PrintLayout, ReportOf130LinesPrintsToSeveralPagesOfPdf) {
    tarvik::testing::TempDir dir;
    std::vector<std::string> lines;
    for (int i = 1; i <= 130; ++i) lines.push_back("Report line " + std::to_string(i) + " (value) \\ end");
    lines[5] = std::string(300, 'w') + " tail";  // wider than the page
    std::tm t{};
    t.tm_year = 124, t.tm_mon = 2, t.tm_mday = 5, t.tm_hour = 17, t.tm_min = 4, t.tm_sec = 9;
    const std::string pdf = dir.file("report.pdf");
    std::string error;
    ASSERT_TRUE(writeReportPdf(pdf, lines, t, error)) << error;

    auto text = tarvik::testing::runProgram("/usr/bin/pdftotext", {"-layout", pdf, "-"});
    ASSERT_EQ(text.status, 0) << text.err;
    std::vector<std::string> pages = split(text.out, '\f');
    if (!pages.empty() && pages.back().find_first_not_of(" \n") == std::string::npos) pages.pop_back();
    ASSERT_GE(pages.size(), 3u);
    for (std::size_t p = 0; p < pages.size(); ++p) {
        EXPECT_NE(pages[p].find("Nerith Vx Record Test Tool"), std::string::npos) << "page " << p + 1;
        EXPECT_NE(pages[p].find("Page " + std::to_string(p + 1)), std::string::npos) << "page " << p + 1;
        EXPECT_NE(pages[p].find("3/5/2024   17:4:9"), std::string::npos) << "page " << p + 1;
    }
    EXPECT_NE(pages[0].find("Report line 1 (value) \\ end"), std::string::npos);
    EXPECT_NE(pages.back().find("Report line 130 (value) \\ end"), std::string::npos);
    EXPECT_NE(text.out.find(" tail"), std::string::npos);

    EXPECT_FALSE(writeReportPdf(dir.file("missing/report.pdf"), lines, t, error));
    EXPECT_FALSE(error.empty());
}

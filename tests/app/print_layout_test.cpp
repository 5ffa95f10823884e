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
    EXPECT_EQ(breakAtBlanks("alpha beta gamma delta", 15, kChars),
              (std::vector<std::string>{"alpha beta", "    gamma delta"}));
    // A word wider than the page is cut where the width ends.
    EXPECT_EQ(breakAtBlanks("abcdefghijkl xy", 5, kChars), (std::vector<std::string>{"abcde", "fghij", "kl xy"}));
}

// A line of values breaks between two values, never inside a number, and the
// pieces read as one line's continuation.
TEST(PrintLayout, LongLinesBreakBetweenValues) {
    const std::string angles = "   Beam horiz. direction angle (deg) -65.000 -56.333 -47.667 -39.000 -30.333 -21.667 "
                               "-13.000 -4.333 4.333 13.000 21.667 30.333 39.000 47.667 56.333 65.000";
    for (int width : {30, 41, 57, 80}) {
        const auto pieces = breakAtBlanks(angles, width, kChars);
        ASSERT_GT(pieces.size(), 1u);
        std::string joined;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            EXPECT_LE(static_cast<int>(pieces[i].size()), width) << pieces[i];
            if (i > 0) {
                EXPECT_EQ(pieces[i].rfind("       ", 0), 0u) << pieces[i];  // indent 3 + 4
            }
            const std::size_t text = pieces[i].find_first_not_of(' ');
            joined += (i == 0 ? pieces[i] : " " + pieces[i].substr(text));
        }
        EXPECT_EQ(joined, angles);  // every value whole, in order
    }
    // Values without blanks between them: cut after a comma, not inside a number.
    const auto listed = breakAtBlanks("1.500,22.250,333.125,4444.000", 14, kChars);
    ASSERT_GE(listed.size(), 2u);
    EXPECT_EQ(listed[0], "1.500,22.250,");
    // A word made of a number and letters is cut where the number ends.
    const auto mixed = breakAtBlanks("12345abcdefghij", 8, kChars);
    EXPECT_EQ(mixed[0], "12345abc");
    const auto unit = breakAtBlanks("abc1234567", 6, kChars);
    EXPECT_EQ(unit[0], "abc");
    // Indented report lines keep their indent; the continuation goes four deeper.
    EXPECT_EQ(breakAtBlanks("   Size 400, offset 60", 16, kChars),
              (std::vector<std::string>{"   Size 400,", "       offset 60"}));

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
    EXPECT_EQ(printDateTime(t), "03/05/2024   07:04:09");
    EXPECT_EQ(printPageNumber(12, 14), "Page 12 of 14");
    for (const PrintedPage& page : pages) EXPECT_EQ(page.total, 3);
}

// A heading that would end a page goes to the next one with its first line.
TEST(PrintLayout, HeadingNeverSitsAloneAtTheFootOfAPage) {
    PrintPageLayout layout;
    const std::size_t perPage = static_cast<std::size_t>(layout.linesPerPage());
    std::vector<std::string> lines;
    for (std::size_t i = 0; i + 2 < perPage; ++i) lines.push_back("filler " + std::to_string(i));
    lines.push_back("");
    lines.push_back("Record type 7004, Vx Beam Geometry");  // would be the page's last line
    lines.push_back("Number of receiver beams 16");
    lines.push_back("Checksum field 1, calc.= 1");
    ASSERT_TRUE(isHeadingLine(lines, perPage - 1));
    EXPECT_FALSE(isHeadingLine(lines, 0 + 1));
    const auto pages = paginate(lines, layout, kChars);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].lines.back(), "");
    EXPECT_EQ(pages[1].lines.front(), "Record type 7004, Vx Beam Geometry");
    EXPECT_EQ(pages[1].lines[1], "Number of receiver beams 16");
    EXPECT_EQ(pages[0].total, 2);
    // One line earlier the heading and its first line fit: nothing moves.
    lines.erase(lines.begin());
    EXPECT_EQ(paginate(lines, layout, kChars)[0].lines.back(), "Number of receiver beams 16");

    EXPECT_EQ(reportRecordType({"   Record # 2", "", "Record type 7004, Vx Beam Geometry"}), 7004u);
    EXPECT_FALSE(reportRecordType({"TEXT Lost Packet"}));
    PrintHeading heading{"s.vxr", 7004u, std::size_t{2}};
    EXPECT_EQ(heading.text(), "s.vxr   Record type 7004   Row 2");
    const PrintHeading live{"Live records", std::nullopt, std::nullopt};
    EXPECT_EQ(live.text(), "Live records");
}

TEST(PrintLayout, ReportOf130LinesPrintsToSeveralPagesOfPdf) {
    tarvik::testing::TempDir dir;
    std::vector<std::string> lines;
    for (int i = 1; i <= 130; ++i) lines.push_back("Report line " + std::to_string(i) + " (value) \\ end");
    lines[5] = std::string(300, 'w') + " tail";  // wider than the page
    std::tm t{};
    t.tm_year = 124, t.tm_mon = 2, t.tm_mday = 5, t.tm_hour = 17, t.tm_min = 4, t.tm_sec = 9;
    const std::string pdf = dir.file("report.pdf");
    const PrintHeading heading{"sample.vxr", 7027u, std::size_t{5}};
    const Result<void> written = writeReportPdf(pdf, lines, heading, t, WholeFileOutput::Replace::No);
    ASSERT_TRUE(written) << written.error();

    auto text = tarvik::testing::runProgram("/usr/bin/pdftotext", {"-layout", pdf, "-"});
    ASSERT_EQ(text.status, 0) << text.err;
    std::vector<std::string> pages = split(text.out, '\f');
    if (!pages.empty() && pages.back().find_first_not_of(" \n") == std::string::npos) pages.pop_back();
    ASSERT_GE(pages.size(), 3u);
    for (std::size_t p = 0; p < pages.size(); ++p) {
        EXPECT_NE(pages[p].find("Nerith Vx Record Test Tool"), std::string::npos) << "page " << p + 1;
        EXPECT_NE(pages[p].find("Page " + std::to_string(p + 1) + " of " + std::to_string(pages.size())),
                  std::string::npos)
            << "page " << p + 1;
        EXPECT_NE(pages[p].find("sample.vxr   Record type 7027   Row 5"), std::string::npos) << "page " << p + 1;
        EXPECT_NE(pages[p].find("03/05/2024   17:04:09"), std::string::npos) << "page " << p + 1;
    }
    EXPECT_NE(pages[0].find("Report line 1 (value) \\ end"), std::string::npos);
    EXPECT_NE(pages.back().find("Report line 130 (value) \\ end"), std::string::npos);
    EXPECT_NE(text.out.find(" tail"), std::string::npos);

    EXPECT_EQ(writeReportPdf(dir.file("missing/report.pdf"), lines, heading, t, WholeFileOutput::Replace::No).error(),
              "No such file or directory");
    // An existing PDF is kept unless replacing is asked for.
    const std::string kept = dir.write("kept.pdf", Bytes{'o', 'l', 'd'});
    EXPECT_EQ(writeReportPdf(kept, lines, heading, t, WholeFileOutput::Replace::No).error(), "file exists");
    EXPECT_EQ(std::filesystem::file_size(kept), 3u);
    EXPECT_TRUE(writeReportPdf(kept, lines, heading, t, WholeFileOutput::Replace::Yes));
    EXPECT_GT(std::filesystem::file_size(kept), 3u);
}

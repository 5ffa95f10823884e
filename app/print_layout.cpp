#include "app/print_layout.h"

#include "core/text.h"

#include <algorithm>

namespace tarvik {

namespace {
constexpr int kMaxBreaks = 1000;
constexpr std::size_t kContinuationIndent = 4;

bool numberPart(char c) { return (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+'; }
bool blankLine(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

// Where a word that does not fit may be cut: the longest prefix that fits and
// ends after a separator, else one that does not split a number.
std::size_t cutInWord(std::string_view line, int width, const TextWidth& measure) {
    std::size_t fits = 1;
    while (fits < line.size() && measure(line.substr(0, fits + 1)) <= width) ++fits;
    for (std::size_t cut = fits; cut > 1; --cut)
        if (line[cut - 1] == ',' || line[cut - 1] == ';' || line[cut - 1] == ')' || line[cut - 1] == ']')
            return cut;
    for (std::size_t cut = fits; cut > 1; --cut)
        if (cut >= line.size() || !(numberPart(line[cut - 1]) && numberPart(line[cut]))) return cut;
    return fits;
}
} // namespace

std::string PrintHeading::text() const {
    std::string out = file;
    auto add = [&](const std::string& part) { out += (out.empty() ? "" : "   ") + part; };
    if (recordType) add("Record type " + std::to_string(*recordType));
    if (row) add("Row " + std::to_string(*row));
    return out;
}

std::optional<std::uint32_t> reportRecordType(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        const std::size_t at = line.find_first_not_of(' ');
        if (at == std::string::npos || line.compare(at, 12, "Record type ") != 0) continue;
        std::uint64_t type = 0;
        std::size_t i = at + 12, digits = 0;
        for (; i < line.size() && line[i] >= '0' && line[i] <= '9' && digits < 10; ++i, ++digits)
            type = type * 10 + static_cast<std::uint64_t>(line[i] - '0');
        if (digits > 0 && type <= 0xFFFFFFFFull) return static_cast<std::uint32_t>(type);
    }
    return std::nullopt;
}

bool isHeadingLine(const std::vector<std::string>& lines, std::size_t i) {
    if (i >= lines.size() || blankLine(lines[i])) return false;
    if (i > 0 && !blankLine(lines[i - 1])) return false;
    return i + 1 < lines.size() && !blankLine(lines[i + 1]);
}

int PrintPageLayout::linesPerPage() const {
    const int body = pageHeight - bodyTop() - marginBottom - footerHeight;
    return std::max(1, lineHeight > 0 ? body / lineHeight : 1);
}

std::vector<std::string> breakAtBlanks(std::string_view whole, int width, const TextWidth& measure) {
    std::vector<std::string> pieces;
    const std::size_t indent = std::min(whole.find_first_not_of(' '), whole.size());
    std::string continuation(std::min<std::size_t>(indent + kContinuationIndent, 40), ' ');
    // On a page too narrow for it, continuations start at the margin.
    if (measure(continuation) * 2 > width) continuation.clear();
    std::string_view line = whole;
    std::string held;  // the piece being cut, with its indent
    int breaks = 0;
    auto current = [&]() -> std::string_view { return pieces.empty() ? line : std::string_view(held); };
    while (measure(current()) > width && breaks < kMaxBreaks) {
        const std::string_view text = current();
        const std::size_t lead = pieces.empty() ? 0 : continuation.size();
        // The longest prefix ending before a blank that fits.
        std::size_t cut = std::string_view::npos;
        for (std::size_t blank = text.find(' ', std::max<std::size_t>(lead, indent) + 1); blank != std::string_view::npos;
             blank = text.find(' ', blank + 1)) {
            if (measure(text.substr(0, blank)) > width) break;
            cut = blank;
        }
        std::size_t next = cut + 1;
        if (cut == std::string_view::npos || cut <= lead) {
            // No blank to break at: cut the word where it reads best.
            cut = std::max(lead + 1, cutInWord(text, width, measure));
            next = cut;
        }
        std::string piece(text.substr(0, cut));
        std::string rest(text.substr(std::min(next, text.size())));
        while (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
        pieces.push_back(std::move(piece));
        held = continuation + rest;
        if (rest.empty()) return pieces;
        ++breaks;
    }
    pieces.emplace_back(current());
    return pieces;
}

std::vector<PrintedPage> paginate(const std::vector<std::string>& lines, const PrintPageLayout& layout,
                                  const TextWidth& measure) {
    const std::size_t perPage = static_cast<std::size_t>(layout.linesPerPage());
    std::vector<PrintedPage> pages;
    pages.push_back({1, 0, {}});
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> pieces = breakAtBlanks(lines[i], layout.bodyWidth(), measure);
        // A heading goes to the next page when it and the first line after it
        // would not both fit on this one.
        if (isHeadingLine(lines, i) && perPage > pieces.size() + 1 && !pages.back().lines.empty() &&
            pages.back().lines.size() + pieces.size() + 1 > perPage)
            pages.push_back({pages.back().number + 1, 0, {}});
        for (std::string& piece : pieces) {
            if (pages.back().lines.size() == perPage) pages.push_back({pages.back().number + 1, 0, {}});
            pages.back().lines.push_back(std::move(piece));
        }
    }
    for (PrintedPage& page : pages) page.total = static_cast<int>(pages.size());
    return pages;
}

std::string printPageNumber(int page, int total) { return strprintf("Page %d of %d", page, total); }

// Month, day, hours, minutes and seconds zero-padded to two digits, as every
// other date the tool shows: "12/09/2026   23:09:00", never "12/9/2026   23:9:0".
std::string printDateTime(const std::tm& local) {
    return strprintf("%02d/%02d/%d   %02d:%02d:%02d", local.tm_mon + 1, local.tm_mday, local.tm_year + 1900, local.tm_hour,
                     local.tm_min, local.tm_sec);
}

} // namespace tarvik

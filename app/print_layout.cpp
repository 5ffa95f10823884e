#include "app/print_layout.h"

#include "core/text.h"

#include <algorithm>

namespace tarvik {

namespace {
constexpr int kMaxBreaks = 1000;
} // namespace

int PrintPageLayout::linesPerPage() const {
    const int body = pageHeight - bodyTop() - marginBottom - footerHeight;
    return std::max(1, lineHeight > 0 ? body / lineHeight : 1);
}

std::vector<std::string> breakAtBlanks(std::string_view line, int width, const TextWidth& measure) {
    std::vector<std::string> pieces;
    int breaks = 0;
    while (measure(line) > width && breaks < kMaxBreaks) {
        // The longest prefix ending before a blank that fits.
        std::size_t cut = std::string_view::npos;
        for (std::size_t blank = line.find(' ', 1); blank != std::string_view::npos; blank = line.find(' ', blank + 1)) {
            if (measure(line.substr(0, blank)) > width) break;
            cut = blank;
        }
        std::size_t next = cut + 1;
        if (cut == std::string_view::npos) {
            // No blank to break at: as many characters as fit, at least one.
            cut = 1;
            while (cut < line.size() && measure(line.substr(0, cut + 1)) <= width) ++cut;
            next = cut;
        }
        pieces.emplace_back(line.substr(0, cut));
        line.remove_prefix(std::min(next, line.size()));
        ++breaks;
    }
    pieces.emplace_back(line);
    return pieces;
}

std::vector<PrintedPage> paginate(const std::vector<std::string>& lines, const PrintPageLayout& layout,
                                  const TextWidth& measure) {
    const std::size_t perPage = static_cast<std::size_t>(layout.linesPerPage());
    std::vector<PrintedPage> pages;
    pages.push_back({1, {}});
    for (const std::string& line : lines) {
        for (std::string& piece : breakAtBlanks(line, layout.bodyWidth(), measure)) {
            if (pages.back().lines.size() == perPage) pages.push_back({pages.back().number + 1, {}});
            pages.back().lines.push_back(std::move(piece));
        }
    }
    return pages;
}

std::string printPageNumber(int page) { return strprintf("Page %d", page); }

std::string printDateTime(const std::tm& local) {
    return strprintf("%0d/%0d/%d   %0d:%0d:%0d", local.tm_mon + 1, local.tm_mday, local.tm_year + 1900, local.tm_hour,
                     local.tm_min, local.tm_sec);
}

} // namespace tarvik

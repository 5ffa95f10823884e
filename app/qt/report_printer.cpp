#include "app/qt/report_printer.h"

#include "app/print_layout.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

#include <cmath>

namespace tarvik {

namespace {
QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
} // namespace

int printReportPages(QPrinter& printer, const std::vector<std::string>& lines, const PrintHeading& heading,
                     const std::tm& printedAt) {
    QPainter painter;
    if (!painter.begin(&printer)) return 0;
    // Device pixels per tenth of a millimetre.
    const double scale = printer.resolution() / 254.0;
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(9.0);
    painter.setFont(font);
    const QFontMetricsF metrics(font, &printer);

    PrintPageLayout layout;
    const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
    layout.pageWidth = static_cast<int>(paper.width() / scale);
    layout.pageHeight = static_cast<int>(paper.height() / scale);
    layout.lineHeight = std::max(1, static_cast<int>(std::ceil(metrics.lineSpacing() / scale)));
    const TextWidth measure = [&](std::string_view text) {
        return static_cast<int>(std::ceil(metrics.horizontalAdvance(qs(text)) / scale));
    };
    const std::vector<PrintedPage> pages = paginate(lines, layout, measure);
    // The painter works in page coordinates; the paper's origin lies left of and above them.
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    auto at = [&](int x, int y) { return QPointF(x * scale - page.left(), y * scale - page.top()); };
    const QString date = qs(printDateTime(printedAt));

    for (std::size_t p = 0; p < pages.size(); ++p) {
        if (p > 0) printer.newPage();
        const int headerBase = layout.marginTop + layout.lineHeight;
        painter.drawText(at(layout.marginLeft, headerBase), qs(kPrintHeader));
        const std::vector<std::string> title = breakAtBlanks(heading.text(), layout.bodyWidth(), measure);
        painter.drawText(at(layout.marginLeft, headerBase + layout.lineHeight), qs(title.empty() ? "" : title.front()));
        const int rule = headerBase + layout.lineHeight + 20;
        painter.drawLine(at(layout.marginLeft, rule), at(layout.pageWidth - layout.marginRight, rule));
        int baseline = layout.bodyTop() + layout.lineHeight;
        for (const std::string& line : pages[p].lines) {
            painter.drawText(at(layout.marginLeft, baseline), qs(line));
            baseline += layout.lineHeight;
        }
        const int footer = layout.pageHeight - layout.marginBottom;
        painter.drawText(at(layout.marginLeft, footer), qs(printPageNumber(pages[p].number, pages[p].total)));
        const int dateWidth = measure(date.toStdString());
        painter.drawText(at(layout.pageWidth - layout.marginRight - dateWidth, footer), date);
    }
    painter.end();
    return static_cast<int>(pages.size());
}

} // namespace tarvik

#include "app/qt/bytes_pane.h"

#include "core/text.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>

namespace tarvik {

namespace {
constexpr int kOffsetColumns = 9;  // "%08X "
constexpr int kBytesPerLine = 16;
} // namespace

CBytesPane::CBytesPane(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

int CBytesPane::lineTextWidth() const {
    const std::uint8_t sixteen[kBytesPerLine] = {};
    const std::string line = hexDumpLines(sixteen).front();
    return fontMetrics().horizontalAdvance(QString(static_cast<qsizetype>(line.size()), QChar('0')));
}

QSize CBytesPane::minimumSizeHint() const {
    const int margins = 2 * static_cast<int>(document()->documentMargin()) + 2 * frameWidth() + 4;
    return {lineTextWidth() + margins + verticalScrollBar()->sizeHint().width(),
            QPlainTextEdit::minimumSizeHint().height()};
}

int CBytesPane::hexColumn(int byteInLine) {
    return kOffsetColumns + 1 + 3 * byteInLine + (byteInLine >= 8 ? 1 : 0);
}

int CBytesPane::charColumn(int byteInLine) { return hexColumn(kBytesPerLine - 1) + 2 + 2 + byteInLine; }

std::optional<int> CBytesPane::byteInLineAt(int column) {
    for (int i = 0; i < kBytesPerLine; ++i)
        if (column >= hexColumn(i) - 1 && column < hexColumn(i) + 2) return i;
    if (column >= charColumn(0) && column < charColumn(kBytesPerLine)) return column - charColumn(0);
    return std::nullopt;
}

void CBytesPane::setBytes(std::span<const std::uint8_t> bytes) {
    size_ = bytes.size();
    highlighted_ = {0, 0};
    shaded_.clear();
    shadeMarks_.clear();
    setExtraSelections({});
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size() / 16 * 78 + 80));
    for (const std::string& line : hexDumpLines(bytes)) {
        text += QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
        text += '\n';
    }
    if (!text.isEmpty()) text.chop(1);
    setPlainText(text);
}

void CBytesPane::addMarks(QList<QTextEdit::ExtraSelection>& marks, std::size_t offset, std::size_t count,
                          const QTextCharFormat& format) const {
    // One mark per line part: the run of hex digits and the run of characters.
    for (std::size_t at = offset; at < offset + count;) {
        const std::size_t line = at / kBytesPerLine;
        const int first = static_cast<int>(at % kBytesPerLine);
        const int last = static_cast<int>(std::min<std::size_t>(offset + count - 1, line * kBytesPerLine + 15) %
                                          kBytesPerLine);
        const QTextBlock block = document()->findBlockByNumber(static_cast<int>(line));
        if (!block.isValid()) break;
        auto mark = [&](int from, int to) {
            QTextEdit::ExtraSelection s;
            s.format = format;
            s.cursor = QTextCursor(block);
            s.cursor.setPosition(block.position() + from);
            s.cursor.setPosition(block.position() + to, QTextCursor::KeepAnchor);
            marks.push_back(s);
        };
        mark(hexColumn(first), hexColumn(last) + 2);
        mark(charColumn(first), charColumn(last) + 1);
        at = (line + 1) * kBytesPerLine;
    }
}

QColor CBytesPane::shadeColour() const {
    // Halfway between the text's background and the frame's mid tone, so it
    // reads as shaded in light and dark palettes alike.
    const QColor base = palette().color(QPalette::Base), mid = palette().color(QPalette::Mid);
    return QColor((base.red() + mid.red()) / 2, (base.green() + mid.green()) / 2, (base.blue() + mid.blue()) / 2);
}

void CBytesPane::shade(const std::vector<std::pair<std::size_t, std::size_t>>& ranges) {
    shaded_.clear();
    shadeMarks_.clear();
    QTextCharFormat format;
    format.setBackground(shadeColour());
    // A record of many megabytes is shaded up to this many lines' worth of marks.
    constexpr std::size_t kMaxMarks = 20000;
    for (const auto& [offset, count] : ranges) {
        if (offset >= size_ || count == 0) continue;
        const std::size_t n = std::min(count, size_ - offset);
        shaded_.emplace_back(offset, n);
        if (static_cast<std::size_t>(shadeMarks_.size()) < kMaxMarks) addMarks(shadeMarks_, offset, n, format);
    }
    highlight(highlighted_.first, highlighted_.second);
}

void CBytesPane::highlight(std::size_t offset, std::size_t count) {
    if (offset >= size_) count = 0;
    count = std::min(count, size_ - std::min(offset, size_));
    highlighted_ = {offset, count};
    QList<QTextEdit::ExtraSelection> marks;
    QTextCharFormat format;
    format.setBackground(palette().highlight());
    format.setForeground(palette().highlightedText());
    addMarks(marks, offset, count, format);
    setExtraSelections(shadeMarks_ + marks);
    if (!marks.isEmpty()) {
        QTextCursor c = marks.front().cursor;
        c.clearSelection();
        setTextCursor(c);
        ensureCursorVisible();
    }
}

void CBytesPane::mouseReleaseEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || textCursor().hasSelection()) return;
    const QTextCursor at = cursorForPosition(event->position().toPoint());
    const auto byte = byteInLineAt(at.positionInBlock());
    if (!byte) return;
    const std::size_t offset = static_cast<std::size_t>(at.blockNumber()) * kBytesPerLine + static_cast<std::size_t>(*byte);
    if (offset < size_) emit byteClicked(offset);
}

} // namespace tarvik

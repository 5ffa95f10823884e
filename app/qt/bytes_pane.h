#pragma once
// The selected record's bytes as a hex view: 16 bytes a line with their
// offset and printable characters. Bytes can be picked out (the bytes of the
// chosen report line); clicking a byte reports its offset.

#include <QPlainTextEdit>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tarvik {

class CBytesPane : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CBytesPane(QWidget* parent = nullptr);

    void setBytes(std::span<const std::uint8_t> bytes);
    // Marks `count` bytes from `offset` (count 0: nothing) and scrolls to them.
    void highlight(std::size_t offset, std::size_t count);
    std::size_t byteCount() const { return size_; }
    std::pair<std::size_t, std::size_t> highlighted() const { return highlighted_; }
    // Shades bytes that no layout item decoded: (offset, count) pairs. Cleared by setBytes.
    void shade(const std::vector<std::pair<std::size_t, std::size_t>>& ranges);
    const std::vector<std::pair<std::size_t, std::size_t>>& shaded() const { return shaded_; }
    // The background of shaded bytes.
    QColor shadeColour() const;

    // Where the text of a byte sits on its line, and the byte under a column.
    static int hexColumn(int byteInLine);
    static int charColumn(int byteInLine);
    static std::optional<int> byteInLineAt(int column);
    // Wide enough for a whole line: offset, sixteen bytes and their characters.
    QSize minimumSizeHint() const override;
    // The pixels the text of a whole line needs in the pane's font.
    int lineTextWidth() const;

signals:
    void byteClicked(std::size_t offset);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::size_t size_ = 0;
    std::pair<std::size_t, std::size_t> highlighted_{0, 0};
    // The marks of both parts of a run of bytes, hex digits and characters.
    void addMarks(QList<QTextEdit::ExtraSelection>& marks, std::size_t offset, std::size_t count,
                  const QTextCharFormat& format) const;
    std::vector<std::pair<std::size_t, std::size_t>> shaded_;
    QList<QTextEdit::ExtraSelection> shadeMarks_;
};

} // namespace tarvik

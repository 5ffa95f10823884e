#pragma once
// A list box whose horizontal scroll range follows its widest line. Lines can
// be marked (drawn in another colour), e.g. report lines that changed since the
// previous report of the same record type.

#include "app/view_port.h"

#include <QListWidget>

#include <span>

namespace tarvik {

class CHListBox : public QListWidget {
    Q_OBJECT
public:
    explicit CHListBox(QWidget* parent = nullptr);

    // Adding a line measures only that line; the extent grows when it is wider.
    void addString(const QString& text, bool marked = false);
    // Deleting a line measures all remaining lines and takes the widest.
    void deleteString(int row);
    void resetContent();
    // Replaces every line; drawing is suspended while they are added.
    void setLines(std::span<const ReportLine> lines);

    // The widest line in pixels (text width plus three border widths).
    int horizontalExtent() const { return extent_; }
    bool isMarked(int row) const;
    QStringList lines() const;

    static QColor markedColour() { return QColor(0xB0, 0x10, 0x10); }

    // Shown, greyed, while the list holds no line: what fills it.
    void setPlaceholderText(const QString& text);
    QString placeholderText() const { return placeholder_; }

    // Wrapped, a line longer than the list is wide goes on below instead of
    // needing the horizontal scroll bar, and every line is as high as its
    // wrapped text, so that none is shown cut (the report list).
    void setWrapLines(bool on);
    bool wrapLines() const { return wrap_; }
    // The text lines a line takes at the list's present width (1 unwrapped).
    int wrappedLineCount(int row) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int lineWidth(const QString& text) const;
    QSize lineSize(const QString& text) const;
    int textLines(const QString& text) const;
    void applyExtent();

    int extent_ = 0;
    QString placeholder_;
    bool wrap_ = false;
    int wrapWidth_ = 0;  // the width the lines were last measured at
};

} // namespace tarvik

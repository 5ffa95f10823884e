#pragma once
// A drop-down list whose items carry check marks. Its text is the joined text
// of the checked items (the no-selection text when none is checked); a click
// or the space bar in the open drop-down toggles an item without closing it.

#include "app/check_combo_text.h"

#include <QComboBox>

class QStandardItemModel;

namespace tarvik {

class CCheckComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit CCheckComboBox(QString noSelectionText, QWidget* parent = nullptr);

    // Adds an unchecked item at the end.
    void addCheckItem(const QString& text);
    void clearItems();
    bool isChecked(int item) const;
    void setChecked(int item, bool on);
    // Toggles an item's check mark and sends the selection-change notification.
    void toggle(int item);
    // Checks exactly the items whose texts are pieces of `joined` (the control's
    // text set from outside); everything else is unchecked.
    void setJoinedText(const QString& joined);

    // The control's text: the joined text of the checked items.
    QString text() const;
    const QString& separator() const { return separator_; }

    void hidePopup() override;

signals:
    // A check mark changed (the combo box's selection-change notification).
    void checkSelectionChanged();
    // The drop-down closed.
    void dropDownClosed();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QStandardItemModel* items_;
    QString noSelectionText_;
    QString separator_;
    mutable QString joined_;
    mutable bool joinedCurrent_ = false;
};

} // namespace tarvik

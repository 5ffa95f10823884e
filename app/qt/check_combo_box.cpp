#include "app/qt/check_combo_box.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStandardItemModel>
#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace tarvik {

namespace {
// The platform keeps no list separator in its locale data; the rule's fallback applies.
QString localeListSeparator() { return {}; }
} // namespace

CCheckComboBox::CCheckComboBox(QString noSelectionText, QWidget* parent)
    : QComboBox(parent), items_(new QStandardItemModel(this)), noSelectionText_(std::move(noSelectionText)),
      separator_(QString::fromStdString(checkComboSeparator(localeListSeparator().toStdString()))) {
    setModel(items_);
    view()->viewport()->installEventFilter(this);
    view()->installEventFilter(this);
}

void CCheckComboBox::addCheckItem(const QString& text) {
    auto* item = new QStandardItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setData(Qt::Unchecked, Qt::CheckStateRole);
    items_->appendRow(item);
    joinedCurrent_ = false;
    update();
}

void CCheckComboBox::clearItems() {
    items_->clear();
    joinedCurrent_ = false;
    update();
}

bool CCheckComboBox::isChecked(int item) const {
    const QStandardItem* it = items_->item(item);
    return it && it->checkState() == Qt::Checked;
}

void CCheckComboBox::setChecked(int item, bool on) {
    QStandardItem* it = items_->item(item);
    if (!it) return;
    it->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    joinedCurrent_ = false;
    update();
}

void CCheckComboBox::toggle(int item) {
    if (item < 0 || item >= items_->rowCount()) return;
    setChecked(item, !isChecked(item));
    emit checkSelectionChanged();
}

void CCheckComboBox::setJoinedText(const QString& joined) {
    const QStringList pieces = joined.split(separator_.trimmed(), Qt::SkipEmptyParts);
    for (int i = 0; i < items_->rowCount(); ++i) {
        bool on = false;
        for (const QString& piece : pieces) on = on || piece.trimmed() == items_->item(i)->text();
        setChecked(i, on);
    }
}

QString CCheckComboBox::text() const {
    if (!joinedCurrent_) {
        std::vector<CheckItem> checks;
        checks.reserve(static_cast<std::size_t>(items_->rowCount()));
        for (int i = 0; i < items_->rowCount(); ++i) checks.push_back({items_->item(i)->text().toStdString(), isChecked(i)});
        joined_ = QString::fromStdString(
            joinCheckedItems(checks, separator_.toStdString(), noSelectionText_.toStdString()));
        joinedCurrent_ = true;
    }
    return joined_;
}

void CCheckComboBox::hidePopup() {
    QComboBox::hidePopup();
    emit dropDownClosed();
}

void CCheckComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText = text();
    option.currentIcon = {};
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

// In the open drop-down a click or the space bar toggles the item under it and
// keeps the drop-down open instead of choosing the item.
bool CCheckComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view()->viewport()) {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                const QModelIndex index = view()->indexAt(mouse->position().toPoint());
                if (index.isValid()) toggle(index.row());
            }
            return true;
        }
    } else if (watched == view() && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space) {
            toggle(view()->currentIndex().row());
            return true;
        }
    }
    return QComboBox::eventFilter(watched, event);
}

} // namespace tarvik

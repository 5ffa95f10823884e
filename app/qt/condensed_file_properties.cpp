#include "app/qt/condensed_file_properties.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tarvik {

CCondensedFileProperties::CCondensedFileProperties(QWidget* parent) : QDialog(parent), choices_(new QButtonGroup(this)) {
    setWindowTitle("Condensed File");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Choose Data Separator", this));
    const char* names[] = {"Tab", "Space", "Comma", "Fixed Width Fields"};
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(names[i], this);
        choices_->addButton(radio, i);
        layout->addWidget(radio);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (onOk_) onOk_(shownChoice());
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    choose(DataSeparator::FixedWidth);
}

void CCondensedFileProperties::showWith(DataSeparator current, std::function<void(DataSeparator)> onOk) {
    onOk_ = std::move(onOk);
    choose(current);
    show();
    raise();
    activateWindow();
}

DataSeparator CCondensedFileProperties::shownChoice() const {
    const int id = choices_->checkedId();
    return id < 0 ? DataSeparator::FixedWidth : static_cast<DataSeparator>(id);
}

void CCondensedFileProperties::choose(DataSeparator separator) {
    if (auto* b = choices_->button(static_cast<int>(separator))) b->setChecked(true);
}

} // namespace tarvik

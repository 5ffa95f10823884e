#include "app/qt/remote_control_dlg.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvik {

CRemoteControlDlg::CRemoteControlDlg(const std::string& caption, const std::vector<std::string>& lines, QWidget* parent)
    : QDialog(parent), list_(new QListWidget(this)) {
    setWindowTitle(QString::fromStdString(caption));
    setObjectName("RemoteControlConstruction");
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(kRed, kGreen, kBlue));
    palette.setColor(QPalette::Button, QColor(kRed, kGreen, kBlue));
    setPalette(palette);
    setAutoFillBackground(true);

    for (const auto& line : lines) list_->addItem(QString::fromStdString(line));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    resize(460, 300);
}

} // namespace tarvik

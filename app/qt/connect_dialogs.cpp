#include "app/qt/connect_dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QVBoxLayout>

namespace tarvik {

CDlgConnectFailed::CDlgConnectFailed(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Connection Error");
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    top->addWidget(icon, 0, Qt::AlignTop);
    message_ = new QLabel("The connection failed!", this);
    message_->setWordWrap(true);
    top->addWidget(message_, 1);
    layout->addLayout(top);
    delete_ = new QCheckBox(this);
    delete_->hide();
    layout->addWidget(delete_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CDlgConnectFailed::setUp(const ConnectFailedRequest& request) {
    message_->setText(QString::fromStdString(request.message));
    delete_->setChecked(false);
    delete_->setVisible(request.address.has_value());
    if (request.address)
        delete_->setText(QString("  Delete  %1  from the recent address list?").arg(QString::fromStdString(*request.address)));
}

bool CDlgConnectFailed::deleteAnswer() const { return !delete_->isHidden() && delete_->isChecked(); }

CDlgNumber::CDlgNumber(const NumberRequest& request, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromStdString(request.title));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromStdString(request.text), this));
    layout->addWidget(new QLabel(QString::fromStdString(request.hint), this));
    field_ = new QLineEdit(QString::fromStdString(request.initial), this);
    field_->selectAll();
    layout->addWidget(field_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

std::string CDlgNumber::value() const { return field_->text().toStdString(); }

} // namespace tarvik

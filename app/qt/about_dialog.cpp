#include "app/qt/about_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace tarvik {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Tarvik");
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QString("Tarvik Version %1").arg(TARVIK_VERSION), this);
    name->setObjectName("version");
    layout->addWidget(name);
    layout->addWidget(new QLabel("A test and inspection tool for the Vx sonar data protocol.", this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace tarvik

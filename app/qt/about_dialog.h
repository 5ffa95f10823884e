#pragma once
// The About box: the program's name and version, and an OK button.

#include <QDialog>

namespace tarvik {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

} // namespace tarvik

#pragma once
// "Remote Control Construction": the value list and bit fields of one
// parameter of the chosen command, in a list box with an OK button.

#include <QDialog>

#include <string>
#include <vector>

class QListWidget;

namespace tarvik {

class CRemoteControlDlg : public QDialog {
    Q_OBJECT
public:
    // The dialog's background (and that behind its texts and buttons).
    static constexpr int kRed = 175, kGreen = 185, kBlue = 175;

    CRemoteControlDlg(const std::string& caption, const std::vector<std::string>& lines, QWidget* parent = nullptr);
    QListWidget* listBox() const { return list_; }

private:
    QListWidget* list_;
};

} // namespace tarvik

#pragma once
// The modeless "Choose Data Separator" dialog of File -> "Setup For Condensed
// File": four choices; OK stores the chosen one, Cancel keeps the stored one.

#include "core/condense.h"

#include <QDialog>

#include <functional>

class QButtonGroup;

namespace tarvik {

class CCondensedFileProperties : public QDialog {
    Q_OBJECT
public:
    explicit CCondensedFileProperties(QWidget* parent = nullptr);

    // Shows the dialog with `current` chosen; `onOk` receives the choice when OK is pressed.
    void showWith(DataSeparator current, std::function<void(DataSeparator)> onOk);
    // The choice the radio buttons show now.
    DataSeparator shownChoice() const;
    void choose(DataSeparator separator);

private:
    QButtonGroup* choices_;
    std::function<void(DataSeparator)> onOk_;
};

} // namespace tarvik

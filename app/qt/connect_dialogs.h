#pragma once
// The dialogs of the connection and the record list: "Connection Error" with
// its offer to delete the address from the recent list, and the one-number
// dialog of "Limit Records In Scrolling Display".

#include "app/view_port.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace tarvik {

class CDlgConnectFailed : public QDialog {
    Q_OBJECT
public:
    explicit CDlgConnectFailed(QWidget* parent = nullptr);
    // The message, and the address whose deletion the check box offers (none: no check box).
    void setUp(const ConnectFailedRequest& request);
    bool deleteAnswer() const;
    QCheckBox* deleteBox() const { return delete_; }

private:
    QLabel* message_;
    QCheckBox* delete_;
};

class CDlgNumber : public QDialog {
    Q_OBJECT
public:
    CDlgNumber(const NumberRequest& request, QWidget* parent = nullptr);
    std::string value() const;
    QLineEdit* field() const { return field_; }

private:
    QLineEdit* field_;
};

} // namespace tarvik

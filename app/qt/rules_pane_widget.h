#pragma once
// The Rules pane: the rules of a test profile with a green or red mark, the
// failure count and the latest failing row, refreshed while records arrive;
// a click on a rule selects its latest failing row.

#include <QWidget>

class QLabel;
class QTimer;
class QTreeWidget;

namespace tarvik {

class CMyTarvikView;

class RulesPaneWidget : public QWidget {
    Q_OBJECT
public:
    explicit RulesPaneWidget(CMyTarvikView& view, QWidget* parent = nullptr);

    QTreeWidget* tree() const { return tree_; }
    // Shows the rules as they stand now.
    void refresh();

private:
    CMyTarvikView& view_;
    QLabel* profile_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QTimer* timer_ = nullptr;
};

} // namespace tarvik

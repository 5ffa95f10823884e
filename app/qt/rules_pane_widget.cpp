#include "app/qt/rules_pane_widget.h"

#include "app/tarvik_view.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tarvik {

namespace {
// How often the pane looks at the verdicts while it is shown: often enough to
// follow a live feed, seldom enough to cost nothing beside it.
constexpr int kRefreshMs = 500;
} // namespace

RulesPaneWidget::RulesPaneWidget(CMyTarvikView& view, QWidget* parent) : QWidget(parent), view_(view) {
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* load = new QPushButton("Load Profile...", this);
    load->setObjectName("loadProfile");
    profile_ = new QLabel(this);
    profile_->setObjectName("profilePath");
    top->addWidget(load);
    top->addWidget(profile_, 1);
    layout->addLayout(top);
    tree_ = new QTreeWidget(this);
    tree_->setObjectName("rules");
    tree_->setRootIsDecorated(false);
    tree_->setHeaderLabels({"", "Rule", "Failures", "Latest Row", "Note"});
    tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(tree_);
    connect(load, &QPushButton::clicked, this, [this] {
        view_.OnLoadProfile();
        refresh();
    });
    connect(tree_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        view_.OnRuleClicked(static_cast<std::size_t>(tree_->indexOfTopLevelItem(item)));
    });
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (isVisible()) refresh();
    });
    timer_->start(kRefreshMs);
    refresh();
}

void RulesPaneWidget::refresh() {
    RulesPane& rules = view_.rules();
    profile_->setText(rules.loaded() ? QString::fromStdString(rules.profilePath()) : "No profile loaded");
    const std::vector<RulesPane::Row> rows = rules.rows();
    tree_->setUpdatesEnabled(false);
    while (tree_->topLevelItemCount() > static_cast<int>(rows.size())) delete tree_->takeTopLevelItem(tree_->topLevelItemCount() - 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RulesPane::Row& row = rows[i];
        QTreeWidgetItem* item = tree_->topLevelItem(static_cast<int>(i));
        if (!item) item = new QTreeWidgetItem(tree_);
        const bool judged = row.outcome != profiles::Outcome::NotEvaluated;
        item->setText(0, QString::fromUtf8("\u25CF"));
        item->setForeground(0, row.red ? QColor(200, 30, 30) : judged ? QColor(30, 150, 30) : QColor(150, 150, 150));
        item->setText(1, QString::fromStdString(row.name));
        item->setText(2, QString::number(row.failures));
        item->setText(3, row.latestRow ? QString::number(*row.latestRow) : QString());
        item->setText(4, QString::fromStdString(row.red ? row.latestText : row.note));
    }
    tree_->setUpdatesEnabled(true);
}

} // namespace tarvik

#include "app/qt/layout_workbench.h"

#include "app/tarvik_view.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace tarvik {

CLayoutProblemsPane::CLayoutProblemsPane(QWidget* parent)
    : QWidget(parent), title_(new QLabel("Layout Problems", this)), list_(new QListWidget(this)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 2, 0, 0);
    column->setSpacing(2);
    column->addWidget(title_);
    column->addWidget(list_, 1);
    list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    setVisible(false);
}

void CLayoutProblemsPane::setProblems(std::span<const std::string> lines) {
    list_->clear();
    for (const std::string& line : lines) list_->addItem(QString::fromStdString(line));
    setVisible(!lines.empty());
}

QStringList CLayoutProblemsPane::problems() const {
    QStringList lines;
    for (int i = 0; i < list_->count(); ++i) lines << list_->item(i)->text();
    return lines;
}

QtLayoutWatcher::QtLayoutWatcher(std::function<void()> changed, QObject* parent)
    : QObject(parent), changed_(std::move(changed)) {
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] { changed_(); });
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { changed_(); });
}

void QtLayoutWatcher::watchPaths(const std::vector<std::string>& paths) {
    QStringList wanted;
    for (const std::string& p : paths) wanted << QString::fromStdString(p);
    QStringList gone;
    for (const QString& p : watched())
        if (!wanted.contains(p)) gone << p;
    if (!gone.isEmpty()) watcher_.removePaths(gone);
    // A file replaced by a new one (an editor that saves by renaming) is
    // dropped by the watcher: adding it again watches the new file.
    QStringList added;
    const QStringList now = watched();
    for (const QString& p : wanted)
        if (!now.contains(p)) added << p;
    if (!added.isEmpty()) watcher_.addPaths(added);
}

QStringList QtLayoutWatcher::watched() const { return watcher_.files() + watcher_.directories(); }

void fillCommandList(QComboBox* list, CMyTarvikView& view) {
    const int current = list->currentIndex();
    const QString currentText = list->currentText();
    list->clear();
    const auto& panel = view.remotePanel();
    const QColor grey = list->palette().color(QPalette::Disabled, QPalette::Text);
    for (const std::string& line : panel.commandLines()) {
        list->addItem(QString::fromStdString(line));
        const std::string identifier = line.substr(0, line.find(' '));
        if (!view.remoteCommands().lookup(identifier).parametersKnown) {
            const int at = list->count() - 1;
            list->setItemData(at, grey, Qt::ForegroundRole);
            list->setItemData(at, QString(kParametersNotKnownTip), Qt::ToolTipRole);
        }
    }
    list->setCurrentIndex(current < 0 ? -1 : list->findText(currentText));
}

} // namespace tarvik

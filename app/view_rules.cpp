// The Rules pane's commands: loading a test profile and going to a rule's
// latest failing row.

#include "app/tarvik_view.h"

namespace tarvik {

namespace {
constexpr std::string_view kProfileFilter = "Test Profiles (*.yaml *.yml)|*.yaml;*.yml||";
} // namespace

RulesPane& CMyTarvikView::rules() {
    if (!rules_) {
        rules_ = std::make_unique<RulesPane>(port_, settings_, pipeline_);
        rules_->loadRemembered(layoutOptions().directory, layoutOptions().userDirectory);
    }
    return *rules_;
}

void CMyTarvikView::OnLoadProfile() {
    const OpenFileResult chosen =
        port_.openFile(readFileRequest("yaml", std::string(kProfileFilter), rules().profilePath()));
    if (chosen.status != OpenFileResult::Status::Chosen) return;
    rules().load(chosen.path, layoutOptions().directory, layoutOptions().userDirectory);
}

void CMyTarvikView::OnRuleClicked(std::size_t rule) {
    const std::vector<RulesPane::Row> rows = rules().rows();
    if (rule >= rows.size() || !rows[rule].latestRow || fileSourceMode()) return;
    // The pane names a row by its record number; the list may have let it go.
    const std::deque<ListedEntry>& shown = pipeline_.shown();
    for (std::size_t r = 0; r < shown.size(); ++r)
        if (shown[r].number == *rows[rule].latestRow) return OnPlotPointClicked(r);
}

} // namespace tarvik

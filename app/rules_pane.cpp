#include "app/rules_pane.h"

#include "core/frame.h"

namespace tarvik {

namespace {
// The alarm looks at the verdicts every so many entries: judging them all
// after each record would cost more than the records themselves.
constexpr std::uint64_t kAlarmEvery = 64;
} // namespace

RulesPane::RulesPane(ViewPort& port, SettingsStore& settings, CArrivalPipeline& pipeline)
    : port_(port), settings_(settings) {
    CArrivalPipeline::Subscriber sink;
    sink.listed = [this](const ListedEntry& entry) { take(entry); };
    subscription_ = pipeline.subscribe(std::move(sink));
}

bool RulesPane::load(const std::string& profile, const std::string& layoutDirectory, bool userLayouts) {
    auto definitions = std::make_unique<LoadedDefinitions>(loadLayouts(layoutDirectory, userLayouts));
    const std::string path = profiles::resolveProfile(profile);
    Result<profiles::Profile> p = profiles::loadProfile(path, definitions->catalogue);
    if (!p) {
        port_.messageBox(p.error());
        return false;
    }
    checker_.reset();
    definitions_ = std::move(definitions);
    profile_ = std::make_unique<profiles::Profile>(std::move(*p));
    checker_ = std::make_unique<profiles::RuleChecker>(*profile_, profiles::CheckerOptions{10, true});
    path_ = path;
    alarmed_ = false;
    writeString(settings_, kRulesProfileKey, path_);
    return true;
}

bool RulesPane::loadRemembered(const std::string& layoutDirectory, bool userLayouts) {
    const std::optional<std::string> remembered = readString(settings_, kRulesProfileKey);
    if (!remembered || remembered->empty()) return false;
    auto definitions = std::make_unique<LoadedDefinitions>(loadLayouts(layoutDirectory, userLayouts));
    Result<profiles::Profile> p = profiles::loadProfile(*remembered, definitions->catalogue);
    if (!p) return false;
    definitions_ = std::move(definitions);
    profile_ = std::make_unique<profiles::Profile>(std::move(*p));
    checker_ = std::make_unique<profiles::RuleChecker>(*profile_, profiles::CheckerOptions{10, true});
    path_ = *remembered;
    alarmed_ = false;
    return true;
}

void RulesPane::reset() {
    if (profile_) checker_ = std::make_unique<profiles::RuleChecker>(*profile_, profiles::CheckerOptions{10, true});
    alarmed_ = false;
}

void RulesPane::take(const ListedEntry& entry) {
    if (!checker_) return;
    const Bytes& bytes = entry.bytes();
    // A text line has no record number of its own: it is named by the record
    // it stands before, as a file's text rows are.
    if (FrameView(bytes).isFrame()) checker_->record(bytes, lastNumber_ = entry.number);
    else checker_->textRow(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), lastNumber_ + 1);
    if (!alarm || alarmed_ || ++checkedAt_ % kAlarmEvery != 0) return;
    if (profiles::anyErrorFailed(checker_->results(false))) {
        alarmed_ = true;
        port_.beep(1000, 300);
    }
}

std::vector<RulesPane::Row> RulesPane::rows() const {
    std::vector<Row> out;
    if (!checker_) return out;
    for (const profiles::RuleResult& r : checker_->results(false)) {
        Row row;
        row.name = r.name;
        row.severity = r.severity;
        row.outcome = r.outcome;
        row.red = r.outcome == profiles::Outcome::Failed;
        row.failures = r.failures;
        row.note = r.note;
        if (!r.rows.empty()) row.firstRow = r.rows.front().row;
        if (r.latest) {
            row.latestRow = r.latest->row;
            row.latestText = r.latest->text;
        }
        out.push_back(std::move(row));
    }
    return out;
}

} // namespace tarvik

#pragma once
// The window's Rules pane without its widgets: a test profile loaded (and
// remembered for the next start), its rules judged over the live records as
// the arrival pipeline lists them, and per rule what the pane shows: a green
// or red mark, the failure count and the latest failing row. The first
// failure of an error rule can sound the alarm beep once, through the port.

#include "pipeline/arrival_pipeline.h"
#include "app/settings.h"
#include "app/view_port.h"
#include "decode/layout_loader.h"
#include "profiles/rule_checker.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvik {

// Where the pane remembers its profile.
inline constexpr std::string_view kRulesProfileKey = "Rules\\Profile";

class RulesPane {
public:
    // Takes the records `pipeline` lists from now on; `settings` remembers the profile.
    RulesPane(ViewPort& port, SettingsStore& settings, CArrivalPipeline& pipeline);

    // Loads a profile file (or a built-in profile's name) against the
    // layouts the view loads (its --layouts folder, the user's), remembers it and starts judging afresh. A
    // profile that does not load is said in a message box ("FILE:LINE:
    // reason") and the one before stays.
    bool load(const std::string& profile, const std::string& layoutDirectory, bool userLayouts);
    // The profile remembered from an earlier run, loaded quietly (nothing
    // said when it is gone); false when there is none or it does not load.
    bool loadRemembered(const std::string& layoutDirectory, bool userLayouts);
    // Forgets what was judged so far (a new connection, the user's "Reset").
    void reset();

    struct Row {
        std::string name;
        profiles::Severity severity = profiles::Severity::Error;
        profiles::Outcome outcome = profiles::Outcome::NotEvaluated;
        bool red = false;                      // failed
        std::uint64_t failures = 0;
        std::optional<std::uint64_t> firstRow;   // the record number of the first failure
        std::optional<std::uint64_t> latestRow;  // the record number of the latest failure (a click selects it)
        std::string latestText;
        std::string note;
    };
    // The rules as they stand (not waiting for the end of the run).
    std::vector<Row> rows() const;
    const std::string& profilePath() const { return path_; }
    bool loaded() const { return checker_ != nullptr; }

    // Sound the alarm beep when an error rule fails for the first time.
    bool alarm = true;

private:
    void take(const ListedEntry& entry);

    ViewPort& port_;
    SettingsStore& settings_;
    std::string path_;
    std::unique_ptr<LoadedDefinitions> definitions_;
    std::unique_ptr<profiles::Profile> profile_;
    std::unique_ptr<profiles::RuleChecker> checker_;
    bool alarmed_ = false;
    std::uint64_t checkedAt_ = 0;  // entries taken since the verdicts were last looked at for the alarm
    std::uint64_t lastNumber_ = 0;  // the record number of the latest frame taken
    CArrivalPipeline::Subscription subscription_;
};

} // namespace tarvik

#pragma once
// The per-user settings store of the desktop program, over QSettings
// (organisation "Nerith", application "Tarvik").

#include "app/settings.h"

#include <memory>

class QSettings;

namespace tarvik {

class QSettingsStore : public SettingsStore {
public:
    // The user's own store.
    QSettingsStore();
    // A store in an INI file of its own (tests, portable set-ups).
    explicit QSettingsStore(const std::string& iniPath);
    ~QSettingsStore() override;

    std::optional<StoredValue> get(const std::string& subkey, const std::string& name) const override;
    bool set(const std::string& subkey, const std::string& name, const StoredValue& value) override;

private:
    std::unique_ptr<QSettings> settings_;
};

} // namespace tarvik

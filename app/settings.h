#pragma once
// Remembered values. Each setting is a small object that knows its value name
// (by string resource number) and its store, reads itself with a default and
// writes itself back. Beneath them, typed reads and writes of values addressed
// by a path relative to the application key, over a per-user key-value store.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace tarvik {

// A stored value: 32-bit integer (the registry's DWORD), text, or anything else
// another program may have put there (kept as raw bytes).
struct OtherValue {
    std::string bytes;
    bool operator==(const OtherValue&) const = default;
};
using StoredValue = std::variant<std::int32_t, std::string, OtherValue>;

// A per-user store of values, addressed by subkey (relative to the application
// key, "\"-separated, empty for the application key itself) and value name.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<StoredValue> get(const std::string& subkey, const std::string& name) const = 0;
    // Creates the subkey and any missing parents.
    virtual bool set(const std::string& subkey, const std::string& name, const StoredValue& value) = 0;
};

// An in-memory store (tests and the console program).
class MemorySettingsStore : public SettingsStore {
public:
    std::optional<StoredValue> get(const std::string& subkey, const std::string& name) const override;
    bool set(const std::string& subkey, const std::string& name, const StoredValue& value) override;
    std::map<std::pair<std::string, std::string>, StoredValue> values;
};

inline constexpr std::string_view kApplicationKey = "Software\\Nerith\\Tarvik";

// The value path rule: text before the last backslash is a subkey of the
// application key, the rest the value name; no backslash means a value of the
// application key itself.
struct ValuePath {
    std::string subkey;
    std::string name;
};
ValuePath resolveValuePath(std::string_view path);
// The full key a path's value lives in, e.g. "Software\Nerith\Tarvik\Sub".
std::string fullKeyOf(std::string_view path);

// Error codes left by a failed read (the thread's last error).
inline constexpr int kErrorFileNotFound = 2;
inline constexpr int kErrorInvalidData = 13;
int lastSettingsError();

std::optional<std::int32_t> readDword(const SettingsStore& store, std::string_view path);
std::optional<std::string> readString(const SettingsStore& store, std::string_view path);
bool writeDword(SettingsStore& store, std::string_view path, std::int32_t value);
bool writeString(SettingsStore& store, std::string_view path, std::string_view value);

// The string table of setting names.
namespace setting_names {
inline constexpr std::uint32_t kDeviceFromLastExecution = 61447;
inline constexpr std::uint32_t kAddressFromLastExecution = 61448;
inline constexpr std::uint32_t kPortFromLastExecution = 61449;
inline constexpr std::uint32_t kLastVxFileRead = 61450;
inline constexpr std::uint32_t kLastOutputDirectory = 61452;
inline constexpr std::uint32_t kLastScriptDirectory = 61453;
inline constexpr std::uint32_t kLastScriptFile = 61454;
} // namespace setting_names
// The text of a setting-name resource; empty for an unknown number.
std::string_view settingNameText(std::uint32_t resource);

class RegistryVar {
public:
    RegistryVar(std::uint32_t resource, SettingsStore& root) : resource_(resource), root_(&root) {}
    virtual ~RegistryVar() = default;
    virtual bool Write() = 0;

    std::uint32_t resource() const { return resource_; }

protected:
    std::string_view path() const { return settingNameText(resource_); }
    SettingsStore& root() const { return *root_; }

private:
    std::uint32_t resource_;
    SettingsStore* root_;
};

class RegistryInt : public RegistryVar {
public:
    using RegistryVar::RegistryVar;
    std::int32_t Read(std::int32_t defaultValue);
    bool Write() override;
    RegistryInt& operator=(std::int32_t v) {
        value = v;
        return *this;
    }
    std::int32_t value = 0;
};

class RegistryString : public RegistryVar {
public:
    using RegistryVar::RegistryVar;
    std::string Read(std::string_view defaultValue = {});
    bool Write() override;
    RegistryString& operator=(std::string_view v) {
        value = std::string(v);
        return *this;
    }
    std::string value;
};

} // namespace tarvik

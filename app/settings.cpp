#include "app/settings.h"

namespace tarvik {

namespace {
thread_local int lastError = 0;
}

int lastSettingsError() { return lastError; }

std::optional<StoredValue> MemorySettingsStore::get(const std::string& subkey, const std::string& name) const {
    auto it = values.find({subkey, name});
    if (it == values.end()) return std::nullopt;
    return it->second;
}

bool MemorySettingsStore::set(const std::string& subkey, const std::string& name, const StoredValue& value) {
    values[{subkey, name}] = value;
    return true;
}

ValuePath resolveValuePath(std::string_view path) {
    auto cut = path.rfind('\\');
    if (cut == std::string_view::npos) return {std::string{}, std::string(path)};
    return {std::string(path.substr(0, cut)), std::string(path.substr(cut + 1))};
}

std::string fullKeyOf(std::string_view path) {
    ValuePath p = resolveValuePath(path);
    std::string key(kApplicationKey);
    if (p.subkey.empty() && path.find('\\') == std::string_view::npos) return key;
    if (key.empty() || key.back() != '\\') key += '\\';
    return key + p.subkey;
}

std::optional<std::int32_t> readDword(const SettingsStore& store, std::string_view path) {
    ValuePath p = resolveValuePath(path);
    auto v = store.get(p.subkey, p.name);
    if (!v) {
        lastError = kErrorFileNotFound;
        return std::nullopt;
    }
    if (auto* i = std::get_if<std::int32_t>(&*v)) {
        lastError = 0;
        return *i;
    }
    lastError = kErrorInvalidData;
    return std::nullopt;
}

std::optional<std::string> readString(const SettingsStore& store, std::string_view path) {
    ValuePath p = resolveValuePath(path);
    auto v = store.get(p.subkey, p.name);
    if (!v) {
        lastError = kErrorFileNotFound;
        return std::nullopt;
    }
    if (auto* s = std::get_if<std::string>(&*v)) {
        lastError = 0;
        return *s;
    }
    lastError = kErrorInvalidData;
    return std::nullopt;
}

bool writeDword(SettingsStore& store, std::string_view path, std::int32_t value) {
    ValuePath p = resolveValuePath(path);
    return store.set(p.subkey, p.name, value);
}

bool writeString(SettingsStore& store, std::string_view path, std::string_view value) {
    ValuePath p = resolveValuePath(path);
    return store.set(p.subkey, p.name, std::string(value));
}

std::string_view settingNameText(std::uint32_t resource) {
    using namespace setting_names;
    switch (resource) {
    case kDeviceFromLastExecution: return "Device from last execution";
    case kAddressFromLastExecution: return "IP address from last execution";
    case kPortFromLastExecution: return "UDP port from last execution";
    case kLastVxFileRead: return "Last Vx file read";
    case kLastOutputDirectory: return "Last output directory";
    case kLastScriptDirectory: return "Last script file directory";
    case kLastScriptFile: return "Last script file";
    default: return {};
    }
}

std::int32_t RegistryInt::Read(std::int32_t defaultValue) {
    value = readDword(root(), path()).value_or(defaultValue);
    return value;
}
bool RegistryInt::Write() { return writeDword(root(), path(), value); }

std::string RegistryString::Read(std::string_view defaultValue) {
    auto v = readString(root(), path());
    value = v ? *v : std::string(defaultValue);
    return value;
}
bool RegistryString::Write() { return writeString(root(), path(), value); }

} // namespace tarvik

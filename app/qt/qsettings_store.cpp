#include "app/qt/qsettings_store.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>

namespace tarvik {

namespace {

// "Sub\Key" + "Value name" -> "Sub/Key/Value name"
QString keyOf(const std::string& subkey, const std::string& name) {
    QString key = QString::fromStdString(subkey).replace('\\', '/');
    if (!key.isEmpty() && !key.endsWith('/')) key += '/';
    return key + QString::fromStdString(name);
}

// Integers are kept as four little-endian bytes, the way the registry keeps a
// DWORD, because text-based stores would otherwise lose the difference between
// a number and a text made of digits.
QByteArray dwordBytes(std::int32_t v) {
    auto u = static_cast<std::uint32_t>(v);
    const char raw[4] = {char(u & 0xFF), char((u >> 8) & 0xFF), char((u >> 16) & 0xFF), char((u >> 24) & 0xFF)};
    return QByteArray(raw, 4);
}

} // namespace

QSettingsStore::QSettingsStore() : settings_(std::make_unique<QSettings>("Nerith", "Tarvik")) {}

QSettingsStore::QSettingsStore(const std::string& iniPath)
    : settings_(std::make_unique<QSettings>(QString::fromStdString(iniPath), QSettings::IniFormat)) {}

QSettingsStore::~QSettingsStore() = default;

std::optional<StoredValue> QSettingsStore::get(const std::string& subkey, const std::string& name) const {
    QVariant v = settings_->value(keyOf(subkey, name));
    if (!v.isValid()) return std::nullopt;
    if (v.typeId() == QMetaType::QString) return StoredValue{v.toString().toStdString()};
    if (v.typeId() == QMetaType::QByteArray) {
        QByteArray b = v.toByteArray();
        if (b.size() == 4) {
            std::uint32_t u = 0;
            for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<std::uint8_t>(b[i]);
            return StoredValue{static_cast<std::int32_t>(u)};
        }
        return StoredValue{OtherValue{b.toStdString()}};
    }
    if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::UInt)  // a native registry DWORD
        return StoredValue{static_cast<std::int32_t>(v.toLongLong())};
    return StoredValue{OtherValue{v.toString().toStdString()}};
}

bool QSettingsStore::set(const std::string& subkey, const std::string& name, const StoredValue& value) {
    QString key = keyOf(subkey, name);
    if (auto* i = std::get_if<std::int32_t>(&value)) settings_->setValue(key, dwordBytes(*i));
    else if (auto* s = std::get_if<std::string>(&value)) settings_->setValue(key, QString::fromStdString(*s));
    else settings_->setValue(key, QByteArray::fromStdString(std::get<OtherValue>(value).bytes));
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

} // namespace tarvik

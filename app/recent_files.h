#pragma once
// File -> recent files: the record files read last, newest first, kept in the
// per-user settings under "Recent Files" as File1, File2, ...

#include "app/settings.h"

#include <string>
#include <vector>

namespace tarvik {

class RecentFiles {
public:
    static constexpr std::size_t kMaxFiles = 8;
    explicit RecentFiles(SettingsStore& store) : store_(store) {}

    std::vector<std::string> list() const;
    // Puts `path` first (once, made absolute) and writes the list back.
    void add(const std::string& path);
    void remove(const std::string& path);

    static std::string absolute(const std::string& path);

private:
    void write(const std::vector<std::string>& files);
    SettingsStore& store_;
};

} // namespace tarvik

#include "app/recent_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tarvik {

namespace {
const std::string kSubkey = "Recent Files";
std::string nameOf(std::size_t i) { return "File" + std::to_string(i + 1); }
} // namespace

std::vector<std::string> RecentFiles::list() const {
    std::vector<std::string> files;
    for (std::size_t i = 0; i < kMaxFiles; ++i) {
        const auto v = store_.get(kSubkey, nameOf(i));
        const std::string* text = v ? std::get_if<std::string>(&*v) : nullptr;
        if (text && !text->empty() && std::find(files.begin(), files.end(), *text) == files.end())
            files.push_back(*text);
    }
    return files;
}

// A path as the list keeps it: absolute, so that it still names the same file
// when the program is started from another folder.
std::string RecentFiles::absolute(const std::string& path) {
    if (path.empty()) return path;
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(path, error);
    return error ? path : full.lexically_normal().string();
}

void RecentFiles::add(const std::string& given) {
    const std::string path = absolute(given);
    std::vector<std::string> files = list();
    files.erase(std::remove(files.begin(), files.end(), path), files.end());
    files.insert(files.begin(), path);
    if (files.size() > kMaxFiles) files.resize(kMaxFiles);
    write(files);
}

void RecentFiles::remove(const std::string& path) {
    std::vector<std::string> files = list();
    const std::string full = absolute(path);
    files.erase(std::remove_if(files.begin(), files.end(), [&](const std::string& f) { return f == path || f == full; }),
                files.end());
    write(files);
}

void RecentFiles::write(const std::vector<std::string>& files) {
    for (std::size_t i = 0; i < kMaxFiles; ++i)
        store_.set(kSubkey, nameOf(i), i < files.size() ? files[i] : std::string());
}

} // namespace tarvik

#include "app/layout_watch.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tarvik {

namespace fs = std::filesystem;

std::vector<std::string> layoutWatchPaths(const std::vector<std::string>& folders) {
    std::vector<std::string> paths;
    // A folder of thousands of files is still watched as a folder; its files
    // beyond this many are only seen when the folder itself changes.
    constexpr std::size_t kMaxFiles = 1000;
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        std::error_code ec;
        if (fs::is_directory(folder, ec)) {
            paths.push_back(folder);
            std::vector<std::string> files;
            for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
                const std::string ext = it->path().extension().string();
                if ((ext == ".yaml" || ext == ".yml") && it->is_regular_file(ec)) files.push_back(it->path().string());
                if (files.size() >= kMaxFiles) break;
            }
            std::sort(files.begin(), files.end());
            paths.insert(paths.end(), files.begin(), files.end());
            continue;
        }
        fs::path parent = fs::path(folder).parent_path();
        while (!parent.empty() && !fs::is_directory(parent, ec)) {
            if (parent == parent.parent_path()) break;
            parent = parent.parent_path();
        }
        if (!parent.empty() && fs::is_directory(parent, ec)) paths.push_back(parent.string());
    }
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    return paths;
}

void LayoutWatch::changed() {
    if (pending_) {
        changedAgain_ = true;
        return;
    }
    pending_ = true;
    changedAgain_ = false;
    deferrals_ = 0;
    startTimer_(coalesceMs);
}

void LayoutWatch::timerFired() {
    if (!pending_) {
        stopTimer_();
        return;
    }
    // Still being written: wait for a quiet time, but not for ever.
    if (changedAgain_ && deferrals_ < maxDeferrals) {
        changedAgain_ = false;
        ++deferrals_;
        return;  // the timer runs on
    }
    reloadNow();
}

void LayoutWatch::reloadNow() {
    stopTimer_();
    pending_ = false;
    changedAgain_ = false;
    ++reloads_;
    reload_();
}

} // namespace tarvik

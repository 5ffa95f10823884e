#include "app/text_output.h"

#include "core/output_file.h"
#include "core/text.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace tarvik {

namespace {
constexpr int kNumberedNames = 1000;
} // namespace

std::string ResolveTextOutputName(DialogsPort& port, const std::string& folder, const std::string& base,
                                  const std::string& extension) {
    std::string stem = withFolderSeparator(folder) + base;
    if (!base.empty() && base.back() != '.') stem += '.';
    std::string candidate = stem + extension;

    for (int i = 0; i < kNumberedNames; ++i) {
        struct stat st {};
        if (::stat(candidate.c_str(), &st) != 0) {
            const int err = errno;
            if (err != ENOENT && err != ENOTDIR) {
                // The fixed text, then the system's reason on a line of its own
                // ("File name too long", "Permission denied").
                port.messageBox(strprintf("Generic error from CFile\n%s: %s", shownName(candidate).c_str(),
                                          std::strerror(err)));
                return {};
            }
            std::string where = folder.empty() ? "." : folder;
            while (where.size() > 1 && where.back() == kFolderSeparator) where.pop_back();
            struct stat dir {};
            const bool folderThere = ::stat(where.c_str(), &dir) == 0;
            // Missing: free, unless it is the folder that is missing.
            if (!folderThere || !S_ISDIR(dir.st_mode)) {
                port.messageBox(folderThere ? "Logging Path Does Not Exist\n" + shownName(where) +
                                                  " is a file, not a folder"
                                            : std::string("Logging Path Does Not Exist"));
                return {};
            }
            return candidate;
        }
        candidate = stem + strprintf("%03d.", i) + extension;
    }
    // Every name is taken; none is overwritten.
    return {};
}

std::string utcStamp(std::time_t when) {
    std::tm utc{};
    gmtime_r(&when, &utc);
    return strprintf("%4d%02d%02d_%02d%02d%02d", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                     utc.tm_min, utc.tm_sec);
}

std::string recordFileBase(std::string_view path) {
    std::string name(fileNameOf(path));
    const auto cut = name.find(".vxr");
    if (cut != std::string::npos) name.erase(cut);
    return name;
}

} // namespace tarvik

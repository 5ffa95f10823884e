#include "plot/plot_render.h"

#include "core/whole_file_output.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <future>
#include <mutex>
#include <string>

namespace tarvik::plot {

namespace {

constexpr const char* kPackage = "libqt6charts6";

// The module beside the program: PROGRAM_DIR/../lib/tarvik/.
std::string moduleFile() {
    if (const char* own = std::getenv("TARVIK_PLOT_MODULE"); own && *own) return own;
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return kRenderModuleName;
    std::string dir(exe, static_cast<std::size_t>(n));
    dir.erase(dir.rfind('/') + 1);
    return dir + "../lib/tarvik/" + kRenderModuleName;
}

Result<RenderFunction> load() {
    const std::string file = moduleFile();
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        return failure("cannot load the plot drawing module " + file + " (" + (why ? why : "unknown reason") +
                       "); it needs Qt Charts: install the Debian package " + kPackage);
    }
    void* symbol = ::dlsym(handle, kRenderSymbol);
    if (!symbol) return failure("the plot drawing module " + file + " has no " + kRenderSymbol);
    return reinterpret_cast<RenderFunction>(symbol);
}

const Result<RenderFunction>& module() {
    static std::once_flag once;
    static std::optional<Result<RenderFunction>> loaded;
    std::call_once(once, [] { loaded.emplace(load()); });
    return *loaded;
}

bool endsWith(const std::string& s, std::string_view end) {
    if (s.size() < end.size()) return false;
    for (std::size_t i = 0; i < end.size(); ++i) {
        char c = s[s.size() - end.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != end[i]) return false;
    }
    return true;
}

} // namespace

std::future<void> preloadRenderModule() {
    return std::async(std::launch::async, [] { (void)module(); });
}

Result<void> renderPlot(const Plot& plot, const std::string& path, const std::string& title, bool replace) {
    const bool svg = endsWith(path, ".svg");
    if (!svg && !endsWith(path, ".png")) return failure("a plot is written as .png or .svg, not " + path);
    const Result<RenderFunction>& render = module();
    if (!render) return failure(render.error());
    WholeFileOutput out;
    if (!out.open(path, replace ? WholeFileOutput::Replace::Yes : WholeFileOutput::Replace::No))
        return failure(out.error());
    RenderRequest request;
    request.temporaryPath = out.temporaryPath();
    request.svg = svg;
    request.title = title;
    if (const char* why = (*render)(&plot, &request)) return failure(why);
    if (!out.commit()) return failure(out.error());
    return {};
}

} // namespace tarvik::plot

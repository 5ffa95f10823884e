#include "decode/yaml_module.h"

#include "core/program_module.h"
#include "decode/layout_loader_state.h"

#include <dlfcn.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

namespace tarvik {

namespace {

constexpr const char* kPackage = "libyaml-cpp0.7";

std::once_flag openOnce;
std::optional<Result<void*>> opened;
std::atomic<bool> missing{false};

Result<void*> open() {
    const std::string file = moduleBesideProgram("TARVIK_YAML_MODULE", kYamlModuleName);
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        return failure("cannot load the YAML reader module " + file + " (" + (why ? why : "unknown reason") +
                       "); it needs the YAML library: install the Debian package " + kPackage);
    }
    // The module works on the program's own objects: it must be of the same build.
    const auto build = reinterpret_cast<const char* (*)()>(::dlsym(handle, "tarvik_yaml_module_build"));
    if (!build || layoutStateBuild() != build())
        return failure("the YAML reader module " + file + " is not of this build of the program; reinstall it");
    return handle;
}

} // namespace

Result<void*> yamlModuleSymbol(const char* symbol) {
    std::call_once(openOnce, [] {
        opened.emplace(open());
        missing = !opened->ok();
    });
    if (!*opened) return failure(opened->error());
    void* address = ::dlsym(**opened, symbol);
    if (!address) return failure(std::string("the YAML reader module has no ") + symbol + "; reinstall Tarvik");
    return address;
}

bool yamlModuleMissing() { return missing; }

} // namespace tarvik

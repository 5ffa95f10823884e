#include "capture/pcap_library.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>

namespace tarvik::capture {

namespace {

constexpr const char* kDefaultFile = "libpcap.so.0.8";
constexpr const char* kPackage = "libpcap0.8";

std::once_flag loadOnce;
const Result<const PcapLibrary*>* loaded = nullptr;
// 0 not tried yet, 1 loaded, 2 failed.
std::atomic<int> state{0};

Result<const PcapLibrary*> load() {
    const char* file = pcapLibraryFile();
    void* handle = ::dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        return failure(std::string("cannot load the packet capture library ") + file + " (" +
                       (why ? why : "unknown reason") + "); install the Debian package " + kPackage);
    }
    static PcapLibrary lib;
    std::string missing;
    auto find = [&](auto& pointer, const char* name) {
        void* symbol = ::dlsym(handle, name);
        if (!symbol && !missing.empty()) missing += ", ";
        if (!symbol) missing += name;
        pointer = reinterpret_cast<std::remove_reference_t<decltype(pointer)>>(symbol);
    };
    find(lib.open_offline_with_tstamp_precision, "pcap_open_offline_with_tstamp_precision");
    find(lib.fopen_offline_with_tstamp_precision, "pcap_fopen_offline_with_tstamp_precision");
    find(lib.close, "pcap_close");
    find(lib.datalink, "pcap_datalink");
    find(lib.datalink_val_to_name, "pcap_datalink_val_to_name");
    find(lib.datalink_val_to_description, "pcap_datalink_val_to_description");
    find(lib.next_ex, "pcap_next_ex");
    find(lib.geterr, "pcap_geterr");
    if (!missing.empty()) {
        // The handle stays open: a library half looked up is never used, and
        // closing it could unmap code another user of it still runs.
        return failure(std::string("the packet capture library ") + file + " lacks " + missing +
                       "; install the Debian package " + kPackage);
    }
    return &lib;
}

} // namespace

const char* pcapLibraryFile() {
    const char* file = std::getenv("TARVIK_PCAP_LIBRARY");
    return file && *file ? file : kDefaultFile;
}

const Result<const PcapLibrary*>& pcapLibrary() {
    std::call_once(loadOnce, [] {
        loaded = new Result<const PcapLibrary*>(load());
        state = loaded->ok() ? 1 : 2;
    });
    return *loaded;
}

bool pcapLibraryLoaded() { return state == 1; }

bool pcapLibraryMissing() { return state == 2; }

} // namespace tarvik::capture

#pragma once
// libpcap, opened when the first capture is: most commands never read a
// capture, and the library with the libraries it pulls in would otherwise be
// mapped and relocated at every start. The header gives the types and the
// constants; the functions are looked up here once and kept.

#include "core/result.h"

#include <pcap/pcap.h>

namespace tarvik::capture {

// The libpcap functions the capture reader calls.
struct PcapLibrary {
    decltype(&::pcap_open_offline_with_tstamp_precision) open_offline_with_tstamp_precision = nullptr;
    decltype(&::pcap_fopen_offline_with_tstamp_precision) fopen_offline_with_tstamp_precision = nullptr;
    decltype(&::pcap_close) close = nullptr;
    decltype(&::pcap_datalink) datalink = nullptr;
    decltype(&::pcap_datalink_val_to_name) datalink_val_to_name = nullptr;
    decltype(&::pcap_datalink_val_to_description) datalink_val_to_description = nullptr;
    decltype(&::pcap_next_ex) next_ex = nullptr;
    decltype(&::pcap_geterr) geterr = nullptr;
};

// The file opened: "libpcap.so.0.8", or the path in TARVIK_PCAP_LIBRARY when
// that is set (for tests and for a libpcap of one's own).
const char* pcapLibraryFile();

// The library, loaded on the first call (thread-safe) and kept for the life
// of the process; or why it cannot be loaded, naming the file and the Debian
// package that provides it. The answer of the first call stands.
const Result<const PcapLibrary*>& pcapLibrary();

// Whether the library has been loaded, and whether a load was tried and
// failed; neither tries to load it.
bool pcapLibraryLoaded();
bool pcapLibraryMissing();

} // namespace tarvik::capture

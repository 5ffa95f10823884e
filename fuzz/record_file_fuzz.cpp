// Fuzz target: any bytes as a record file. The file is indexed from its catalog
// when it claims one and by walking its frames, and every indexed frame is read
// back; the whole-file check walks it too. Nothing may read outside the file,
// hang or crash.

#include "core/record_file.h"
#include "decode/file_check.h"
#include "decode/layout_loader.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = memfd_create("record-file", 0);
    if (fd < 0) return 0;
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    {
        tarvik::RecordFile file;
        if (file.open("/proc/self/fd/" + std::to_string(fd))) {
            tarvik::RecordIndex index;
            if (!tarvik::ReadCatalog(file, index)) tarvik::ScanFrames(file, index);
            std::size_t total = 0;
            for (std::size_t i = 0; i < index.size() && i < 64; ++i) {
                tarvik::Bytes frame = tarvik::ReadFrame(file, index[i]);
                if (frame.size() > index[i].size() || frame.size() > size) __builtin_trap();
                total += frame.size();
            }
            if (index.size() > size / 64 + 1) __builtin_trap();  // every entry stands for a 64-byte header
            (void)total;
        }
        static const tarvik::LoadedDefinitions definitions = tarvik::loadLayouts({}, false);
        static const tarvik::NoRemoteCommandDefinitions commands;
        const tarvik::FileCheckResult r =
            tarvik::FileChecker(definitions.catalogue, commands).check("/proc/self/fd/" + std::to_string(fd));
        if (r.frames > size / 64 + 1 || r.statistics.bytes() < r.frames * 64) __builtin_trap();
    }
    ::close(fd);
    return 0;
}

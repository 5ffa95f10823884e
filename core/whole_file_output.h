#pragma once
// A file written whole or not at all. The bytes go to a temporary file beside
// the target (same folder, so the final rename cannot cross file systems) and
// the temporary file is renamed onto the target only by commit(). Until then
// the target is untouched: a failed or abandoned write leaves the old file (or
// none), never a partial one, and only the temporary file this object created
// is ever removed.

#include "core/bytes.h"
#include "core/result.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik {

// True when both paths name the same existing file (same device and inode),
// so an output is never written onto one of the inputs.
bool sameExistingFile(const std::string& a, const std::string& b);

class WholeFileOutput {
public:
    enum class Replace { No, Yes };

    WholeFileOutput() = default;
    ~WholeFileOutput();  // removes the temporary file when not committed
    WholeFileOutput(const WholeFileOutput&) = delete;
    WholeFileOutput& operator=(const WholeFileOutput&) = delete;

    // Starts writing `target`. Fails (false, error() says why) when the target
    // exists and `replace` is No, when it exists and is not a regular file (a
    // device or a folder is never replaced), or when the temporary file cannot
    // be created.
    bool open(const std::string& target, Replace replace = Replace::No);
    bool write(ByteSpan bytes);
    bool write(std::string_view text) { return write(asBytes(text)); }
    // Overwrites bytes already written at `offset` (a header completed last).
    bool writeAt(std::uint64_t offset, ByteSpan bytes);
    // Flushes to disk and renames the temporary file onto the target. The
    // existence check of open() is repeated without a race for Replace::No
    // (link, then unlink of the temporary name).
    bool commit();
    // Removes the temporary file; the target is left as it was.
    void abandon();

    bool isOpen() const { return fd_ >= 0; }
    const std::string& target() const { return target_; }
    const std::string& temporaryPath() const { return temp_; }
    // The reason of the last failure, in the system's words where it has them
    // ("No such file or directory"), or "file exists" for an existing target.
    const std::string& error() const { return error_; }
    // True when the last failure was an existing target refused for Replace::No.
    bool targetExists() const { return exists_; }

private:
    bool fail(int err);
    int fd_ = -1;
    std::string target_;
    std::string temp_;
    std::string error_;
    bool exists_ = false;
    Replace replace_ = Replace::No;
};

// Writes `bytes` to `target` through a WholeFileOutput; the reason when
// anything failed (the target is then unchanged), "file exists" for an
// existing target refused for Replace::No.
Result<void> writeWholeFile(const std::string& target, ByteSpan bytes, WholeFileOutput::Replace replace);

} // namespace tarvik

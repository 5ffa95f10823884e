#pragma once
// A file the tool writes: always created new (an existing file is never
// replaced), written with one system call per piece, so that whatever a
// write returned is in the operating system's hands even if the program dies
// right after it.

#include "core/bytes.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik {

class OutputFile {
public:
    enum class Created { Yes, Exists, Failed };

    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates `path` for writing; Exists when a file of that name is there
    // (it is left alone), Failed for any other problem (see lastError()).
    Created create(const std::string& path);
    void close();
    // Closes and removes the file this object created: a whole-file output
    // that could not be completed leaves nothing behind.
    void discard();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
    const std::string& lastError() const { return error_; }
    std::uint64_t length() const { return length_; }

    // Writes every byte. On failure the file is cut back to its length
    // before the call, so it never ends in a partial piece.
    bool write(ByteSpan bytes);
    bool write(std::string_view text) { return write(asBytes(text)); }

private:
    int fd_ = -1;
    std::string path_;
    std::string error_;
    std::uint64_t length_ = 0;
};

// The platform's folder separator, and `folder` with it appended when the
// folder is not empty and does not already end in one.
inline constexpr char kFolderSeparator = '/';
std::string withFolderSeparator(std::string folder);

} // namespace tarvik

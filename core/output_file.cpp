#include "core/output_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tarvik {

OutputFile::~OutputFile() { close(); }

OutputFile::Created OutputFile::create(const std::string& path) {
    close();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int e = errno;
        error_ = std::strerror(e);
        return e == EEXIST ? Created::Exists : Created::Failed;
    }
    fd_ = fd;
    path_ = path;
    error_.clear();
    length_ = 0;
    return Created::Yes;
}

void OutputFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void OutputFile::discard() {
    if (fd_ < 0) return;  // nothing open: nothing this object may remove
    close();
    ::unlink(path_.c_str());
}

bool OutputFile::write(ByteSpan bytes) {
    if (fd_ < 0) {
        error_ = std::strerror(EBADF);
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = std::strerror(n < 0 ? errno : ENOSPC);
            // A partial piece at the end would make the rest of the file unreadable.
            if (done > 0 && ::ftruncate(fd_, static_cast<off_t>(length_)) == 0)
                ::lseek(fd_, static_cast<off_t>(length_), SEEK_SET);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    length_ += bytes.size();
    return true;
}

std::string withFolderSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != kFolderSeparator) folder += kFolderSeparator;
    return folder;
}

} // namespace tarvik

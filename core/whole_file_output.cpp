#include "core/whole_file_output.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik {

bool sameExistingFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

namespace {

// The process's file mode creation mask, read without changing it (umask()
// can only be read by setting it, which would race with other threads).
mode_t currentUmask() {
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found) return static_cast<mode_t>(mask);
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

} // namespace

WholeFileOutput::~WholeFileOutput() { abandon(); }

bool WholeFileOutput::fail(int err) {
    error_ = std::strerror(err);
    return false;
}

bool WholeFileOutput::open(const std::string& target, Replace replace) {
    abandon();
    target_ = target;
    replace_ = replace;
    exists_ = false;
    error_.clear();
    struct stat st {};
    // The mode the output gets: an existing file's own, else what a plain
    // open() would give a new file.
    mode_t mode = 0;
    if (::lstat(target.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
        if (S_ISDIR(st.st_mode)) return fail(EISDIR);
        if (!S_ISREG(st.st_mode) || replace == Replace::No) {
            exists_ = true;
            error_ = S_ISREG(st.st_mode) ? "file exists" : "not a regular file";
            return false;
        }
    } else if (errno != ENOENT) {
        return fail(errno);
    } else {
        mode = 0666 & ~currentUmask();
    }
    // The temporary name starts with a dot so file listings and globs of the
    // target's kind pass over it while it is written.
    const auto slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty()) return fail(EISDIR);
    std::string pattern = folder + "." + base.substr(0, 200) + ".XXXXXX";
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return fail(errno);
    ::fchmod(fd, mode);
    fd_ = fd;
    temp_ = pattern;
    return true;
}

bool WholeFileOutput::write(ByteSpan bytes) {
    if (fd_ < 0) return fail(EBADF);
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(n < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool WholeFileOutput::writeAt(std::uint64_t offset, ByteSpan bytes) {
    if (fd_ < 0) return fail(EBADF);
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(n < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool WholeFileOutput::commit() {
    if (fd_ < 0) return fail(EBADF);
    const bool synced = ::fsync(fd_) == 0 || errno == EINVAL;
    const int syncErr = errno;
    const bool closed = ::close(fd_) == 0;
    const int closeErr = errno;
    fd_ = -1;
    if (!synced || !closed) {
        abandon();
        return fail(!synced ? syncErr : closeErr);
    }
    if (replace_ == Replace::No) {
        // link() refuses an existing target, so a file that appeared since
        // open() is never replaced.
        int linked = ::link(temp_.c_str(), target_.c_str());
        int e = linked == 0 ? 0 : errno;
        if (linked != 0 && (e == EPERM || e == ENOTSUP || e == EXDEV)) {
            // A file system without hard links: check and rename (a small race).
            struct stat st {};
            if (::lstat(target_.c_str(), &st) == 0) e = EEXIST;
            else if (::rename(temp_.c_str(), target_.c_str()) == 0) linked = 0, e = 0, temp_.clear();
            else e = errno;
        }
        if (linked != 0) {
            abandon();
            if (e == EEXIST) {
                exists_ = true;
                error_ = "file exists";
                return false;
            }
            return fail(e);
        }
        if (!temp_.empty()) ::unlink(temp_.c_str());
    } else if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        const int e = errno;
        abandon();
        return fail(e);
    }
    temp_.clear();
    return true;
}

void WholeFileOutput::abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

Result<void> writeWholeFile(const std::string& target, ByteSpan bytes, WholeFileOutput::Replace replace) {
    WholeFileOutput out;
    if (!out.open(target, replace) || !out.write(bytes) || !out.commit()) return failure(out.error());
    return success();
}

} // namespace tarvik

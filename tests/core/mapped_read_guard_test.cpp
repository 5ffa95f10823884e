// A mapped file that another program cuts short: guarded pages read as zeros
// and say so; unguarded ones still end the process as before.

#include "core/mapped_read_guard.h"
#include "tests/support/temp_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace tarvik;
using tarvik::testing::TempDir;

namespace {

struct MappedFile {
    MappedFile(const TempDir& dir, const std::string& name, std::size_t pages) : length(pages * pageSize()) {
        const std::string path = dir.write(name, Bytes(length, 0xAB));
        fd = ::open(path.c_str(), O_RDWR);
        data = static_cast<const volatile std::uint8_t*>(::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0));
    }
    ~MappedFile() {
        ::munmap(const_cast<std::uint8_t*>(data), length);
        ::close(fd);
    }
    static std::size_t pageSize() { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }
    std::size_t length;
    int fd = -1;
    const volatile std::uint8_t* data = nullptr;
};

} // namespace

TEST(MappedReadGuard, PagesCutFromTheFileReadAsZerosAndAreReported) {
    TempDir dir;
    MappedFile f(dir, "cut.bin", 4);
    ASSERT_NE(f.data, MAP_FAILED);
    const std::size_t page = MappedFile::pageSize();
    MappedReadGuard guard;
    ASSERT_TRUE(guard.guard(const_cast<std::uint8_t*>(f.data), f.length));
    EXPECT_EQ(f.data[3 * page], 0xAB);
    EXPECT_FALSE(guard.cutShort());

    ASSERT_EQ(::ftruncate(f.fd, static_cast<off_t>(page)), 0);
    EXPECT_EQ(f.data[3 * page + 7], 0);
    EXPECT_EQ(f.data[2 * page], 0);
    EXPECT_TRUE(guard.cutShort());
    EXPECT_EQ(f.data[page - 1], 0xAB);  // what the file still holds is unchanged

    // A second guard of its own is not marked by the first one's loss.
    MappedFile other(dir, "kept.bin", 1);
    MappedReadGuard otherGuard;
    ASSERT_TRUE(otherGuard.guard(const_cast<std::uint8_t*>(other.data), other.length));
    EXPECT_FALSE(otherGuard.cutShort());
    guard.release();
    EXPECT_FALSE(guard.cutShort());
}

TEST(MappedReadGuardDeathTest, AnUnguardedMappingStillEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    EXPECT_DEATH(
        {
            MappedReadGuard installsTheHandler;
            MappedFile guarded(dir, "guarded.bin", 1);
            installsTheHandler.guard(const_cast<std::uint8_t*>(guarded.data), guarded.length);
            MappedFile f(dir, "unguarded.bin", 2);
            if (::ftruncate(f.fd, 0) != 0) std::abort();
            std::printf("%d", f.data[MappedFile::pageSize()]);
        },
        "");
}

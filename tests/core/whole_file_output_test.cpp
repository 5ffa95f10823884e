#include "core/whole_file_output.h"
#include "tests/support/whole_file.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tarvik;

namespace {
using tarvik::testing::slurp;

struct TempFolder {
    fs::path path;
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "wfo.XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempFolder() { fs::remove_all(path); }
    std::string file(const char* name) const { return (path / name).string(); }
};

void put(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::size_t entries(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

} // namespace

TEST(WholeFileOutput, WritesNewFilesAndKeepsExistingOnesUnlessAskedToReplace) {
    TempFolder dir;
    ASSERT_TRUE(writeWholeFile(dir.file("a.txt"), asBytes("one"), WholeFileOutput::Replace::No));
    EXPECT_EQ(slurp(dir.file("a.txt")), "one");

    EXPECT_EQ(writeWholeFile(dir.file("a.txt"), asBytes("two"), WholeFileOutput::Replace::No).error(), "file exists");
    EXPECT_EQ(slurp(dir.file("a.txt")), "one");

    ASSERT_TRUE(writeWholeFile(dir.file("a.txt"), asBytes("three"), WholeFileOutput::Replace::Yes));
    EXPECT_EQ(slurp(dir.file("a.txt")), "three");
    EXPECT_EQ(entries(dir.path), 1u);  // no temporary file left behind

    // A file that appears while the output is written is not replaced either.
    WholeFileOutput out;
    ASSERT_TRUE(out.open(dir.file("b.txt")));
    ASSERT_TRUE(out.write(std::string_view("mine")));
    put(dir.file("b.txt"), "theirs");
    EXPECT_FALSE(out.commit());
    EXPECT_TRUE(out.targetExists());
    EXPECT_EQ(slurp(dir.file("b.txt")), "theirs");
    EXPECT_EQ(entries(dir.path), 2u);
}

TEST(WholeFileOutput, RefusesFoldersDevicesAndMissingFoldersWithTheSystemsReason) {
    TempFolder dir;
    EXPECT_EQ(writeWholeFile(dir.path.string(), asBytes("x"), WholeFileOutput::Replace::Yes).error(), "Is a directory");
    EXPECT_EQ(writeWholeFile("/dev/null", asBytes("x"), WholeFileOutput::Replace::Yes).error(), "not a regular file");
    EXPECT_TRUE(fs::exists("/dev/null"));
    EXPECT_EQ(writeWholeFile(dir.file("no/such.txt"), asBytes("x"), WholeFileOutput::Replace::Yes).error(),
              "No such file or directory");
}

TEST(WholeFileOutput, AFailedOrAbandonedWriteLeavesTheOldFileAndNoTemporaryFile) {
    TempFolder dir;
    const std::string target = dir.file("keep.vxr");
    put(target, std::string(20000, 'k'));
    {
        WholeFileOutput out;
        ASSERT_TRUE(out.open(target, WholeFileOutput::Replace::Yes));
        ASSERT_TRUE(out.write(std::string_view("partial")));
    }  // abandoned
    EXPECT_EQ(slurp(target), std::string(20000, 'k'));
    EXPECT_EQ(entries(dir.path), 1u);

    // A full disk, as a file size limit: the write fails part-way.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{8192, 8192};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        bool ok = false;
        {
            WholeFileOutput out;
            ok = out.open(target, WholeFileOutput::Replace::Yes) &&
                 out.write(std::string_view(std::string(100000, 'n'))) && out.commit();
        }
        ::_exit(ok ? 0 : 3);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(slurp(target), std::string(20000, 'k'));
    EXPECT_EQ(entries(dir.path), 1u);
}

TEST(WholeFileOutput, SameExistingFileComparesTheFilesNotTheNames) {
    TempFolder dir;
    put(dir.file("in.vxr"), "x");
    EXPECT_TRUE(sameExistingFile(dir.file("in.vxr"), (dir.path / "." / "in.vxr").string()));
    EXPECT_FALSE(sameExistingFile(dir.file("in.vxr"), dir.file("out.vxr")));
}

TEST(WholeFileOutput, AHeaderCompletedLastIsWrittenInPlace) {
    TempFolder dir;
    const std::string target = dir.file("h.vxr");
    WholeFileOutput out;
    ASSERT_TRUE(out.open(target));
    ASSERT_TRUE(out.write(std::string_view("0000body")));
    ASSERT_TRUE(out.writeAt(0, asBytes(std::string_view("HEAD"))));
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(slurp(target), "HEADbody");
}

TEST(WholeFileOutput, ANewFileGetsTheModeOfAPlainOpenAndAReplacedOneKeepsItsOwn) {
    TempFolder dir;
    auto modeOf = [](const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0);
        return st.st_mode & 07777;
    };
    const mode_t old = ::umask(027);
    EXPECT_TRUE(writeWholeFile(dir.file("new.txt"), asBytes(std::string_view("a")), WholeFileOutput::Replace::No));
    ::umask(002);
    EXPECT_TRUE(writeWholeFile(dir.file("shared.txt"), asBytes(std::string_view("a")), WholeFileOutput::Replace::No));
    ::umask(old);
    EXPECT_EQ(modeOf(dir.file("new.txt")), 0640u);
    EXPECT_EQ(modeOf(dir.file("shared.txt")), 0664u);

    put(dir.file("script.sh"), "old");
    ASSERT_EQ(::chmod(dir.file("script.sh").c_str(), 0750), 0);
    EXPECT_TRUE(writeWholeFile(dir.file("script.sh"), asBytes(std::string_view("new")), WholeFileOutput::Replace::Yes));
    EXPECT_EQ(slurp(dir.file("script.sh")), "new");
    EXPECT_EQ(modeOf(dir.file("script.sh")), 0750u);
}

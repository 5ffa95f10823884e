// What tarvik-cli writes: never onto an input, an existing file only after
// --force, whole or not at all (a write that fails part-way leaves the old
// file or none); and the messages that say why a file was not read or written.

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/whole_file.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using tarvik::testing::runProgram;
using tarvik::testing::TempDir;

namespace {
using tarvik::testing::slurp;
const std::string kCli = TARVIK_CLI;

void put(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::size_t entries(const std::filesystem::path& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Runs tarvik-cli with a file size limit, as a disk that fills up: writes past
// `bytes` fail (SIGXFSZ ignored, so they fail rather than kill). The exit status.
int runWithFileLimit(const std::vector<std::string>& args, rlim_t bytes) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{bytes, bytes};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::vector<char*> argv{const_cast<char*>(kCli.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        ::execv(kCli.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

TEST(CliOutputs, AnExistingFileIsKeptUnlessForcedAndAnInputNeverWritten) {
    TempDir dir;
    const std::string file = dir.file("p.vxr");
    auto made = runProgram(kCli, {"generate", file, "--imagery", "20"});
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string records = slurp(file);

    // generate onto an existing file.
    const std::string kept = dir.file("kept.vxr");
    put(kept, std::string(13700, 'k'));
    auto again = runProgram(kCli, {"generate", kept});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err, "tarvik-cli: " + kept + " exists; --force replaces it\n");
    EXPECT_EQ(slurp(kept), std::string(13700, 'k'));
    EXPECT_EQ(runProgram(kCli, {"generate", kept, "--force"}).status, 0);
    EXPECT_NE(slurp(kept), std::string(13700, 'k'));

    // image onto an existing picture, onto its own input, onto a device.
    const std::string png = dir.file("old.png");
    put(png, "an older picture");
    auto image = runProgram(kCli, {"image", file, "--out", png});
    EXPECT_EQ(image.status, 1);
    EXPECT_EQ(image.err, "tarvik-cli: " + png + " exists; --force replaces it\n");
    EXPECT_EQ(slurp(png), "an older picture");
    image = runProgram(kCli, {"image", file, "--out", png, "--force"});
    EXPECT_EQ(image.status, 0) << image.err;
    EXPECT_EQ(slurp(png).substr(1, 3), "PNG");

    auto onInput = runProgram(kCli, {"image", file, "--out", dir.path().string() + "/./p.vxr", "--force"});
    EXPECT_EQ(onInput.status, 1);
    EXPECT_TRUE(contains(onInput.err, "is an input of this command")) << onInput.err;
    EXPECT_EQ(slurp(file), records);

    struct stat before {};
    ASSERT_EQ(::stat("/dev/null", &before), 0);
    auto onDevice = runProgram(kCli, {"image", file, "--out", "/dev/null", "--force"});
    EXPECT_EQ(onDevice.status, 1);
    EXPECT_EQ(onDevice.err, "tarvik-cli: could not write /dev/null: not a regular file\n");
    struct stat after {};
    ASSERT_EQ(::stat("/dev/null", &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
    EXPECT_EQ(after.st_ino, before.st_ino);

    // Exporting the built-in layouts keeps what is there.
    const std::string layouts = dir.file("layouts");
    std::filesystem::create_directory(layouts);
    put(layouts + "/enumerations.yaml", "mine\n");
    auto exported = runProgram(kCli, {"catalogue", "--export", layouts});
    EXPECT_EQ(exported.status, 1);
    EXPECT_EQ(slurp(layouts + "/enumerations.yaml"), "mine\n");
    EXPECT_GT(entries(layouts), 5u);
}

TEST(CliOutputs, AWriteThatFailsPartWayLeavesTheOldFileOrNone) {
    TempDir dir;
    const std::string file = dir.file("big.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--imagery", "64"}).status, 0);
    TempDir out;
    const std::string kept = out.file("kept.vxr");
    put(kept, std::string(13700, 'k'));
    const std::string png = out.file("kept.png");
    put(png, std::string(9000, 'p'));

    // Replacing: the old file stays whole.
    EXPECT_EQ(runWithFileLimit({"generate", kept, "--force"}, 8192), 1);
    EXPECT_EQ(slurp(kept), std::string(13700, 'k'));
    EXPECT_EQ(runWithFileLimit({"image", file, "--out", png, "--force"}, 8192), 1);
    EXPECT_EQ(slurp(png), std::string(9000, 'p'));
    EXPECT_EQ(entries(out.path()), 2u);  // and no temporary file is left behind

    // New files: none at all rather than a part of one.
    EXPECT_EQ(runWithFileLimit({"generate", out.file("new.vxr")}, 8192), 1);
    EXPECT_EQ(runWithFileLimit({"image", file, "--out", out.file("new.png")}, 8192), 1);
    EXPECT_EQ(runWithFileLimit({"dump", file, "--out", out.path().string()}, 8192), 1);
    EXPECT_EQ(runWithFileLimit({"condense", file, "--out", out.path().string()}, 1024), 1);
    EXPECT_EQ(entries(out.path()), 2u);
}

TEST(CliMessages, SayWhyAFileWasNotReadOrWritten) {
    TempDir dir;
    const std::string file = dir.file("s.vxr");
    auto generated = runProgram(kCli, {"generate", file, "--frames", "1"});
    ASSERT_EQ(generated.status, 0);
    // generate says what it wrote: the header, one frame and the catalog.
    EXPECT_TRUE(contains(generated.out, "Wrote 3 records, ")) << generated.out;
    EXPECT_TRUE(contains(generated.out, " bytes, to " + file)) << generated.out;

    // The text outputs' folder is a file; a name far too long for the system.
    const std::string plain = dir.file("plain.txt");
    put(plain, "x");
    auto onFile = runProgram(kCli, {"dump", file, "--out", plain});
    EXPECT_EQ(onFile.status, 1);
    EXPECT_TRUE(contains(onFile.err, "Logging Path Does Not Exist\n" + plain + " is a file, not a folder\n")) << onFile.err;
    auto tooLong = runProgram(kCli, {"condense", file, "--out", dir.path().string() + "/" + std::string(4100, 'n')});
    EXPECT_EQ(tooLong.status, 1);
    EXPECT_TRUE(contains(tooLong.err, "Generic error from CFile\n")) << tooLong.err;
    EXPECT_TRUE(contains(tooLong.err, ": File name too long\n")) << tooLong.err;
    auto longImage = runProgram(kCli, {"generate", dir.file(std::string(300, 'g') + ".vxr")});
    EXPECT_EQ(longImage.status, 1);
    EXPECT_TRUE(contains(longImage.err, ": File name too long\n")) << longImage.err;

    // A name with control characters cannot split a message or reach the terminal.
    const std::string odd = dir.file("a\nb\x1b[2J.vxr");
    auto list = runProgram(kCli, {"list", odd});
    EXPECT_EQ(list.status, 1);
    EXPECT_EQ(list.err, "could not open the specified file " + dir.file("a\\nb\\x1b[2J.vxr") +
                            "\nNo such file or directory\n");

    // A file whose name starts with '-' is read after "--"; before it, the word is an unknown option.
    const std::string dashed = "-x.vxr";
    auto unknown = runProgram(kCli, {"list", dashed});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(contains(unknown.err, "-x.vxr is not an option of list")) << unknown.err;
    auto afterDashes = runProgram(kCli, {"list", "--", dashed});
    EXPECT_EQ(afterDashes.status, 1);
    EXPECT_TRUE(contains(afterDashes.err, "could not open the specified file -x.vxr\n")) << afterDashes.err;

    // Mistyped commands and options suggest the nearest one.
    auto command = runProgram(kCli, {"lsit", file});
    EXPECT_EQ(command.status, 2);
    EXPECT_TRUE(contains(command.err, "lsit is not a command (did you mean list?")) << command.err;
    auto option = runProgram(kCli, {"list", file, "--fitler", "7000"});
    EXPECT_EQ(option.status, 2);
    EXPECT_TRUE(contains(option.err, "--fitler is not an option of list; did you mean --filter?")) << option.err;

    // One row: singular.
    auto row = runProgram(kCli, {"image", file, "--row", "5", "--out", dir.file("x.png"), "--filter", "7200"});
    EXPECT_EQ(row.status, 2);
    EXPECT_TRUE(contains(row.err, "(1 row listed)")) << row.err;
}

TEST(CliMessages, TheSimulatorRefusesToReplayAFileThatIsNotARecordFile) {
    TempDir dir;
    const std::string text = dir.file("notes.txt");
    put(text, std::string(400, 'n'));
    const std::string empty = dir.file("empty.vxr");
    put(empty, "");
    for (const std::string& file : {text, empty}) {
        auto r = runProgram(TARVIK_SIM, {"--replay", file, "--port", "0", "--exit-after", "5"});
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_EQ(r.err.rfind("vxcenter-sim: " + file + " is not a record file: ", 0), 0u) << r.err;
    }
    // A file that is not there is a problem too, not a usage error.
    auto missing = runProgram(TARVIK_SIM, {"--replay", dir.file("nosuch.vxr"), "--port", "0", "--exit-after", "5"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("vxcenter-sim: cannot open " + dir.file("nosuch.vxr") + ": ", 0), 0u) << missing.err;
}

TEST(CliOutputs, ReceiveRefusesAnExistingOutputBeforeItConnects) {
    TempDir dir;
    const std::string kept = dir.file("kept.vxr");
    put(kept, "recorded earlier");
    // Nothing listens on the discard port of the loopback: the refusal comes first.
    auto r = runProgram(kCli, {"receive", "127.0.0.1", "9", "--seconds", "0", "--out", kept});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarvik-cli: " + kept + " exists; --force replaces it\n");
    EXPECT_EQ(slurp(kept), "recorded earlier");
    r = runProgram(kCli, {"receive", "127.0.0.1", "9", "--seconds", "0", "--config", kept});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(slurp(kept), "recorded earlier");
}

TEST(CliOutputs, TheDissectorIsNeverWrittenOntoALayoutFileNorByARunThatFails) {
    TempDir dir;
    const std::string layouts = dir.file("my-layouts");
    std::filesystem::create_directory(layouts);
    const std::string mine = layouts + "/mine.yaml";
    put(mine, "records:\n  - type: 7005\n    title: \"Mine\"\n    items:\n      - [\"Serial\", u, 8]\n");
    const std::string original = slurp(mine);

    // Onto one of the layout files it reads, even with --force.
    auto onInput = runProgram(kCli, {"catalogue", "--export-wireshark", mine, "--layouts", layouts, "--force"});
    EXPECT_EQ(onInput.status, 1);
    EXPECT_TRUE(contains(onInput.err, "is an input of this command")) << onInput.err;
    EXPECT_EQ(slurp(mine), original);

    // A faulty layout file: the dissector already there stays as it was.
    const std::string lua = dir.file("vx.lua");
    put(lua, "-- an older dissector\n");
    put(layouts + "/broken.yaml", "records:\n  - type: [\n");
    auto faulty = runProgram(kCli, {"catalogue", "--export-wireshark", lua, "--layouts", layouts, "--force"});
    EXPECT_EQ(faulty.status, 1);
    EXPECT_TRUE(contains(faulty.err, "broken.yaml")) << faulty.err;
    EXPECT_EQ(faulty.out, "");
    EXPECT_EQ(slurp(lua), "-- an older dissector\n");
    std::filesystem::remove(layouts + "/broken.yaml");

    // A --layouts folder that is not there: nothing is written.
    auto missing = runProgram(kCli, {"catalogue", "--export-wireshark", dir.file("new.lua"), "--layouts",
                                     dir.file("no-such-folder")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(contains(missing.err, "is not a folder")) << missing.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("new.lua")));

    // The line of the Wireshark page, in a folder that has my-layouts.
    auto line = runProgram(kCli, {"catalogue", "--export-wireshark", lua, "--port", "7000", "--port", "7010",
                                  "--layouts", layouts, "--force"});
    EXPECT_EQ(line.status, 0) << line.err;
    EXPECT_EQ(line.err, "");
    EXPECT_NE(slurp(lua), "-- an older dissector\n");
}

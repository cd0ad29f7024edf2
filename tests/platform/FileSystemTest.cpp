#include "platform/AtomicFile.h"
#include "platform/ConfigDir.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/StaleFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace kelvaran::platform {
namespace {

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kelvaran-fs-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    void touch(const std::string& name, const std::string& content = "x") {
        std::ofstream(path(name), std::ios::binary) << content;
    }

    fs::path dir_;
    StdFileSystem fsys_;
};

TEST_F(FileSystemTest, NamesOfAPath) {
    EXPECT_EQ(fsys_.GetExtensionName("/a/b/report.DOC"), "DOC");
    EXPECT_EQ(fsys_.GetExtensionName("/a/b.d/report"), "");
    EXPECT_EQ(fsys_.GetExtensionName("/a/archive.tar.gz"), "gz");
    EXPECT_EQ(fsys_.GetBaseName("/a/b/report.DOC"), "report");
    EXPECT_EQ(fsys_.GetBaseName("/a/b/report"), "report");
    EXPECT_EQ(fsys_.GetParentFolderName("/a/b/report.doc"), "/a/b");
    EXPECT_EQ(fsys_.GetParentFolderName("/report.doc"), "/");
    EXPECT_EQ(fsys_.GetParentFolderName("report.doc"), "");
}

TEST_F(FileSystemTest, ExistenceTellsFilesFromFolders) {
    touch("a.doc");
    EXPECT_TRUE(fsys_.FileExists(path("a.doc")));
    EXPECT_FALSE(fsys_.folderExists(path("a.doc")));
    EXPECT_TRUE(fsys_.folderExists(dir_.string()));
    EXPECT_FALSE(fsys_.FileExists(dir_.string()));
    EXPECT_FALSE(fsys_.FileExists(path("missing.doc")));
    EXPECT_FALSE(fsys_.FileExists(""));
}

TEST_F(FileSystemTest, SizesDeletionAndListing) {
    touch("b.rtf", std::string(1536, 'z'));
    touch("a.doc");
    fs::create_directories(dir_ / "sub");
    touch("sub/inner.doc");
    EXPECT_DOUBLE_EQ(fsys_.GetFile(path("b.rtf")).Size, 1536);
    EXPECT_THROW(fsys_.GetFile(path("missing")), FileSystemError);

    auto folder = fsys_.getFolder(dir_.string());
    ASSERT_EQ(folder.Files.size(), 2u);  // the subfolder's file is not listed
    EXPECT_EQ(folder.Files[0], path("a.doc"));
    EXPECT_EQ(folder.Files[1], path("b.rtf"));

    fsys_.deletefile(path("a.doc"));
    EXPECT_FALSE(fsys_.FileExists(path("a.doc")));
    EXPECT_THROW(fsys_.deletefile(path("a.doc")), FileSystemError);
}

TEST_F(FileSystemTest, TemporaryFolderHonoursTmpdir) {
    const char* old = std::getenv("TMPDIR");
    std::string saved = old ? old : "";
    ::setenv("TMPDIR", (dir_.string() + "/").c_str(), 1);
    EXPECT_EQ(fsys_.GetSpecialFolder(2), dir_.string());
    std::string first = fsys_.GetTempName();
    EXPECT_EQ(first.size(), 12u);
    EXPECT_EQ(first.substr(0, 3), "rad");
    EXPECT_EQ(first.substr(8), ".tmp");
    if (old) ::setenv("TMPDIR", saved.c_str(), 1); else ::unsetenv("TMPDIR");
}

TEST_F(FileSystemTest, ForkedProcessesDrawDifferentTemporaryNames) {
    // Parallel jobs are forked after the first names were drawn.
    fsys_.GetTempName();
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string names;
        for (int i = 0; i < 4; ++i) names += fsys_.GetTempName();
        const auto written = ::write(pipeEnds[1], names.data(), names.size());
        ::_exit(written == static_cast<ssize_t>(names.size()) ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    std::string mine;
    for (int i = 0; i < 4; ++i) mine += fsys_.GetTempName();
    std::string theirs(mine.size(), '\0');
    std::size_t got = 0;
    while (got < theirs.size()) {
        const auto n = ::read(pipeEnds[0], theirs.data() + got, theirs.size() - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(got, theirs.size());
    EXPECT_NE(mine, theirs);
}

TEST_F(FileSystemTest, AtomicWriteReplacesWholeFilesAndLeavesNoTemporary) {
    std::string target = path("out.doc");
    writeFileAtomically(target, "first");
    writeFileAtomically(target, "second content");
    EXPECT_EQ(readWholeFile(target), "second content");
    int entries = 0;
    for (auto& e : fs::directory_iterator(dir_)) { (void)e; ++entries; }
    EXPECT_EQ(entries, 1);
}

TEST_F(FileSystemTest, WholeFilesAreReadExactlyFromFilesAndPipes) {
    std::string binary;
    for (std::uint32_t i = 0; i < 3u * 1024 * 1024 + 7; ++i) binary.push_back(static_cast<char>((i * 7919u) >> 3));
    writeFileAtomically(path("big.bin"), binary);
    EXPECT_EQ(readWholeFile(path("big.bin")), binary);
    writeFileAtomically(path("empty.bin"), "");
    EXPECT_EQ(readWholeFile(path("empty.bin")), "");
    EXPECT_THROW(readWholeFile(path("missing.bin")), FileSystemError);

    // A named pipe has no size to read up to: its bytes are read as they come.
    const std::string fifo = path("list.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::ofstream out(fifo, std::ios::binary);
        out << "a.doc\nb.rtf\n";
        out.close();
        ::_exit(0);
    }
    EXPECT_EQ(readWholeFile(fifo), "a.doc\nb.rtf\n");
    int status = 0;
    ::waitpid(child, &status, 0);
}

TEST_F(FileSystemTest, AtomicWriterGathersSmallPiecesAndPassesLargeOnesWhole) {
    const std::string target = path("pieces.bin");
    std::string expected;
    {
        AtomicFileWriter writer(target, Durability::Unsynced);
        for (int k = 0; k < 5000; ++k) {
            const std::string piece(static_cast<std::size_t>(k % 97), static_cast<char>('a' + k % 26));
            writer.write(piece);
            expected += piece;
            if (k % 1000 == 999) {
                // A piece larger than the gathering block, between small ones.
                const std::string large(300000, static_cast<char>('0' + k / 1000));
                writer.write(large);
                expected += large;
            }
        }
        writer.write("");
        writer.commit();
    }
    EXPECT_EQ(readWholeFile(target), expected);
}

TEST_F(FileSystemTest, AtomicWriterWithoutCommitLeavesTheOldFile) {
    std::string target = path("out.doc");
    writeFileAtomically(target, "old");
    {
        AtomicFileWriter writer(target);
        writer.write("half of the new");
    }
    EXPECT_EQ(readWholeFile(target), "old");
    int entries = 0;
    for (auto& e : fs::directory_iterator(dir_)) { (void)e; ++entries; }
    EXPECT_EQ(entries, 1);
}

TEST_F(FileSystemTest, AtomicWriteIntoAMissingFolderFails) {
    EXPECT_THROW(writeFileAtomically(path("no/such/folder/out.doc"), "x"), FileSystemError);
}

// The descriptor this process has open on `path`; -1 when none.
int descriptorOf(const std::string& path) {
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (fs::read_symlink(entry.path(), ec) == path) return std::stoi(entry.path().filename().string());
    }
    return -1;
}

TEST_F(FileSystemTest, WriteFailuresKeepTheSystemsErrorNumber) {
    // /dev/full takes no byte: the write fails as on a full disk.
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    try {
        AtomicFileWriter writer(path("out.doc"));
        const int full = ::open("/dev/full", O_WRONLY);
        ASSERT_GE(full, 0);
        const int own = descriptorOf(writer.temporaryPath());
        ASSERT_GE(own, 0);
        ASSERT_GE(::dup2(full, own), 0);
        ::close(full);
        // The pieces are gathered first: the failure comes when they go out.
        writer.write("some bytes");
        writer.commit();
        FAIL() << "the write should have failed";
    } catch (const FileSystemError& failure) {
        EXPECT_EQ(failure.errorNumber(), ENOSPC);
        EXPECT_TRUE(failure.storageFull());
    }
    EXPECT_FALSE(FileSystemError("no number").storageFull());
}

// ---- Leftovers of a killed run -------------------------------------------

TEST(StaleFileNames, OnlyTheProgramsOwnTemporaryNames) {
    EXPECT_TRUE(isPartialCopyName(".kelvaran-a1B2c3"));
    EXPECT_FALSE(isPartialCopyName(".kelvaran-a1B2c"));
    EXPECT_FALSE(isPartialCopyName(".kelvaran-a1B2c3d"));
    EXPECT_FALSE(isPartialCopyName(".kelvaran-a1B.c3"));
    EXPECT_FALSE(isPartialCopyName("kelvaran-a1B2c3"));
    EXPECT_TRUE(isScratchFileName("rad0A9fE.tmp.doc"));
    EXPECT_TRUE(isScratchFileName("radFFFFF.tmp.rtf"));
    EXPECT_TRUE(isScratchFileName("kelvaran-job-Zz09aB"));
    EXPECT_FALSE(isScratchFileName("radGGGGG.tmp.doc"));
    EXPECT_FALSE(isScratchFileName("rad0A9fE.tmp.docx"));
    EXPECT_FALSE(isScratchFileName("rad0A9fE.tmp"));
    EXPECT_FALSE(isScratchFileName("report.doc"));
}

TEST_F(FileSystemTest, StaleFilesGoAndEverythingElseStays) {
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(25);
    for (const char* name : {".kelvaran-Old111", ".kelvaran-Old222", ".kelvaran-Young1", "report.doc"}) touch(name);
    fs::create_directories(dir_ / ".kelvaran-Folder");
    fs::create_directories(dir_ / "below");
    touch("below/.kelvaran-Deeper");
    fs::create_symlink(path("report.doc"), path(".kelvaran-Link11"));
    for (const char* name :
         {".kelvaran-Old111", ".kelvaran-Old222", "report.doc", ".kelvaran-Folder", "below/.kelvaran-Deeper"}) {
        fs::last_write_time(path(name), old);
    }
    // A live run holds its partial copy locked.
    const int held = ::open(path(".kelvaran-Old222").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    EXPECT_EQ(removeStaleFiles(dir_.string(), isPartialCopyName), 1);
    EXPECT_FALSE(fs::exists(path(".kelvaran-Old111")));
    for (const char* name : {".kelvaran-Old222", ".kelvaran-Young1", "report.doc", ".kelvaran-Folder",
                             "below/.kelvaran-Deeper", ".kelvaran-Link11"}) {
        EXPECT_TRUE(fs::exists(fs::symlink_status(path(name)))) << name;
    }
    ::close(held);
    EXPECT_EQ(removeStaleFiles(dir_.string(), isPartialCopyName), 1);
    EXPECT_FALSE(fs::exists(path(".kelvaran-Old222")));
    EXPECT_EQ(removeStaleFiles(path("no-such-folder"), isPartialCopyName), 0);
}

TEST_F(FileSystemTest, AnAtomicWriterHoldsItsPartialCopyLockedAgainstTheCleanUp) {
    AtomicFileWriter writer(path("out.doc"));
    writer.write("half");
    fs::last_write_time(writer.temporaryPath(), fs::file_time_type::clock::now() - std::chrono::hours(48));
    EXPECT_EQ(removeStaleFiles(dir_.string(), isPartialCopyName), 0);
    writer.commit();
    EXPECT_EQ(readWholeFile(path("out.doc")), "half");
}

TEST(ConfigDir, OrderOfTheEnvironmentVariables) {
    const char* own = std::getenv("KELVARAN_CONFIG_DIR");
    std::string savedOwn = own ? own : "";
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string savedXdg = xdg ? xdg : "";
    ::setenv("KELVARAN_CONFIG_DIR", "/own", 1);
    ::setenv("XDG_CONFIG_HOME", "/xdg", 1);
    EXPECT_EQ(configDirectory(), "/own");
    ::unsetenv("KELVARAN_CONFIG_DIR");
    EXPECT_EQ(configDirectory(), "/xdg/kelvaran");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_NE(configDirectory().find("/.config/kelvaran"), std::string::npos);
    if (own) ::setenv("KELVARAN_CONFIG_DIR", savedOwn.c_str(), 1);
    if (xdg) ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
}

}  // namespace
}  // namespace kelvaran::platform

#include "platform/Process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace kelvaran::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(ProcessTest, ExitStatusAndOutput) {
    const fs::path log = fs::temp_directory_path() / ("kelvaran-process-" + std::to_string(::getpid()));
    const auto r = runProcess({"sh", "-c", "echo out; echo err >&2; exit 3"}, 10s, log.string());
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitStatus, 3);
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "out\nerr\n");
    fs::remove(log);
}

TEST(ProcessTest, AProgramThatRunsTooLongIsKilledWithWhatItStarted) {
    const fs::path marker = fs::temp_directory_path() / ("kelvaran-process-child-" + std::to_string(::getpid()));
    fs::remove(marker);
    // The shell starts a child that would leave a mark after two seconds.
    const auto started = std::chrono::steady_clock::now();
    const auto r = runProcess({"sh", "-c", "(sleep 2; touch '" + marker.string() + "') & sleep 30"}, 300ms);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.exitStatus, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    std::this_thread::sleep_for(2500ms);
    EXPECT_FALSE(fs::exists(marker)) << "the grandchild outlived the timeout";
}

TEST(ProcessTest, OutputFileThatCannotBeMadeNeverSendsTheOutputToOurs) {
    // Our standard output goes to a file for a moment, as a report may.
    const fs::path ours = fs::temp_directory_path() / ("kelvaran-process-ours-" + std::to_string(::getpid()));
    std::fflush(stdout);
    const int saved = ::dup(1);
    const int file = ::open(ours.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(file, 0);
    ::dup2(file, 1);
    ::close(file);
    const auto r = runProcess({"sh", "-c", "echo leaked; echo leaked >&2"}, 10s,
                              (fs::temp_directory_path() / "kelvaran-no-such-folder" / "x.log").string());
    ::dup2(saved, 1);
    ::close(saved);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(fs::file_size(ours), 0u);
    fs::remove(ours);
}

TEST(ProcessTest, AMissingProgramIsNotStarted) {
    const auto r = runProcess({"kelvaran-no-such-program"}, 10s);
    EXPECT_FALSE(r.started);
    EXPECT_FALSE(programOnPath("kelvaran-no-such-program"));
    EXPECT_TRUE(programOnPath("sh"));
}

}  // namespace
}  // namespace kelvaran::platform

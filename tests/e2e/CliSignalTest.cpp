// The command-line program stopped by a signal, as a user or a service
// manager stops it: SIGINT, SIGTERM and SIGHUP act as the stop button, the
// --jobs parent passes them on to its jobs, and nothing is left behind.  The
// program is started for real and signalled while it converts a slow
// document (slow mode pauses between the office operations).

#include "platform/AtomicFile.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kelvaran::e2e {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

// An RTF of `count` copies of the first inline picture of a test document,
// each in a paragraph of its own.
std::string slowDocument(int count) {
    const std::string source = platform::readWholeFile(std::string(KELVARAN_NATIVE_DATA) + "/gen-inline-pictures.rtf");
    const auto open = source.find("{\\pict");
    std::size_t end = open;
    for (int depth = 0; end < source.size(); ++end) {
        if (source[end] == '{') ++depth;
        if (source[end] == '}' && --depth == 0) break;
    }
    const std::string pict = source.substr(open, end + 1 - open);
    std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\n";
    for (int k = 0; k < count; ++k) rtf += "{\\pard Picture " + std::to_string(k + 1) + " " + pict + "\\par}\n";
    return rtf + "}\n";
}

// Whether `signal` is pending for `pid`, by the masks of /proc/PID/status
// (the thread's own and the process's).
bool signalPending(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    const unsigned long long bit = 1ULL << (signal - 1);
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigPnd:", 0) == 0 || line.rfind("ShdPnd:", 0) == 0) {
            if (std::stoull(line.substr(7), nullptr, 16) & bit) return true;
        }
    }
    return false;
}

// Waits until the program has taken `signal` (it is no longer pending); false
// after ten seconds.
bool waitUntilTaken(pid_t pid, int signal) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (signalPending(pid, signal)) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

struct Program {
    pid_t pid = -1;
    int out = -1;  // its standard output
    std::string seen;
};

class CliSignalTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("kelvaran-signal-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        for (const char* sub : {"config", "tmp", "in", "out"}) fs::create_directories(dir / sub);
    }
    void TearDown() override {
        if (program.pid > 0) {
            ::kill(program.pid, SIGKILL);
            ::waitpid(program.pid, nullptr, 0);
        }
        if (program.out >= 0) ::close(program.out);
        fs::remove_all(dir);
    }

    std::string input(const std::string& name, int pictures = 12) {
        const fs::path path = dir / "in" / name;
        std::ofstream(path, std::ios::binary) << slowDocument(pictures);
        return path.string();
    }
    std::string reportPath() const { return (dir / "report.jsonl").string(); }

    // Starts the program with its own configuration and temporary folders.
    void start(const std::vector<std::string>& arguments) {
        std::vector<std::string> args{KELVARAN_CLI,           "--slow",   "--min-size", "0", "-o",
                                      (dir / "out").string(), "--report", reportPath()};
        args.insert(args.end(), arguments.begin(), arguments.end());
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        program.pid = ::fork();
        ASSERT_GE(program.pid, 0);
        if (program.pid == 0) {
            ::dup2(pipeFds[1], STDOUT_FILENO);
            const int errors = ::open((dir / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (errors >= 0) ::dup2(errors, STDERR_FILENO);
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
            ::setenv("KELVARAN_CONFIG_DIR", (dir / "config").c_str(), 1);
            ::setenv("TMPDIR", (dir / "tmp").c_str(), 1);
            std::vector<char*> argv;
            for (auto& arg : args) argv.push_back(arg.data());
            argv.push_back(nullptr);
            ::execve(argv[0], argv.data(), environ);
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        program.out = pipeFds[0];
    }

    // Reads the log until `text` appears; false when the program ended first
    // or a minute went by.
    bool waitForLog(const std::string& text, std::size_t occurrences = 1) {
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        auto count = [&] {
            std::size_t n = 0;
            for (auto at = program.seen.find(text); at != std::string::npos; at = program.seen.find(text, at + 1)) ++n;
            return n;
        };
        while (count() < occurrences) {
            if (Clock::now() > deadline) return false;
            pollfd ready{program.out, POLLIN, 0};
            if (::poll(&ready, 1, 1000) <= 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(program.out, buffer, sizeof buffer);
            if (got <= 0) return false;
            program.seen.append(buffer, static_cast<std::size_t>(got));
        }
        return true;
    }

    // The rest of the log, to the end of the pipe.
    void readRest() {
        char buffer[4096];
        for (ssize_t got; (got = ::read(program.out, buffer, sizeof buffer)) > 0;) {
            program.seen.append(buffer, static_cast<std::size_t>(got));
        }
    }

    // The program's raw wait status, once it has ended (at most a minute).
    int waitForEnd() {
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        int status = 0;
        while (Clock::now() < deadline) {
            const pid_t done = ::waitpid(program.pid, &status, WNOHANG);
            if (done == program.pid) {
                program.pid = -1;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << "the program did not end within a minute of the signal";
        return -1;
    }

    std::vector<json> report() const {
        std::vector<json> records;
        std::ifstream in(reportPath());
        for (std::string line; std::getline(in, line);) records.push_back(json::parse(line));
        return records;
    }

    // Files left anywhere under the work folder that a run must not leave:
    // partial copies, scratch documents, job files.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(".kelvaran-", 0) == 0 || name.rfind("kelvaran-job-", 0) == 0 ||
                (entry.path().parent_path() == dir / "tmp")) {
                found.push_back(entry.path().string());
            }
        }
        return found;
    }

    // Processes still running whose command line names the work folder: the
    // program's jobs, which keep the parent's command line.
    std::vector<pid_t> jobsStillRunning() const {
        std::vector<pid_t> pids;
        for (const auto& entry : fs::directory_iterator("/proc")) {
            const std::string name = entry.path().filename().string();
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            std::ifstream in(entry.path() / "cmdline", std::ios::binary);
            const std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (line.find(dir.string() + "/in/") != std::string::npos && std::stoi(name) != ::getpid()) {
                pids.push_back(std::stoi(name));
            }
        }
        return pids;
    }

    void expectStoppedAndClean(int status) {
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(WEXITSTATUS(status), 1);
        const auto records = report();
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.back()["record"], "run");
        EXPECT_EQ(records.back()["outcome"], "stopped");
        for (const auto& record : records) {
            if (record["record"] == "document") {
                EXPECT_EQ(record["outcome"], "stopped") << record.dump();
            }
        }
        EXPECT_TRUE(fs::is_empty(dir / "out"));
        EXPECT_EQ(leftovers(), std::vector<std::string>{});
    }

    fs::path dir;
    Program program;
};

class StopSignal : public CliSignalTest, public ::testing::WithParamInterface<int> {};

TEST_P(StopSignal, StopsTheRunLikeTheStopButton) {
    const auto a = input("a.rtf");
    const auto b = input("b.rtf");
    start({a, b});
    ASSERT_TRUE(waitForLog("▼開始▼")) << program.seen;
    ASSERT_EQ(::kill(program.pid, GetParam()), 0);
    expectStoppedAndClean(waitForEnd());
    // The document being converted was not saved and the next not begun.
    readRest();
    EXPECT_NE(program.seen.find("▲終了▲ "), std::string::npos);
    EXPECT_EQ(program.seen.find(b), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(SigintSigtermSighup, StopSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(sigabbrev_np(info.param));
                         });

class StopSignalToJobs : public CliSignalTest, public ::testing::WithParamInterface<int> {};

TEST_P(StopSignalToJobs, TheParentPassesItOnAndWaitsForItsJobs) {
    const auto a = input("a.rtf");
    const auto b = input("b.rtf");
    start({"--jobs", "2", a, b});
    // Both jobs are converting once each has told of its first object: their
    // log reaches the parent only at the end, so look at the jobs themselves.
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (jobsStillRunning().size() < 3 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(jobsStillRunning().size(), 3u) << "the parent and two jobs";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // To the parent alone, not to its process group.
    ASSERT_EQ(::kill(program.pid, GetParam()), 0);
    expectStoppedAndClean(waitForEnd());
    EXPECT_EQ(jobsStillRunning(), std::vector<pid_t>{});
}

INSTANTIATE_TEST_SUITE_P(SigintSigterm, StopSignalToJobs, ::testing::Values(SIGINT, SIGTERM),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(sigabbrev_np(info.param));
                         });

TEST_F(CliSignalTest, ASecondSignalEndsTheProgramAtOnce) {
    start({input("a.rtf", 40)});
    // The first object is done and the second is being converted: a stop
    // would come after it, a second later.
    ASSERT_TRUE(waitForLog("ページ 1")) << program.seen;
    ASSERT_EQ(::kill(program.pid, SIGTERM), 0);
    // The second one is sent as soon as the first has been taken: sent
    // earlier, the two would merge into one pending signal; later, a busy
    // machine could let the stop finish first.
    ASSERT_TRUE(waitUntilTaken(program.pid, SIGTERM));
    ASSERT_EQ(::kill(program.pid, SIGTERM), 0);
    const int status = waitForEnd();
    readRest();
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status) << "\n" << program.seen;
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
}

TEST_F(CliSignalTest, LeftoversOfAKilledRunAreRemovedAtTheNextStart) {
    // A run killed outright leaves its partial copy and its scratch files.
    start({input("a.rtf", 40)});
    ASSERT_TRUE(waitForLog("▼開始▼")) << program.seen;
    ASSERT_EQ(::kill(program.pid, SIGKILL), 0);
    waitForEnd();
    // Everything it left is a day old by the next run.
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(25);
    std::vector<fs::path> stale = {dir / "out" / ".kelvaran-Ab12Cd", dir / "tmp" / "radA1B2C.tmp.rtf",
                                   dir / "tmp" / "kelvaran-job-x1Y2z3", dir / "tmp" / ".kelvaran-Zz9Yy8"};
    for (const auto& path : stale) std::ofstream(path) << "left behind";
    for (const char* folder : {"tmp", "out"}) {
        for (const auto& entry : fs::directory_iterator(dir / folder)) fs::last_write_time(entry.path(), old);
    }
    // Files of another kind, and a partial copy of a run that may still be going on.
    const fs::path recent = dir / "out" / ".kelvaran-Recent";
    const fs::path foreign = dir / "tmp" / "rad12345.tmp.txt";
    std::ofstream(recent) << "recent";
    std::ofstream(foreign) << "not ours";
    fs::last_write_time(foreign, old);

    start({input("b.rtf", 1)});
    const int status = waitForEnd();
    ASSERT_TRUE(WIFEXITED(status));
    for (const auto& path : stale) EXPECT_FALSE(fs::exists(path)) << path;
    EXPECT_TRUE(fs::exists(recent));
    EXPECT_TRUE(fs::exists(foreign));
    std::vector<std::string> scratch;
    for (const auto& entry : fs::directory_iterator(dir / "tmp")) {
        if (entry.path() != foreign) scratch.push_back(entry.path().string());
    }
    EXPECT_EQ(scratch, std::vector<std::string>{});
}

}  // namespace
}  // namespace kelvaran::e2e

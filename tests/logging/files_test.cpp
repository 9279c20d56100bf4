#include "logging/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "support/engine_fixture.h"

namespace qxs {
namespace {

using test::TempDir;

const std::string kCreateFailure = "  Check your TempDir config. Check your disk space.\r\n";
const std::string kWriteFailure =
    kCreateFailure + "  If the file does not exist, try creating it.\r\n";

// Drive c: is the fixture's home, holding "logs" and "temp".
class LogFiles : public ::testing::Test {
protected:
    // The log of a generation under the drive; 0 is the current one.
    static std::string name(int n) {
        return n == 0 ? "logs/qxs.log"
                      : "logs/qxs-" + std::string(n < 10 ? "00" : "0") + std::to_string(n) + ".log";
    }
    std::string log(int n = 0) const { return TempDir::read(dir.file(name(n))); }
    bool exists(int n) const { return TempDir::exists(dir.file(name(n))); }
    int cycle() { return CycleLogs("c:\\logs\\", "qxs", "log"); }

    test::EngineFixture fx;
    TempDir& dir = fx.home;
    test::CaptureShell& screen = fx.shell;
};

TEST_F(LogFiles, AppendCreatesAnAbsentFileOnceAndThenExtendsIt) {
    const char* path = "c:\\temp\\CGI-in3.qxs";
    EXPECT_EQ(append_file(path, "name=x\r\n"), 0);
    EXPECT_EQ(screen.take(), std::string("\r\nCREATING TEMP FILE [") + path + "]\r\n");
    const std::string body("a\0b", 3);
    EXPECT_EQ(append_file_bytes(path, body.data(), 3), 0);
    EXPECT_EQ(append_file(path, nullptr) + append_file_bytes(path, nullptr, 4), 0);
    EXPECT_EQ(TempDir::read(dir.file("temp/CGI-in3.qxs")), "name=x\r\n" + body);

    // An existing empty file is not announced as created.
    dir.write(name(0), "");
    EXPECT_EQ(append_file("c:\\logs\\QXS.LOG", "line\r\n"), 0);
    EXPECT_EQ(log(), "line\r\n");
    EXPECT_EQ(append_file("c:\\logs\\none.log", nullptr), 0);
    EXPECT_FALSE(TempDir::exists(dir.file("logs/none.log")));
    EXPECT_EQ(screen.take(), "");

    // A new file's content replaces the old whole.
    EXPECT_EQ(write_new_file("c:\\logs\\qxs.log", "new"), 0);
    EXPECT_EQ(log(), "new");
}

TEST_F(LogFiles, AppendFailures) {
    const std::string missing = "c:\\nowhere\\x.qxs";
    EXPECT_LT(append_file(missing.c_str(), "x"), 0);
    EXPECT_EQ(screen.take(), "\r\nCREATING TEMP FILE [" + missing +
                                 "]\r\nUNABLE TO CREATE TEMP FILE!  [" + missing + "]\r\n" +
                                 kCreateFailure);
    // It exists but cannot be written (a directory refuses even root).
    EXPECT_LT(append_file("c:\\temp", "x"), 0);
    EXPECT_EQ(screen.take(), "UNABLE TO WRITE TO TEMP FILE!  [c:\\temp]\r\n" + kWriteFailure);

    // Another writer holds the file: refused the same way, not waited for.
    std::string host = dir.write("temp/held.qxs", "old");
    int fd = ::open(host.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_LT(append_file("c:\\temp\\held.qxs", "new"), 0);
    ::close(fd);
    EXPECT_EQ(screen.take(),
              "UNABLE TO WRITE TO TEMP FILE!  [c:\\temp\\held.qxs]\r\n" + kWriteFailure);
    EXPECT_EQ(TempDir::read(host), "old");

    // A disk that fills in the middle of a line: the part that went in is
    // taken back, so the log keeps whole lines only.
    std::string full = dir.write("logs/full.log", "one whole line\r\n");
    rlimit old_limit{};
    getrlimit(RLIMIT_FSIZE, &old_limit);
    void (*old_handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_limit;
    limit.rlim_cur = 30;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const int result = append_file("c:\\logs\\full.log", "a second line that does not fit\r\n");
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_LT(result, 0);
    EXPECT_EQ(TempDir::read(full), "one whole line\r\n");
}

TEST_F(LogFiles, WriteNewFileReplacesTheContent) {
    std::string host = dir.write("temp/cash1.qxs", "a long old content");
    EXPECT_EQ(write_new_file("c:\\temp\\cash1.qxs", "new"), 0);
    EXPECT_EQ(TempDir::read(host), "new");
    EXPECT_EQ(write_new_file("c:\\temp\\cash1.qxs", nullptr), 0);
    EXPECT_EQ(TempDir::read(host), "");
    EXPECT_LT(write_new_file("c:\\nowhere\\cash1.qxs", "x"), 0);
    EXPECT_EQ(screen.take(),
              "UNABLE TO CREATE TEMP FILE!  [c:\\nowhere\\cash1.qxs]\r\n" + kCreateFailure);
}

TEST_F(LogFiles, CycleMovesTheLogsAndNeverOverwritesOne) {
    EXPECT_EQ(cycle(), 1);  // no current log: one is started
    EXPECT_FALSE(exists(1));
    EXPECT_EQ(log(), "\r\n");
    dir.write(name(0), "first");
    screen.take();
    EXPECT_EQ(cycle(), 1);
    EXPECT_EQ(screen.take(), "\r\nCycleLogs - Cycling c:\\logs\\qxs.log\r\nCycleLogs - Finish\r\n");
    ASSERT_EQ(append_file("c:\\logs\\qxs.log", "second"), 0);
    cycle();
    EXPECT_EQ(log(2) + "|" + log(1) + "|" + log(), "first|\r\nsecond|\r\n");

    // The oldest generation is dropped; an empty one stops the chain there, and
    // then the current log stays where it is rather than overwrite anything.
    dir.write(name(0), "current");
    for (int n = 1; n <= 30; ++n) dir.write(name(n), "g" + std::to_string(n));
    cycle();
    EXPECT_EQ(log(1), "current");
    for (int n = 2; n <= 30; ++n) EXPECT_EQ(log(n), "g" + std::to_string(n - 1));
    EXPECT_FALSE(exists(31));

    dir.write(name(0), "now");
    dir.write(name(2), "");
    cycle();
    EXPECT_EQ(log(4), "g2");
    EXPECT_FALSE(exists(3));
    EXPECT_EQ(log(2) + "|" + log(1) + "|" + log(), "|current|now");
}

}  // namespace
}  // namespace qxs

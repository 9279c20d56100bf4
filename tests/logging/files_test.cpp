#include "logging/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/dos_files.h"
#include "support/capture_shell.h"
#include "support/temp_dir.h"

namespace qxs {
namespace {

const std::string kCreateFailure = "  Check your TempDir config. Check your disk space.\r\n";

// Drive c: is a temporary directory holding "logs" and "temp".
class LogFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dos::map_drive('c', dir.path());
        std::filesystem::create_directories(dir.file("logs"));
        std::filesystem::create_directories(dir.file("temp"));
    }
    void TearDown() override { dos::reset_drives(); }

    // A name under c:\logs\ and its host path.
    static std::string dos_log(const std::string& name) { return "c:\\logs\\" + name; }
    std::string host_log(const std::string& name) const { return dir.file("logs/" + name); }
    static std::string generation_name(int n) {
        char name[32];
        std::snprintf(name, sizeof name, "qxs-%03d.log", n);
        return name;
    }
    std::string generation(int n) const { return host_log(generation_name(n)); }
    int cycle() { return CycleLogs("c:\\logs\\", "qxs", "log"); }

    test::TempDir dir;
    test::CaptureShell screen;
};

TEST_F(LogFiles, AppendCreatesAnAbsentFileOnceAndThenExtendsIt) {
    const char* path = "c:\\temp\\CGI-in3.qxs";
    EXPECT_EQ(append_file(path, "name=x\r\n"), 0);
    EXPECT_EQ(screen.take(), std::string("\r\nCREATING TEMP FILE [") + path + "]\r\n");
    EXPECT_EQ(append_file(path, "more"), 0);
    EXPECT_EQ(screen.take(), "");
    EXPECT_EQ(test::TempDir::read(dir.file("temp/CGI-in3.qxs")), "name=x\r\nmore");
}

TEST_F(LogFiles, AppendToAnExistingEmptyFileCreatesNothing) {
    std::string host = dir.write("logs/qxs.log", "");
    EXPECT_EQ(append_file(dos_log("QXS.LOG").c_str(), "line\r\n"), 0);
    EXPECT_EQ(screen.take(), "");
    EXPECT_EQ(test::TempDir::read(host), "line\r\n");
}

TEST_F(LogFiles, AppendWithoutTextTouchesNothing) {
    EXPECT_EQ(append_file(dos_log("qxs.log").c_str(), nullptr), 0);
    EXPECT_FALSE(test::TempDir::exists(host_log("qxs.log")));
    EXPECT_EQ(append_file_bytes(dos_log("qxs.log").c_str(), nullptr, 4), 0);
    EXPECT_FALSE(test::TempDir::exists(host_log("qxs.log")));
    EXPECT_EQ(screen.take(), "");
}

TEST_F(LogFiles, AppendBytesKeepsNulBytes) {
    const std::string body("a\0b\0\0c", 6);
    EXPECT_EQ(append_file_bytes("c:\\temp\\body.qxs", body.data(), 6), 0);
    EXPECT_EQ(append_file_bytes("c:\\temp\\body.qxs", body.data(), 2), 0);
    EXPECT_EQ(test::TempDir::read(dir.file("temp/body.qxs")), body + std::string("a\0", 2));
}

TEST_F(LogFiles, AppendFailures) {
    // The directory is missing: announced, then refused.
    const std::string missing = "c:\\nowhere\\x.qxs";
    EXPECT_LT(append_file(missing.c_str(), "x"), 0);
    EXPECT_EQ(screen.take(), "\r\nCREATING TEMP FILE [" + missing +
                                 "]\r\nUNABLE TO CREATE TEMP FILE!  [" + missing + "]\r\n" +
                                 kCreateFailure);

    // It exists but cannot be written (a directory refuses even root).
    const std::string write_failure = "UNABLE TO WRITE TO TEMP FILE!  [c:\\temp]\r\n" +
                                      kCreateFailure +
                                      "  If the file does not exist, try creating it.\r\n";
    EXPECT_LT(append_file("c:\\temp", "x"), 0);
    EXPECT_EQ(screen.take(), write_failure);

    // Another writer holds the file: refused the same way, not waited for.
    std::string host = dir.write("temp/held.qxs", "old");
    int fd = ::open(host.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_LT(append_file("c:\\temp\\held.qxs", "new"), 0);
    ::close(fd);
    EXPECT_EQ(screen.take(), "UNABLE TO WRITE TO TEMP FILE!  [c:\\temp\\held.qxs]\r\n" +
                                 kCreateFailure +
                                 "  If the file does not exist, try creating it.\r\n");
    EXPECT_EQ(test::TempDir::read(host), "old");
}

TEST_F(LogFiles, WriteNewFileReplacesTheContent) {
    std::string host = dir.write("temp/cash1.qxs", "a long old content");
    EXPECT_EQ(write_new_file("c:\\temp\\cash1.qxs", "new"), 0);
    EXPECT_EQ(test::TempDir::read(host), "new");
    EXPECT_EQ(write_new_file("c:\\temp\\cash1.qxs", ""), 0);
    EXPECT_TRUE(test::TempDir::exists(host));
    EXPECT_EQ(std::filesystem::file_size(host), 0u);
    EXPECT_EQ(write_new_file("c:\\temp\\cash2.qxs", nullptr), 0);
    EXPECT_EQ(std::filesystem::file_size(dir.file("temp/cash2.qxs")), 0u);
    EXPECT_EQ(screen.take(), "");
}

TEST_F(LogFiles, WriteNewFileInAMissingDirectory) {
    EXPECT_LT(write_new_file("c:\\nowhere\\cash1.qxs", "x"), 0);
    EXPECT_EQ(screen.take(),
              "UNABLE TO CREATE TEMP FILE!  [c:\\nowhere\\cash1.qxs]\r\n" + kCreateFailure);
}

TEST_F(LogFiles, CycleMovesTheCurrentLogAndStartsANewOne) {
    dir.write("logs/qxs.log", "first");
    EXPECT_EQ(cycle(), 1);
    EXPECT_EQ(screen.take(), "\r\nCycleLogs - Cycling c:\\logs\\qxs.log\r\nCycleLogs - Finish\r\n");
    EXPECT_EQ(test::TempDir::read(generation(1)), "first");
    EXPECT_EQ(test::TempDir::read(host_log("qxs.log")), "\r\n");

    ASSERT_EQ(append_file(dos_log("qxs.log").c_str(), "second"), 0);
    EXPECT_EQ(cycle(), 1);
    EXPECT_EQ(test::TempDir::read(generation(2)), "first");
    EXPECT_EQ(test::TempDir::read(generation(1)), "\r\nsecond");
    EXPECT_EQ(test::TempDir::read(host_log("qxs.log")), "\r\n");
}

TEST_F(LogFiles, CycleWithEveryGenerationDropsTheOldest) {
    dir.write("logs/qxs.log", "current");
    for (int n = 1; n <= 30; ++n) dir.write("logs/" + generation_name(n), "g" + std::to_string(n));
    EXPECT_EQ(cycle(), 1);
    EXPECT_EQ(test::TempDir::read(generation(1)), "current");
    for (int n = 2; n <= 30; ++n) {
        EXPECT_EQ(test::TempDir::read(generation(n)), "g" + std::to_string(n - 1)) << n;
    }
    EXPECT_FALSE(test::TempDir::exists(generation(31)));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("logs")),
                            std::filesystem::directory_iterator()),
              31);
}

TEST_F(LogFiles, EmptyGenerationBlocksTheChainAndTheCurrentLogStays) {
    dir.write("logs/qxs.log", "current");
    dir.write("logs/qxs-001.log", "g1");
    dir.write("logs/qxs-002.log", "g2");
    dir.write("logs/qxs-003.log", "");
    dir.write("logs/qxs-004.log", "g4");
    EXPECT_EQ(cycle(), 1);
    EXPECT_EQ(test::TempDir::read(generation(5)), "g4");
    EXPECT_FALSE(test::TempDir::exists(generation(4)));
    EXPECT_EQ(std::filesystem::file_size(generation(3)), 0u);
    EXPECT_EQ(test::TempDir::read(generation(2)), "g2");
    EXPECT_EQ(test::TempDir::read(generation(1)), "g1");
    // Nothing lost: the current log was neither moved nor emptied.
    EXPECT_EQ(test::TempDir::read(host_log("qxs.log")), "current");

    std::filesystem::remove(generation(3));
    EXPECT_EQ(cycle(), 1);
    EXPECT_EQ(test::TempDir::read(generation(1)), "current");
    EXPECT_EQ(test::TempDir::read(generation(2)), "g1");
    EXPECT_EQ(test::TempDir::read(generation(3)), "g2");
    EXPECT_EQ(test::TempDir::read(host_log("qxs.log")), "\r\n");
}

TEST_F(LogFiles, CycleWithoutACurrentLogStartsOne) {
    EXPECT_EQ(cycle(), 1);
    EXPECT_FALSE(test::TempDir::exists(generation(1)));
    EXPECT_EQ(test::TempDir::read(host_log("qxs.log")), "\r\n");
}

}  // namespace
}  // namespace qxs

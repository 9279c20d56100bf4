// System calls that fail under the engine: each failure gets its reaction,
// and no slot or descriptor is lost.
#include <dirent.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine/connection.h"
#include "engine/sender.h"
#include "logging/files.h"
#include "support/engine_fixture.h"
#include "support/faulty_calls.h"

namespace qxs::test {
namespace {

int open_descriptors() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir) != nullptr) ++count;
        ::closedir(dir);
    }
    return count;
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        fx.home.write("html/page.txt", "a page\r\n");
        serve();  // the counter files are kept open from the first one on
        descriptors = open_descriptors();
    }
    void TearDown() override {
        EXPECT_EQ(count_active(*engine.table), 0);
        EXPECT_EQ(open_descriptors(), descriptors);
    }
    // A request for the page, answered and closed.
    Connection& serve() {
        Connection& c = fx.connect();
        set_raw_command(c, "GET /page.txt HTTP/1.0");
        queuegopherfile(c, "c:\\html\\page.txt", 1, 0);
        fx.drain_sends();
        return c;
    }
    std::string log() { return TempDir::read(fx.home.file("logs/qxs.log")); }
    long lines() {
        const std::string text = log();
        return std::count(text.begin(), text.end(), '\n');
    }

    EngineFixture fx;
    FaultyCalls calls;
    int descriptors = 0;
};

// A disk that fills in the middle of a log line, or of the counters: the
// log keeps whole lines, and the operator is told which file failed.
TEST_F(Faults, AFullDiskLeavesWholeLinesAndIsTold) {
    calls.fail_write(1, 10);
    serve();
    EXPECT_EQ(lines(), 1) << log();
    EXPECT_NE(fx.shell.log.find("UNABLE TO WRITE TO TEMP FILE!  [c:\\logs\\qxs.log]"),
              std::string::npos);
    calls.fail_write(2, 0);  // the log line goes in, the counters' write does not
    serve();
    EXPECT_EQ(lines(), 2) << log();
    EXPECT_NE(fx.shell.log.find("UNABLE TO WRITE TO TEMP FILE!  [c:\\logs\\counts.qxs]"),
              std::string::npos)
        << fx.shell.log;
}

// Out of descriptors: the file cannot be queued and the connection ends.
TEST_F(Faults, AFileThatCannotBeOpenedEndsItsConnection) {
    calls.open_error = EMFILE;
    Connection& c = serve();
    EXPECT_STREQ(c.status_text, "File Open Error queuegopherfile");
    EXPECT_TRUE(fx.closed(c));
}

// A log that cannot be moved stays where it is, whole.
TEST_F(Faults, ARenameThatFailsKeepsTheCurrentLog) {
    fx.home.write("logs/qxs.log", "old line\r\n");
    calls.rename_error = EIO;
    EXPECT_EQ(CycleLogs("c:\\logs\\", "qxs", "log"), 1);
    EXPECT_EQ(log(), "old line\r\n");
    EXPECT_FALSE(TempDir::exists(fx.home.file("logs/qxs-001.log")));
}

}  // namespace
}  // namespace qxs::test
